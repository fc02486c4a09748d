#include "ui/bit_grid_model.h"

#include "engine/grid_format.h"

namespace tarnlight::ui {
namespace {

constexpr int kDesignRows = 110;  // body rows before the first Connect
constexpr int kDigits = kBitGridColumns - 1;
constexpr int8_t kEmpty = -1;

}  // namespace

BitGridModel::BitGridModel(QObject* parent)
    : MemoryGridModel(kBitGridColumns, kDesignRows, parent),
      cells_(kDesignRows * kDigits, kEmpty) {}

void BitGridModel::SetUp(int type, uint16_t from, uint16_t to) {
    beginResetModel();
    const int rows = BitGridRowCount(from, to) - 1;
    LayOut(type, from, to, rows);
    firstGroup_ = from / 10;
    cells_.assign(static_cast<size_t>(rows) * kDigits, kEmpty);
    endResetModel();
}

void BitGridModel::ShowBits(uint16_t from, uint16_t to, const std::vector<uint8_t>& bits) {
    int first = 0;
    int last = 0;
    if (!ShownRange(from, to, bits.size(), &first, &last)) return;
    const int base = firstGroup_ * 10;
    for (int address = first; address <= last; ++address) {
        cells_[address - base] = bits[address - from] != 0 ? 1 : 0;
    }
    emit dataChanged(index(RowOf(first), 1), index(RowOf(last), kDigits));
}

int BitGridModel::RowOf(int address) const {
    return address / 10 - firstGroup_;
}

QString BitGridModel::CellText(int row, int column) const {
    if (column == 0) return Text(BitGridRowLabel(static_cast<uint16_t>((firstGroup_ + row) * 10)));
    static const QString kTexts[] = {Text(BitCellText(0)), Text(BitCellText(1))};
    const int8_t cell = cells_[static_cast<size_t>(row) * kDigits + column - 1];
    return cell == kEmpty ? QString() : kTexts[cell];
}

QVariant BitGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return MemoryGridModel::headerData(section, orientation, role);
    }
    if (type_ < 0) return QString();
    return Text(section == 0 ? BitGridCornerText(type_) : BitGridHeaderText(section));
}

}  // namespace tarnlight::ui
