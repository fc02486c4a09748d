#include "ui/panel2d.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableView>

#include "ui/fonts.h"
#include "ui/grid_style.h"
#include "ui/memory_page.h"
#include "ui/page_widgets.h"
#include "ui/tag_table_model.h"

namespace tarnlight::ui {

TFrame2d::TFrame2d(QWidget* parent) : QWidget(parent), model_(new TagTableModel(this)) {
    InitPage(this);
    StaticText_Tags = AddTitle(this, "StaticText_Tags", "Tags", SansPixels(16));
    StringGrid3 = AddMemoryGrid(this, model_, "StringGrid3", 340, 60);
    const int widths[TagTableModel::kColumnCount] = {80, 52, 44, 68, 52, 82, 66};
    for (int column = 0; column < TagTableModel::kColumnCount; ++column) {
        StringGrid3->horizontalHeader()->resizeSection(column, widths[column]);
    }
    // Seven columns and names of up to 64 characters do not fit the page's
    // width: this grid alone scrolls sideways.
    StringGrid3->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    StaticText_NoTags = AddLabel(this, "StaticText_NoTags",
                                 "No tags: the settings file has no [Tags] section.", 10, 44);
    StaticText_NoTags->hide();
}

void TFrame2d::SetUp(const std::vector<TagDefinition>& tags) {
    model_->SetTags(tags);
    StringGrid3->setVisible(!tags.empty());
    StaticText_NoTags->setVisible(tags.empty());
}

void TFrame2d::ShowTagValues(const std::vector<TagUpdate>& updates, const QDateTime& now) {
    model_->ShowValues(updates, now);
}

int TFrame2d::RowCount() const {
    return GridRowCount(StringGrid3);
}

QString TFrame2d::Cell(int column, int row) const {
    return GridCell(StringGrid3, column, row);
}

}  // namespace tarnlight::ui
