#include "ui/word_grid_model.h"

#include "engine/grid_format.h"

namespace tarnlight::ui {
namespace {

constexpr int kDesignRows = 99;  // body rows before the first Connect
constexpr int32_t kEmpty = -1;

}  // namespace

WordGridModel::WordGridModel(QObject* parent)
    : MemoryGridModel(kWordGridColumns, kDesignRows, parent), words_(kDesignRows, kEmpty) {}

void WordGridModel::SetUp(int type, uint16_t from, uint16_t to) {
    beginResetModel();
    const int rows = WordGridRowCount(from, to) - 1;
    LayOut(type, from, to, rows);
    words_.assign(static_cast<size_t>(rows), kEmpty);
    endResetModel();
}

void WordGridModel::ShowWords(uint16_t from, uint16_t to, const std::vector<uint16_t>& words) {
    int first = 0;
    int last = 0;
    if (!ShownRange(from, to, words.size(), &first, &last)) return;
    for (int address = first; address <= last; ++address) {
        words_[address - from_] = words[address - from];
    }
    emit dataChanged(index(first - from_, 1), index(last - from_, kWordGridColumns - 1));
}

QString WordGridModel::CellText(int row, int column) const {
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
