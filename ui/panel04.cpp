#include "ui/panel04.h"

#include <QCheckBox>
#include <QLineEdit>

#include "settings/settings.h"
#include "ui/fonts.h"
#include "ui/page_widgets.h"

namespace tarnlight::ui {
namespace {

QCheckBox* AddCheckBox(QWidget* page, const char* name, const QString& caption, bool checked,
                       int top, int width) {
    auto* check = new QCheckBox(caption, page);
    check->setChecked(checked);
    PlaceWhole(check, name, 16, top, width, 17);
    return check;
}

// A caption at left 16 and its flat text box at left 104, three pixels higher.
QLineEdit* AddTextBox(QWidget* page, const char* labelName, const QString& caption,
                      const char* name, const std::string& text, int top, int width,
                      bool password = false) {
    AddLabel(page, labelName, caption, 16, top + 3);
    auto* edit = new QLineEdit(page);
    MakeFlat(edit, password);
    LimitTyping(edit, kDbTextMaxLength);
    SetWholeText(edit, QString::fromStdString(text));
    Place(edit, name, 104, top, width, 19);
    return edit;
}

}  // namespace

TFrame04::TFrame04(QWidget* parent) : QWidget(parent) {
    const Settings defaults = DefaultSettings();
    InitPage(this);

    AddTitle(this, "StaticText_MYSQLParameters", "MySQL database settings", MsSansSerif(12));
    CheckBox_db =
        AddCheckBox(this, "CheckBox_db", "Using database enabled", defaults.dbEnabled, 40, 193);
    Edit_db_IP =
        AddTextBox(this, "Label1", "Address IP:", "Edit_db_IP", defaults.addressIP, 72, 153);
    Edit_port_num =
        AddTextBox(this, "Label5", "Port number:", "Edit_port_num", defaults.portNum, 96, 57);
    Edit_db_user =
        AddTextBox(this, "Label2", "Username:", "Edit_db_user", defaults.username, 136, 153);
    Edit_db_pass = AddTextBox(this, "Label3", "Password:", "Edit_db_pass", defaults.dbPassword, 160,
                              153, true);
    Edit_db_name =
        AddTextBox(this, "Label4", "Database name:", "Edit_db_name", defaults.dbName, 200, 153);
    CheckBox_db_drop_before =
        AddCheckBox(this, "CheckBox_db_drop_before", "Drop previous database if exist",
                    defaults.dropBefore, 240, 169);
    CheckBox_db_drop_after =
        AddCheckBox(this, "CheckBox_db_drop_after", "Drop database after end of transmision.",
                    defaults.dropAfter, 264, 241);
}

}  // namespace tarnlight::ui
