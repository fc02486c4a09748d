#include "ui/panel2c.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <cmath>
#include <limits>

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

double TagValueOfText(const QString& text) {
    QString number = text.trimmed();
    number.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double value = QLocale::c().toDouble(number, &ok);
    return ok && std::isfinite(value) ? value : std::numeric_limits<double>::quiet_NaN();
}

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

    // Beside the address: a tag names its own area and address (and, for
    // two words, writes both in one request), so choosing one sets the
    // memory type and the address aside.
    AddLabel(this, "StaticText_Tag", "Tag:", 228, 44);
    ComboBox_Tag = new QComboBox(this);
    ComboBox_Tag->addItem(QStringLiteral("(none)"));
    ComboBox_Tag->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    Place(ComboBox_Tag, "ComboBox_Tag", 228, 60, 105, 22);
    StaticText_TagInfo = AddLabel(this, "StaticText_TagInfo", QString(), 228, 84);
    StaticText_TagInfo->resize(105, StaticText_TagInfo->height());

    // The bit value and the word value share one place; the memory type (or
    // the tag's type) decides which of the two is shown.
    RadioGroup1 = new TRadioGroup("New Value", {"False", "True"}, 2, this);
    RadioGroup1->setItemIndex(0);
    Place(RadioGroup1, "RadioGroup1", 136, 96, 137, 45);
    GroupBox1 = new QGroupBox("New value", this);
    Place(GroupBox1, "GroupBox1", 136, 96, 137, 45);
    CSpinEdit1 = new TCSpinEdit(kWordMin, kWordMax, 1, 0, GroupBox1);
    Place(CSpinEdit1, "CSpinEdit1", 8, 19, 89, 22);
    // A tag's value is the engineer's number (REAL, scaled words): a
    // fraction and an exponent are welcome, letters are not.
    Edit_TagValue = new QLineEdit(QStringLiteral("0"), GroupBox1);
    Edit_TagValue->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[-+]?[0-9]*[.,]?[0-9]*([eE][-+]?[0-9]*)?")),
        Edit_TagValue));
    Place(Edit_TagValue, "Edit_TagValue", 8, 19, 121, 22);
    Edit_TagValue->hide();
    GroupBox1->hide();

    Butt_UpdateMem = new QPushButton("Apply", this);
    Place(Butt_UpdateMem, "Butt_UpdateMem", 136, 160, 75, 25);

    connect(RadioGroup_MemType, &TRadioGroup::itemIndexChanged, this, &TFrame2c::ShowValueInput);
    connect(ComboBox_Tag, &QComboBox::currentIndexChanged, this, &TFrame2c::ShowValueInput);
    connect(Butt_UpdateMem, &QPushButton::clicked, this, &TFrame2c::applyClicked);
    // Every change of an input refreshes the copy the worker reads.
    connect(RadioGroup_MemType, &TRadioGroup::itemIndexChanged, this, &TFrame2c::CopyInputs);
    connect(CSpinEdit_Adres, &TCSpinEdit::textChanged, this, &TFrame2c::CopyInputs);
    connect(RadioGroup1, &TRadioGroup::itemIndexChanged, this, &TFrame2c::CopyInputs);
    connect(CSpinEdit1, &TCSpinEdit::textChanged, this, &TFrame2c::CopyInputs);
    connect(ComboBox_Tag, &QComboBox::currentIndexChanged, this, &TFrame2c::CopyInputs);
    connect(Edit_TagValue, &QLineEdit::textChanged, this, &TFrame2c::CopyInputs);
    CopyInputs();
}

TFrame2c::~TFrame2c() {
    // The controls outlive this part of the page while QWidget deletes them,
    // and a spin edit may still change its text then (losing the focus): it
    // must no longer reach the copy of the inputs.
    for (QObject* input :
         std::initializer_list<QObject*>{RadioGroup_MemType, CSpinEdit_Adres, RadioGroup1,
                                         CSpinEdit1, ComboBox_Tag, Edit_TagValue}) {
        disconnect(input, nullptr, this, nullptr);
    }
}

