#include "ui/panel03.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>

#include "settings/settings.h"
#include "ui/fonts.h"
#include "ui/page_widgets.h"
#include "ui/radio_group.h"
#include "ui/spin_edit.h"

namespace tarnlight::ui {
namespace {

// A timer: its caption, its spin edit and the unit "ms" right of it.
TCSpinEdit* AddTimer(QWidget* page, const char* captionName, const QString& caption,
                     const char* name, int maximum, int step, int initial, int left, int top,
                     int unitLeft) {
    AddLabel(page, captionName, caption, left - 27, top + 5);
    auto* spin = new TCSpinEdit(0, maximum, step, initial, page);
    Place(spin, name, left, top, 65, 22);
    AddLabel(page, nullptr, "ms", unitLeft, top + 3, MsSansSerif(10));
    return spin;
}

}  // namespace

TFrame03::TFrame03(QWidget* parent) : QWidget(parent) {
    const Settings defaults = DefaultSettings();
    InitPage(this);

    AddTitle(this, "StaticText_SNPParameters", "Connection settings", MsSansSerif(12));
    auto* timers = new QGroupBox("SNP Timers", this);
    timers->setFont(MsSansSerif(8, true));
    Place(timers, "GroupBox1", 8, 32, 321, 89);
    CSpinEdit_T1 =
        AddTimer(this, "StaticText_T1", "T1:", "CSpinEdit_T1", kT1Max, 1, defaults.T1, 48, 56, 120);
    // T1 only moves by its buttons and arrow keys.
    CSpinEdit_T1->setTypingEnabled(false);
    CSpinEdit_T2 = AddTimer(this, "StaticText_T2", "T2:", "CSpinEdit_T2", kTimerMax, 100,
                            defaults.T2, 48, 88, 120);
    CSpinEdit_T3b = AddTimer(this, "StaticText_T3", "T3':", "CSpinEdit_T3b", kTimerMax, 100,
                             defaults.T3b, 216, 56, 288);
    CSpinEdit_T4 = AddTimer(this, "StaticText_T4", "T4:", "CSpinEdit_T4", kTimerMax, 10,
                            defaults.T4, 216, 88, 288);

    CheckBox_breakfree = new QCheckBox("Break-Free SNP Enabled", this);
    PlaceWhole(CheckBox_breakfree, "CheckBox_breakfree", 16, 136, 145, 17);
    CSpinEdit_Td = AddTimer(this, "StaticText_Td", "Td:", "CSpinEdit_Td", kTdMax, 1, defaults.Td,
                            216, 128, 288);
    auto* note = new QLabel(
        "Timer Td adds additional delay before sending messages. It is used instead of SNP "
        "Protocol Timer T3.",
        this);
    note->setWordWrap(true);
    note->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Place(note, "StaticText6", 176, 160, 161, 57);

    AddLabel(this, "Label1", "Loss of connection event", 8, 200, MsSansSerif(8, true));
    RadioGroup_disconn = new TRadioGroup(
        "If connection is lost:",
        {"give up", "try to connect k times", "try to connect constantly"}, 1, this);
    RadioGroup_disconn->setItemIndex(defaults.lostconn);
    Place(RadioGroup_disconn, "RadioGroup_disconn", 8, 215, 321, 89);
    // k belongs to the second item and stands on its line inside the frame.
    AddLabel(this, "StaticText7", "k =", 229, 254);
    CSpinEdit_k = new TCSpinEdit(kKMin, kKMax, 1, defaults.k, this);
    Place(CSpinEdit_k, "CSpinEdit_k", 248, 251, 49, 22);
}

}  // namespace tarnlight::ui
