#include "ui/panel2a.h"

#include <QLabel>
#include <QTableView>

#include "ui/bit_grid_model.h"
#include "ui/grid_style.h"
#include "ui/memory_page.h"
#include "ui/page_widgets.h"

namespace tarnlight::ui {

TFrame2a::TFrame2a(int type, QWidget* parent)
    : QWidget(parent), type_(type), model_(new BitGridModel(this)) {
    InitPage(this);
    StaticText_Mem_I = AddMemoryPageTitle(this);
    StringGrid1 = AddMemoryGrid(this, model_, "StringGrid1", 340, 28);
}

void TFrame2a::SetUp(uint16_t from, uint16_t to) {
    StaticText_Mem_I->setText(MemoryPageTitle(type_));
    model_->SetUp(type_, from, to);
}

void TFrame2a::ShowBits(uint16_t from, uint16_t to, const std::vector<uint8_t>& bits) {
    model_->ShowBits(from, to, bits);
}

int TFrame2a::RowCount() const {
    return GridRowCount(StringGrid1);
}

QString TFrame2a::Cell(int column, int row) const {
    return GridCell(StringGrid1, column, row);
}

}  // namespace tarnlight::ui