void TFrame2c::SetTags(const std::vector<TagDefinition>& tags) {
    const TagDefinition* chosen = ChosenTag();
    const int keep = chosen != nullptr ? FindTag(tags, chosen->name) : -1;
    tags_ = tags;
    {
        // One change of the choice, after the list is whole.
        const QSignalBlocker blocker(ComboBox_Tag);
        ComboBox_Tag->clear();
        ComboBox_Tag->addItem(QStringLiteral("(none)"));
        for (const TagDefinition& tag : tags_) {
            ComboBox_Tag->addItem(QString::fromStdString(tag.name));
        }
        ComboBox_Tag->setCurrentIndex(keep + 1);
    }
    ShowValueInput();
    CopyInputs();
}

const TagDefinition* TFrame2c::ChosenTag() const {
    const int index = ComboBox_Tag->currentIndex() - 1;
    return index >= 0 && index < static_cast<int>(tags_.size()) ? &tags_[index] : nullptr;
}

void TFrame2c::ShowValueInput() {
    const TagDefinition* tag = ChosenTag();
    RadioGroup_MemType->setEnabled(tag == nullptr);
    CSpinEdit_Adres->setEnabled(tag == nullptr);
    StaticText_TagInfo->setText(tag == nullptr ? QString()
                                               : QString::fromStdString(TagAddressText(*tag)) +
                                                     QStringLiteral(" ") + TagTypeName(tag->type));
    const bool word = tag != nullptr ? tag->type != TagType::Bool
                                     : RadioGroup_MemType->itemIndex() >= kFirstWordType;
    RadioGroup1->setVisible(!word);
    GroupBox1->setVisible(word);
    CSpinEdit1->setVisible(tag == nullptr);
    Edit_TagValue->setVisible(tag != nullptr);
}

void TFrame2c::CopyInputs() {
    const std::optional<int> address = CSpinEdit_Adres->shownNumber();
    const std::optional<int> word = CSpinEdit1->shownNumber();
    const TagDefinition* tag = ChosenTag();
    std::lock_guard<std::mutex> lock(inputsMutex_);
    inputs_.memType = RadioGroup_MemType->itemIndex();
    inputs_.address = address.value_or(CSpinEdit_Adres->minimum());
    inputs_.bitValue = RadioGroup1->itemIndex() == 1;
    inputs_.wordValue = word.value_or(CSpinEdit1->minimum());
    addressIsNumber_ = address.has_value();
    wordIsNumber_ = word.has_value();
    inputs_.tagName = tag != nullptr ? tag->name : std::string();
    if (tag == nullptr) {
        inputs_.tagValue = 0.0;
    } else if (tag->type == TagType::Bool) {
        inputs_.tagValue = inputs_.bitValue ? 1.0 : 0.0;
    } else {
        inputs_.tagValue = TagValueOfText(Edit_TagValue->text());
    }
}

EditInputs TFrame2c::ReadEditInputs() {
    std::lock_guard<std::mutex> lock(inputsMutex_);
    // A box holding no number was read as its minimum; it is made to show
    // it. Reading the value on the user-interface thread resets the text
    // (unless the operator has typed a number in the meantime). A tag's
    // value box is left as typed: NaN refuses the write instead.
    const bool addressPath = inputs_.tagName.empty();
    if (addressPath && !addressIsNumber_) {
        QMetaObject::invokeMethod(
            CSpinEdit_Adres, [this] { CSpinEdit_Adres->value(); }, Qt::QueuedConnection);
    }
    if (addressPath && !wordIsNumber_ && inputs_.memType >= kFirstWordType) {
        QMetaObject::invokeMethod(
            CSpinEdit1, [this] { CSpinEdit1->value(); }, Qt::QueuedConnection);
    }
    return inputs_;
}

}  // namespace tarnlight::ui
