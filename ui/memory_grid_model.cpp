#include "ui/memory_grid_model.h"

#include <QBrush>

#include "ui/grid_style.h"

namespace tarnlight::ui {

QVariant MemoryGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    switch (role) {
        case Qt::DisplayRole:
            return CellText(index.row(), index.column());
        case Qt::BackgroundRole:
            return index.column() == 0 ? QVariant(QBrush(kFixedCellColor)) : QVariant();
        case Qt::TextAlignmentRole:
            return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
        default:
            return {};
    }
}

Qt::ItemFlags MemoryGridModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled : Qt::NoItemFlags;
}

}  // namespace tarnlight::ui
