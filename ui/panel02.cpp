#include "ui/panel02.h"

#include <QCheckBox>
#include <QLineEdit>

#include "settings/settings.h"
#include "ui/fonts.h"
#include "ui/page_widgets.h"
#include "ui/spin_edit.h"

namespace tarnlight::ui {
namespace {

// Shown when the pointer rests on the CPU ID box; the text ends mid-sentence.
const char* const kCpuIdHint =
    "For Series 90-70 PLCs, the CPU ID can be a maximum of 7bbytes followed by a NUL character "
    "(0), and can include any ASCII character. For Series 90-30 PLCs, the CPU ID is restricted "
    "to a maximum of 6 bytes followed by a NUL character (0). The values of the ";

struct AreaRow {
    const char* checkBox;
    const char* caption;
    const char* from;
    const char* to;
};

const AreaRow kAreaRows[kSettingsAreaCount] = {
    {"CheckBox1", "%I Discrete Inputs", "CSpinEdit1a", "CSpinEdit1b"},
    {"CheckBox2", "%M Discrete Internals", "CSpinEdit2a", "CSpinEdit2b"},
    {"CheckBox3", "%Q Discrete Outputs", "CSpinEdit3a", "CSpinEdit3b"},
    {"CheckBox4", "%AI Analog Inputs", "CSpinEdit4a", "CSpinEdit4b"},
    {"CheckBox5", "%R Registers", "CSpinEdit5a", "CSpinEdit5b"},
    {"CheckBox6", "%AQ Analog Outputs", "CSpinEdit6a", "CSpinEdit6b"},
};

QLineEdit* AddTextBox(QWidget* page, const char* name, int maxLength, bool password, int left,
                      int top) {
    auto* edit = new QLineEdit(page);
    MakeFlat(edit, password);
    LimitTyping(edit, maxLength);
    Place(edit, name, left, top, 81, 19);
    return edit;
}

}  // namespace

TFrame02::TFrame02(QWidget* parent) : QWidget(parent) {
    const Settings defaults = DefaultSettings();
    InitPage(this);

    AddTitle(this, "StaticText_PLCParameters", "PLC settings", MsSansSerif(12));
    AddLabel(this, "StaticText_CPU_ID", "CPU ID:", 8, 51);
    Edit_CPU_ID = AddTextBox(this, "Edit_CPU_ID", kCpuIdMaxLength, false, 56, 48);
    Edit_CPU_ID->setToolTip(QString::fromLatin1(kCpuIdHint));
    SetWholeText(Edit_CPU_ID, QString::fromStdString(defaults.cpuId));
    AddLabel(this, "StaticText_CPU_Password", "Password:", 160, 51);
    MaskEdit_CPU_Pass = AddTextBox(this, "MaskEdit_CPU_Pass", kCpuPasswordMaxLength, true, 218, 48);
    SetWholeText(MaskEdit_CPU_Pass, QString::fromStdString(defaults.cpuPassword));
    AddLabel(this, "StaticText1", "Choose types of memory to read and adjust ranges:", 8, 96,
             MsSansSerif(8, true));

    for (int area = 0; area < kSettingsAreaCount; ++area) {
        const AreaRow& row = kAreaRows[area];
        const int top = 122 + 32 * area;
        auto* check = new QCheckBox(QString::fromLatin1(row.caption), this);
        check->setChecked(defaults.areaEnabled[area]);
        PlaceWhole(check, row.checkBox, 16, top, 134, 17);
        AddVerticalRule(this, 152, top - 2, 20);
        AddLabel(this, nullptr, "From", 160, top + 1);
        auto* from = new TCSpinEdit(1, kAreaFromMax, 1, defaults.areaFrom[area], this);
        Place(from, row.from, 192, top - 3, 57, 22);
        AddLabel(this, nullptr, "to", 256, top + 1);
        auto* to = new TCSpinEdit(1, AreaToMax(area), 1, defaults.areaTo[area], this);
        Place(to, row.to, 272, top - 3, 57, 22);
        areaCheckBox[area] = check;
        areaFrom[area] = from;
        areaTo[area] = to;
        if (area > 0) AddHorizontalRule(this, 8, top - 10, 329);
    }
}

}  // namespace tarnlight::ui
