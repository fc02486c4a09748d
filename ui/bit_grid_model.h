#pragma once
// The cells of a bit-area grid. The header row of the grid is the view's
// horizontal header (corner " %I", then " __0" .. " __9"), so it stays in view
// while the rows scroll; model column 0 holds the row labels (" 4_" for the
// addresses 40 to 49), columns 1 to 10 the bits of the group's addresses with
// the last digit 0 to 9. Cells are computed when shown, so a read of 8192 bits
// is one change of the model.
#include <cstdint>
#include <vector>

#include "ui/memory_grid_model.h"

namespace tarnlight::ui {

class BitGridModel : public MemoryGridModel {
    Q_OBJECT
  public:
    explicit BitGridModel(QObject* parent = nullptr);

    // Header texts of the area type (0..2), one body row per tens group of
    // from..to, every value cell empty. A range whose from lies above to
    // gets no body rows.
    void SetUp(int type, uint16_t from, uint16_t to);
    // bits[i] is the value of address from + i; addresses outside the range
    // of SetUp are left alone. Emits one dataChanged.
    void ShowBits(uint16_t from, uint16_t to, const std::vector<uint8_t>& bits);

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  protected:
    QString CellText(int row, int column) const override;

  private:
    int RowOf(int address) const;

    int firstGroup_ = 0;         // tens group of the first body row
    std::vector<int8_t> cells_;  // 10 per body row: -1 empty, else the bit
};

}  // namespace tarnlight::ui
