#include "ui/word_grid_model.h"

#include <algorithm>

#include "engine/grid_format.h"

namespace tarnlight::ui {
namespace {

constexpr int kDesignRows = 99;  // body rows before the first Connect

}  // namespace

WordGridModel::WordGridModel(QObject* parent)
    : MemoryGridModel(parent), words_(kDesignRows, kEmpty) {}

void WordGridModel::SetUp(int type, uint16_t from, uint16_t to) {
    beginResetModel();
    type_ = type;
    from_ = from;
    to_ = to;
    words_.assign(static_cast<size_t>(WordGridRowCount(from, to) - 1), kEmpty);
    endResetModel();
}

void WordGridModel::ShowWords(uint16_t from, uint16_t to, const std::vector<uint16_t>& words) {
    // Only the addresses that are both given and laid out by SetUp.
    const int first = std::max<int>(from, from_);
    const int last =
        std::min({static_cast<int>(to), to_, from + static_cast<int>(words.size()) - 1});
    if (first > last) return;
    for (int address = first; address <= last; ++address) {
        words_[address - from_] = words[address - from];
    }
    emit dataChanged(index(first - from_, 1), index(last - from_, kWordGridColumns - 1));
}

int WordGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(words_.size());
}

int WordGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kWordGridColumns;
}

QString WordGridModel::CellText(int row, int column) const {
    if (type_ < 0) return QString();
    if (column == 0) return Text(WordGridRowLabel(type_, static_cast<uint16_t>(from_ + row)));
    const int32_t word = words_[row];
    if (word == kEmpty) return QString();
    const auto raw = static_cast<uint16_t>(word);
    if (column == 1) return Text(SignedCellText(raw));
    if (column == 2) return Text(UnsignedCellText(raw));
    return Text(HexCellText(raw));
}

QVariant WordGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return MemoryGridModel::headerData(section, orientation, role);
    }
    return Text(WordGridHeaderText(section));
}

}  // namespace tarnlight::ui
