#include "ui/panel01.h"

#include <QComboBox>

#include "settings/settings.h"
#include "ui/fonts.h"
#include "ui/page_widgets.h"
#include "ui/radio_group.h"

namespace tarnlight::ui {
namespace {

QComboBox* AddList(QWidget* page, const char* name, const QStringList& items, int visibleRows,
                   int index, int left, int top) {
    auto* list = new QComboBox(page);
    list->addItems(items);
    // A list that opens over the current item would ignore the number of
    // rows open; this style opens it below the box.
    list->setStyleSheet("QComboBox { combobox-popup: 0; }");
    list->setMaxVisibleItems(visibleRows);
    list->setCurrentIndex(index);
    Place(list, name, left, top, 73, 21);
    return list;
}

TRadioGroup* AddRadioGroup(QWidget* page, const char* name, const QString& caption,
                           const QStringList& items, int index, int left, int top, int width,
                           int height) {
    auto* group = new TRadioGroup(caption, items, static_cast<int>(items.size()), page);
    group->setItemIndex(index);
    Place(group, name, left, top, width, height);
    return group;
}

QStringList PortNames() {
    QStringList names;
    for (int n = 1; n <= kPortItems; ++n) names << QString("COM%1").arg(n);
    return names;
}

}  // namespace

TFrame01::TFrame01(QWidget* parent) : QWidget(parent) {
    const Settings defaults = DefaultSettings();
    InitPage(this);

    AddTitle(this, "StaticText_RSParameters", "Serial port settings", MsSansSerif(12));
    AddLabel(this, "StaticText2", "RS-232, RS-422 or RS-485", 10, 34, MsSansSerif(8, true));
    AddLabel(this, "StaticText_PhysPort", "COM port:", 24, 68);
    ComboBoxPort = AddList(this, "ComboBoxPort", PortNames(), 9, defaults.port, 88, 64);
    AddLabel(this, "StaticText_BaudRate", "Baud rate:", 24, 100);
    ComboBoxBaudRate =
        AddList(this, "ComboBoxBaudRate",
                {"300", "600", "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"},
                13, defaults.baudRate, 88, 96);
    AddLabel(this, "StaticText1", "bps", 168, 100);
    RadioGroupParity =
        AddRadioGroup(this, "RadioGroupParity", "Parity type:", {"odd", "even", "none"},
                      defaults.parity, 16, 128, 209, 49);
    // The port always uses 8 data bits; the group only shows it.
    RadioGroupDataBits =
        AddRadioGroup(this, "RadioGroupDataBits", "Data bits:", {"7", "8"}, 1, 16, 188, 97, 45);
    RadioGroupDataBits->setEnabled(false);
    RadioGroupStopBits = AddRadioGroup(this, "RadioGroupStopBits", "Stop bits:", {"1", "2"},
                                       defaults.stopBits, 128, 188, 97, 45);
}

}  // namespace tarnlight::ui
