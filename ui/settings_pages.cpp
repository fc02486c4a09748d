#include "ui/settings_pages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include "ui/page_widgets.h"
#include "ui/panel01.h"
#include "ui/panel02.h"
#include "ui/panel03.h"
#include "ui/panel04.h"
#include "ui/radio_group.h"
#include "ui/spin_edit.h"

namespace tarnlight::ui {
namespace {

std::string Text(const QLineEdit* edit) {
    return edit->text().toStdString();
}

void Show(QLineEdit* edit, const std::string& text) {
    SetWholeText(edit, QString::fromStdString(text));
}

void Show(QComboBox* list, int index) {
    list->setCurrentIndex(ClampCombo(index, list->count()));
}

}  // namespace

Settings ReadSettings(const ConfigPages& pages, const Settings& base) {
    Settings s = base;
    const TFrame01& serial = *pages.serial;
    s.port = serial.ComboBoxPort->currentIndex();
    s.baudRate = serial.ComboBoxBaudRate->currentIndex();
    s.parity = serial.RadioGroupParity->itemIndex();
    s.stopBits = serial.RadioGroupStopBits->itemIndex();

    const TFrame02& plc = *pages.plc;
    s.cpuId = Text(plc.Edit_CPU_ID);
    s.cpuPassword = Text(plc.MaskEdit_CPU_Pass);
    for (int area = 0; area < kSettingsAreaCount; ++area) {
        s.areaEnabled[area] = plc.areaCheckBox[area]->isChecked();
        s.areaFrom[area] = plc.areaFrom[area]->value();
        s.areaTo[area] = plc.areaTo[area]->value();
    }

    const TFrame03& connection = *pages.connection;
    s.T1 = connection.CSpinEdit_T1->value();
    s.T2 = connection.CSpinEdit_T2->value();
    s.T3b = connection.CSpinEdit_T3b->value();
    s.T4 = connection.CSpinEdit_T4->value();
    s.Td = connection.CSpinEdit_Td->value();
    s.k = connection.CSpinEdit_k->value();
    s.lostconn = connection.RadioGroup_disconn->itemIndex();

    const TFrame04& db = *pages.database;
    s.dbEnabled = db.CheckBox_db->isChecked();
    s.addressIP = Text(db.Edit_db_IP);
    s.portNum = Text(db.Edit_port_num);
    s.username = Text(db.Edit_db_user);
    s.dbPassword = Text(db.Edit_db_pass);
    s.dbName = Text(db.Edit_db_name);
    s.dropAfter = db.CheckBox_db_drop_after->isChecked();
    s.dropBefore = db.CheckBox_db_drop_before->isChecked();
    return s;
}

void ShowSettings(const ConfigPages& pages, const Settings& s) {
    TFrame01& serial = *pages.serial;
    Show(serial.ComboBoxPort, s.port);
    Show(serial.ComboBoxBaudRate, s.baudRate);
    serial.RadioGroupParity->setItemIndex(s.parity);
    serial.RadioGroupStopBits->setItemIndex(s.stopBits);

    TFrame02& plc = *pages.plc;
    Show(plc.Edit_CPU_ID, s.cpuId);
    Show(plc.MaskEdit_CPU_Pass, s.cpuPassword);
    for (int area = 0; area < kSettingsAreaCount; ++area) {
        plc.areaCheckBox[area]->setChecked(s.areaEnabled[area]);
        plc.areaFrom[area]->setValue(s.areaFrom[area]);
        plc.areaTo[area]->setValue(s.areaTo[area]);
    }

    TFrame03& connection = *pages.connection;
    connection.CSpinEdit_T1->setValue(s.T1);
    connection.CSpinEdit_T2->setValue(s.T2);
    connection.CSpinEdit_T3b->setValue(s.T3b);
    connection.CSpinEdit_T4->setValue(s.T4);
    connection.CSpinEdit_Td->setValue(s.Td);
    connection.CSpinEdit_k->setValue(s.k);
    connection.RadioGroup_disconn->setItemIndex(s.lostconn);

    TFrame04& db = *pages.database;
    db.CheckBox_db->setChecked(s.dbEnabled);
    Show(db.Edit_db_IP, s.addressIP);
    Show(db.Edit_port_num, s.portNum);
    Show(db.Edit_db_user, s.username);
    Show(db.Edit_db_pass, s.dbPassword);
    Show(db.Edit_db_name, s.dbName);
    db.CheckBox_db_drop_after->setChecked(s.dropAfter);
    db.CheckBox_db_drop_before->setChecked(s.dropBefore);
}

bool ReadBreakFree(const ConfigPages& pages) {
    return pages.connection->CheckBox_breakfree->isChecked();
}

}  // namespace tarnlight::ui
