#include "ui/grid_style.h"

#include <QHeaderView>
#include <QTableView>

#include "ui/fonts.h"

namespace tarnlight::ui {
namespace {

constexpr int kRowHeight = 20;

// The header row keeps the grid's row height whatever its font asks for.
class FixedRowHeader : public QHeaderView {
  public:
    using QHeaderView::QHeaderView;
    QSize sizeHint() const override { return {QHeaderView::sizeHint().width(), kRowHeight}; }
};

}  // namespace

void StyleGrid(QTableView* grid, int defaultColumnWidth) {
    grid->setFont(SansPixels(11));
    grid->setHorizontalHeader(new FixedRowHeader(Qt::Horizontal, grid));
    grid->setStyleSheet(QString("QTableView { background: white; gridline-color: #a0a0a0; }"
                                "QHeaderView::section { background-color: %1; color: black;"
                                " border: none; border-right: 1px solid #a0a0a0;"
                                " border-bottom: 1px solid #a0a0a0; padding: 0px 2px; }")
                            .arg(kFixedCellColor.name()));

    QHeaderView* columns = grid->horizontalHeader();
    columns->setMinimumSectionSize(1);
    columns->setDefaultSectionSize(defaultColumnWidth);
    columns->setSectionResizeMode(QHeaderView::Fixed);
    columns->setStretchLastSection(false);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    columns->setHighlightSections(false);
    columns->setSectionsClickable(false);

    QHeaderView* rows = grid->verticalHeader();
    rows->hide();
    rows->setMinimumSectionSize(1);
    rows->setDefaultSectionSize(kRowHeight);
    rows->setSectionResizeMode(QHeaderView::Fixed);

    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionMode(QAbstractItemView::NoSelection);
    grid->setFocusPolicy(Qt::NoFocus);
    grid->setWordWrap(false);
    grid->setTextElideMode(Qt::ElideNone);
    grid->setCornerButtonEnabled(false);
}

int GridRowCount(const QTableView* grid) {
    return grid->model()->rowCount() + 1;
}

QString GridCell(const QTableView* grid, int column, int row) {
    const QAbstractItemModel* model = grid->model();
    if (column < 0 || column >= model->columnCount() || row < 0 || row > model->rowCount()) {
        return QString();
    }
    if (row == 0) return model->headerData(column, Qt::Horizontal).toString();
    return model->index(row - 1, column).data().toString();
}

}  // namespace tarnlight::ui
