#include "ui/memory_grid_model.h"

#include <QBrush>
#include <algorithm>

#include "ui/grid_style.h"

namespace tarnlight::ui {

MemoryGridModel::MemoryGridModel(int columns, int rows, QObject* parent)
    : QAbstractTableModel(parent), columns_(columns), rows_(rows) {}

int MemoryGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int MemoryGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columns_;
}

QVariant MemoryGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    switch (role) {
        case Qt::DisplayRole:
            return type_ < 0 ? QString() : CellText(index.row(), index.column());
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

void MemoryGridModel::LayOut(int type, uint16_t from, uint16_t to, int rows) {
    type_ = type;
    from_ = from;
    to_ = to;
    rows_ = rows;
}

bool MemoryGridModel::ShownRange(uint16_t from, uint16_t to, size_t count, int* first,
                                 int* last) const {
    *first = std::max<int>(from, from_);
    *last = static_cast<int>(std::min<long long>(
        {to, to_, static_cast<long long>(from) + static_cast<long long>(count) - 1}));
    return *first <= *last;
}

}  // namespace tarnlight::ui
