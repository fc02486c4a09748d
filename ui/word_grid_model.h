#pragma once
// The cells of a word-area grid. The header row ("  Address:", "  Signed",
// "  Unsigned", "  Hex") is the view's horizontal header; each body row holds
// one address: its label ("  %R_1") in column 0, then the word as signed,
// unsigned and hexadecimal text. Cells are computed when shown, so a read of
// a whole area is one change of the model.
#include <cstdint>
#include <vector>

#include "ui/memory_grid_model.h"

namespace tarnlight::ui {

class WordGridModel : public MemoryGridModel {
    Q_OBJECT
  public:
    explicit WordGridModel(QObject* parent = nullptr);

    // Row labels of the area type (3..5), one body row per address of
    // from..to, value cells empty. A range whose from lies above to gets no
    // body rows.
    void SetUp(int type, uint16_t from, uint16_t to);
    // words[i] is the raw word at address from + i; addresses outside the
    // range of SetUp are left alone. Emits one dataChanged.
    void ShowWords(uint16_t from, uint16_t to, const std::vector<uint16_t>& words);

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  protected:
    QString CellText(int row, int column) const override;

  private:
    std::vector<int32_t> words_;  // one per body row: -1 empty, else the word
};

}  // namespace tarnlight::ui
