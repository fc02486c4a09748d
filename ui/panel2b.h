#pragma once
// Memory page of one word area (%AI, %R or %AQ): one row per address with
// the word as signed, unsigned and hexadecimal.
#include <QWidget>
#include <cstdint>
#include <vector>

class QLabel;
class QTableView;

namespace tarnlight::ui {

class WordGridModel;

class TFrame2b : public QWidget {
    Q_OBJECT
  public:
    // type: MemoryType 3 %AI, 4 %R, 5 %AQ.
    explicit TFrame2b(int type, QWidget* parent = nullptr);

    void SetUp(uint16_t from, uint16_t to);
    // words[i] is the raw word at address from + i. One change of the model.
    void ShowWords(uint16_t from, uint16_t to, const std::vector<uint16_t>& words);

    // The grid as the operator sees it, row 0 being the header row and
    // column 0 the row labels; RowCount includes the header row.
    int RowCount() const;
    QString Cell(int column, int row) const;

    QLabel* StaticText_Mem_I;
    QTableView* StringGrid2;

  private:
    int type_;
    WordGridModel* model_;
};

}  // namespace tarnlight::ui
