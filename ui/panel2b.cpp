#include "ui/panel2b.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableView>

#include "ui/grid_style.h"
#include "ui/memory_page.h"
#include "ui/page_widgets.h"
#include "ui/word_grid_model.h"

namespace tarnlight::ui {

TFrame2b::TFrame2b(int type, QWidget* parent)
    : QWidget(parent), type_(type), model_(new WordGridModel(this)) {
    InitPage(this);
    StaticText_Mem_I = AddMemoryPageTitle(this);
    StringGrid2 = AddMemoryGrid(this, model_, "StringGrid2", 308, 70);
    const int widths[] = {70, 70, 80, 63};
    for (int column = 0; column < 4; ++column) {
        StringGrid2->horizontalHeader()->resizeSection(column, widths[column]);
    }
}

void TFrame2b::SetUp(uint16_t from, uint16_t to) {
    StaticText_Mem_I->setText(MemoryPageTitle(type_));
    model_->SetUp(type_, from, to);
}

void TFrame2b::ShowWords(uint16_t from, uint16_t to, const std::vector<uint16_t>& words) {
    model_->ShowWords(from, to, words);
}

int TFrame2b::RowCount() const {
    return GridRowCount(StringGrid2);
}

QString TFrame2b::Cell(int column, int row) const {
    return GridCell(StringGrid2, column, row);
}

}  // namespace tarnlight::ui
