#pragma once
// Memory page of one bit area (%I, %M or %Q): a grid of ten addresses per
// row, headed __0 .. __9, each row labelled with its tens group.
#include <QWidget>
#include <cstdint>
#include <vector>

class QLabel;
class QTableView;

namespace tarnlight::ui {

class BitGridModel;

class TFrame2a : public QWidget {
    Q_OBJECT
  public:
    // type: MemoryType 0 %I, 1 %M, 2 %Q.
    explicit TFrame2a(int type, QWidget* parent = nullptr);

    // At Connect: the title, the header row, one body row per tens group of
    // from..to with its label, every value cell empty.
    void SetUp(uint16_t from, uint16_t to);
    // After a read: bits[i] is the value of address from + i ("  1" / "  0").
    // One change of the model, however many cells.
    void ShowBits(uint16_t from, uint16_t to, const std::vector<uint8_t>& bits);

    // The grid as the operator sees it, row 0 being the header row and
    // column 0 the row labels; RowCount includes the header row.
    int RowCount() const;
    QString Cell(int column, int row) const;

    QLabel* StaticText_Mem_I;
    QTableView* StringGrid1;

  private:
    int type_;
    BitGridModel* model_;
};

}  // namespace tarnlight::ui
