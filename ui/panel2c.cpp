#include "ui/panel2c.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "ui/fonts.h"
#include "ui/page_widgets.h"
#include "ui/radio_group.h"
#include "ui/spin_edit.h"

namespace tarnlight::ui {
namespace {

constexpr int kAddressMax = 8192;
constexpr int kWordMin = -32768;
constexpr int kWordMax = 65535;
constexpr int kFirstWordType = 3;  // %AI

}  // namespace

TFrame2c::TFrame2c(QWidget* parent) : QWidget(parent) {
    InitPage(this);
    AddTitle(this, "StaticText_Edit", "Edit Memory", SansPixels(16));

    RadioGroup_MemType =
        new TRadioGroup("Memory type:", {"%I", "%M", "%Q", "%AI", "%R", "%AQ"}, 1, this);
    RadioGroup_MemType->setItemIndex(0);
    Place(RadioGroup_MemType, "RadioGroup_MemType", 16, 40, 97, 161);

    AddLabel(this, "StaticText_Adres", "Address:", 136, 44);
    CSpinEdit_Adres = new TCSpinEdit(1, kAddressMax, 1, 1, this);
    Place(CSpinEdit_Adres, "CSpinEdit_Adres", 136, 60, 81, 22);

    // The bit value and the word value share one place; the memory type
    // decides which of the two is shown.
    RadioGroup1 = new TRadioGroup("New Value", {"False", "True"}, 2, this);
    RadioGroup1->setItemIndex(0);
    Place(RadioGroup1, "RadioGroup1", 136, 96, 137, 45);
    GroupBox1 = new QGroupBox("New value", this);
    Place(GroupBox1, "GroupBox1", 136, 96, 137, 45);
    CSpinEdit1 = new TCSpinEdit(kWordMin, kWordMax, 1, 0, GroupBox1);
    Place(CSpinEdit1, "CSpinEdit1", 8, 19, 89, 22);
    GroupBox1->hide();

    Butt_UpdateMem = new QPushButton("Apply", this);
    Place(Butt_UpdateMem, "Butt_UpdateMem", 136, 160, 75, 25);

    connect(RadioGroup_MemType, &TRadioGroup::itemIndexChanged, this, &TFrame2c::ShowValueInput);
    connect(Butt_UpdateMem, &QPushButton::clicked, this, &TFrame2c::applyClicked);
    // Every change of an input refreshes the copy the worker reads.
    connect(RadioGroup_MemType, &TRadioGroup::itemIndexChanged, this, &TFrame2c::CopyInputs);
    connect(CSpinEdit_Adres, &TCSpinEdit::textChanged, this, &TFrame2c::CopyInputs);
    connect(RadioGroup1, &TRadioGroup::itemIndexChanged, this, &TFrame2c::CopyInputs);
    connect(CSpinEdit1, &TCSpinEdit::textChanged, this, &TFrame2c::CopyInputs);
    CopyInputs();
}

TFrame2c::~TFrame2c() {
    // The controls outlive this part of the page while QWidget deletes them,
    // and a spin edit may still change its text then (losing the focus): it
    // must no longer reach the copy of the inputs.
    for (QObject* input : std::initializer_list<QObject*>{RadioGroup_MemType, CSpinEdit_Adres,
                                                          RadioGroup1, CSpinEdit1}) {
        disconnect(input, nullptr, this, nullptr);
    }
}

void TFrame2c::ShowValueInput(int memType) {
    const bool word = memType >= kFirstWordType;
    RadioGroup1->setVisible(!word);
    GroupBox1->setVisible(word);
}

void TFrame2c::CopyInputs() {
    const std::optional<int> address = CSpinEdit_Adres->shownNumber();
    const std::optional<int> word = CSpinEdit1->shownNumber();
    std::lock_guard<std::mutex> lock(inputsMutex_);
    inputs_.memType = RadioGroup_MemType->itemIndex();
    inputs_.address = address.value_or(CSpinEdit_Adres->minimum());
    inputs_.bitValue = RadioGroup1->itemIndex() == 1;
    inputs_.wordValue = word.value_or(CSpinEdit1->minimum());
    addressIsNumber_ = address.has_value();
    wordIsNumber_ = word.has_value();
}

EditInputs TFrame2c::ReadEditInputs() {
    std::lock_guard<std::mutex> lock(inputsMutex_);
    // A box holding no number was read as its minimum; it is made to show
    // it. Reading the value on the user-interface thread resets the text
    // (unless the operator has typed a number in the meantime).
    if (!addressIsNumber_) {
        QMetaObject::invokeMethod(
            CSpinEdit_Adres, [this] { CSpinEdit_Adres->value(); }, Qt::QueuedConnection);
    }
    if (!wordIsNumber_ && inputs_.memType >= kFirstWordType) {
        QMetaObject::invokeMethod(
            CSpinEdit1, [this] { CSpinEdit1->value(); }, Qt::QueuedConnection);
    }
    return inputs_;
}

}  // namespace tarnlight::ui
