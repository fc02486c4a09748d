// The four configuration pages: their choices and limits as the operator
// meets them, and the way settings move between the pages and a Settings
// record (Save and Connect read, Load and All Default show).
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QToolTip>

#include "settings/settings.h"
#include "tests/support/settings_samples.h"
#include "tests/ui/page_test_support.h"
#include "ui/panel01.h"
#include "ui/panel02.h"
#include "ui/panel03.h"
#include "ui/panel04.h"
#include "ui/radio_group.h"
#include "ui/settings_pages.h"
#include "ui/spin_edit.h"

namespace tarnlight::ui {
namespace {

using test::ShowActive;
using test::TypeOver;

// The four pages side by side in one window, as the main window holds them.
struct Pages {
    Pages()
        : serial(new TFrame01(&window)),
          plc(new TFrame02(&window)),
          connection(new TFrame03(&window)),
          database(new TFrame04(&window)) {
        window.resize(4 * 342, 305);
        int left = 0;
        for (QWidget* page : {static_cast<QWidget*>(serial), static_cast<QWidget*>(plc),
                              static_cast<QWidget*>(connection), static_cast<QWidget*>(database)}) {
            page->move(left, 0);
            left += 342;
        }
    }
    ConfigPages config() const { return {serial, plc, connection, database}; }
    Settings Read() const { return ReadSettings(config(), Settings{}); }

    QWidget window;
    TFrame01* serial;
    TFrame02* plc;
    TFrame03* connection;
    TFrame04* database;
};

QStringList Items(const QComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
    return items;
}

// Opens the list and counts the items it shows whole.
int RowsInView(QComboBox* list) {
    list->showPopup();
    const QAbstractItemView* view = list->view();
    int rows = 0;
    for (int i = 0; i < list->count(); ++i) {
        if (view->viewport()->rect().contains(view->visualRect(list->model()->index(i, 0)))) ++rows;
    }
    list->hidePopup();
    return rows;
}

QString Selected(const TRadioGroup* group) {
    const int index = group->itemIndex();
    return index < 0 ? QString() : group->button(index)->text();
}

TEST(ConfigPages, StartWithTheDefaultsAndBreakFreeOff) {
    Pages pages;
    EXPECT_EQ(pages.Read(), DefaultSettings());
    EXPECT_FALSE(ReadBreakFree(pages.config()));
    EXPECT_EQ(pages.plc->Edit_CPU_ID->text(), "");
    EXPECT_EQ(pages.database->Edit_db_IP->text(), "localhost");
    EXPECT_EQ(pages.connection->CSpinEdit_T3b->editor()->text(), "5000");
    EXPECT_EQ(Selected(pages.connection->RadioGroup_disconn), "try to connect k times");
}

TEST(ConfigPages, SerialPageOffersThePortsRatesAndLineFormats) {
    Pages pages;
    ShowActive(&pages.window);
    TFrame01& page = *pages.serial;
    QStringList ports;
    for (int n = 1; n <= 32; ++n) ports << QString("COM%1").arg(n);
    EXPECT_EQ(Items(page.ComboBoxPort), ports);
    EXPECT_EQ(page.ComboBoxPort->currentText(), "COM1");
    EXPECT_EQ(page.ComboBoxPort->geometry(), QRect(88, 64, 73, 21));
    EXPECT_EQ(Items(page.ComboBoxBaudRate),
              QStringList({"300", "600", "1200", "2400", "4800", "9600", "19200", "38400", "57600",
                           "115200"}));
    EXPECT_EQ(page.ComboBoxBaudRate->currentText(), "19200");
    EXPECT_FALSE(page.ComboBoxBaudRate->isEditable());
    // The port list opens with nine rows in view, the rates with all ten.
    EXPECT_EQ(RowsInView(page.ComboBoxPort), 9);
    EXPECT_EQ(RowsInView(page.ComboBoxBaudRate), 10);
    EXPECT_EQ(page.RadioGroupParity->title(), "Parity type:");
    EXPECT_EQ(Selected(page.RadioGroupParity), "odd");
    EXPECT_EQ(Selected(page.RadioGroupStopBits), "1");

    // "Data bits:" always shows 8 and cannot be changed.
    EXPECT_EQ(page.RadioGroupDataBits->title(), "Data bits:");
    EXPECT_EQ(Selected(page.RadioGroupDataBits), "8");
    EXPECT_FALSE(page.RadioGroupDataBits->isEnabled());
    QTest::mouseClick(page.RadioGroupDataBits->button(0), Qt::LeftButton);
    EXPECT_EQ(Selected(page.RadioGroupDataBits), "8");

    QTest::mouseClick(page.RadioGroupParity->button(2), Qt::LeftButton);
    QTest::mouseClick(page.RadioGroupStopBits->button(1), Qt::LeftButton);
    const Settings read = pages.Read();
    EXPECT_EQ(read.parity, 2);
    EXPECT_EQ(read.stopBits, 1);
}

TEST(ConfigPages, TextBoxesLimitTypingAndPasswordBoxesShowHashes) {
    Pages pages;
    ShowActive(&pages.window);
    const QString typed(80, QChar('x'));
    struct Box {
        QLineEdit* edit;
        int limit;
    };
    for (const Box& box :
         {Box{pages.plc->Edit_CPU_ID, 7}, Box{pages.plc->MaskEdit_CPU_Pass, 8},
          Box{pages.database->Edit_db_IP, 64}, Box{pages.database->Edit_port_num, 64},
          Box{pages.database->Edit_db_user, 64}, Box{pages.database->Edit_db_pass, 64},
          Box{pages.database->Edit_db_name, 64}}) {
        TypeOver(box.edit, typed);
        EXPECT_EQ(box.edit->text().size(), box.limit) << box.edit->objectName().toStdString();
    }
    TypeOver(pages.plc->MaskEdit_CPU_Pass, "abc");
    EXPECT_EQ(pages.plc->MaskEdit_CPU_Pass->displayText(), "###");
    TypeOver(pages.database->Edit_db_pass, "secret");
    EXPECT_EQ(pages.database->Edit_db_pass->displayText(), "######");
    EXPECT_EQ(pages.plc->Edit_CPU_ID->displayText(), pages.plc->Edit_CPU_ID->text());

    // A longer text shown from a settings file stays whole; typing adds
    // nothing to it, not even after deleting, until it is within the limit.
    Settings loaded;
    loaded.cpuId = "ABCDEFGHIJ";
    ShowSettings(pages.config(), loaded);
    QLineEdit* cpuId = pages.plc->Edit_CPU_ID;
    EXPECT_EQ(cpuId->text(), "ABCDEFGHIJ");
    cpuId->setFocus();
    cpuId->end(false);
    QTest::keyClicks(cpuId, "K");
    EXPECT_EQ(cpuId->text(), "ABCDEFGHIJ");
    for (int i = 0; i < 3; ++i) QTest::keyClick(cpuId, Qt::Key_Backspace);
    QTest::keyClicks(cpuId, "X");
    EXPECT_EQ(cpuId->text(), "ABCDEFG");
    QTest::keyClick(cpuId, Qt::Key_Backspace);
    QTest::keyClicks(cpuId, "XY");
    EXPECT_EQ(cpuId->text(), "ABCDEFX");
    EXPECT_EQ(pages.Read().cpuId, "ABCDEFX");
}

TEST(ConfigPages, OnlyTheCpuIdBoxHasATooltipCutAfterTheValuesOfThe) {
    Pages pages;
    ShowActive(&pages.window);
    const QString expected =
        "For Series 90-70 PLCs, the CPU ID can be a maximum of 7bbytes followed by a NUL "
        "character (0), and can include any ASCII character. For Series 90-30 PLCs, the CPU ID "
        "is restricted to a maximum of 6 bytes followed by a NUL character (0). The values of "
        "the ";
    EXPECT_EQ(expected.size(), 255);
    QLineEdit* cpuId = pages.plc->Edit_CPU_ID;
    EXPECT_EQ(cpuId->toolTip(), expected);
    for (const QWidget* child : pages.window.findChildren<QWidget*>()) {
        if (child == cpuId) continue;
        EXPECT_TRUE(child->toolTip().isEmpty()) << child->objectName().toStdString();
    }

    // Resting the pointer on the box shows it.
    QHelpEvent rest(QEvent::ToolTip, QPoint(5, 5), cpuId->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(cpuId, &rest);
    ASSERT_TRUE(QTest::qWaitFor([] { return QToolTip::isVisible(); }, 5000));
    EXPECT_EQ(QToolTip::text(), expected);
    QToolTip::hideText();
}

TEST(ConfigPages, TabMovesThroughTheControlsInTheirOrder) {
    Pages pages;
    ShowActive(&pages.window);
    auto walk = [](QWidget* first, int steps) {
        first->setFocus(Qt::TabFocusReason);
        QStringList names;
        for (int i = 0; i < steps; ++i) {
            QWidget* focused = QApplication::focusWidget();
            // A spin edit's text box stands for the spin edit.
            QWidget* named = qobject_cast<TCSpinEdit*>(focused->parentWidget())
                                 ? focused->parentWidget()
                                 : focused;
            if (qobject_cast<TRadioGroup*>(focused->parentWidget()))
                named = focused->parentWidget();
            names << named->objectName();
            QTest::keyClick(focused, Qt::Key_Tab);
        }
        return names;
    };
    EXPECT_EQ(walk(pages.plc->Edit_CPU_ID, 6),
              QStringList({"Edit_CPU_ID", "MaskEdit_CPU_Pass", "CheckBox1", "CSpinEdit1a",
                           "CSpinEdit1b", "CheckBox2"}));
    EXPECT_EQ(
        walk(pages.connection->CSpinEdit_T1->editor(), 8),
        QStringList({"CSpinEdit_T1", "CSpinEdit_T2", "CSpinEdit_T3b", "CSpinEdit_T4",
                     "CheckBox_breakfree", "CSpinEdit_Td", "RadioGroup_disconn", "CSpinEdit_k"}));
    EXPECT_EQ(walk(pages.database->CheckBox_db, 9),
              QStringList({"CheckBox_db", "Edit_db_IP", "Edit_port_num", "Edit_db_user",
                           "Edit_db_pass", "Edit_db_name", "CheckBox_db_drop_before",
                           "CheckBox_db_drop_after", "ComboBoxPort"}));
}

// The spin edits of the real pages step as the operator meets them: T1
// only by its buttons and keys, the timers by their own increments, k and
// the range boxes within their limits.
TEST(ConfigPages, SpinEditsStepByTheirIncrementsWithinTheirLimits) {
    Pages pages;
    ShowActive(&pages.window);
    const auto text = [](TCSpinEdit* spin) { return spin->editor()->text(); };
    const auto up = [](TCSpinEdit* spin) { QTest::mouseClick(spin->upButton(), Qt::LeftButton); };
    const auto down = [](TCSpinEdit* spin) {
        QTest::mouseClick(spin->downButton(), Qt::LeftButton);
    };
    TFrame03& connection = *pages.connection;

    // T1: nothing can be typed, nor anything deleted.
    TCSpinEdit* t1 = connection.CSpinEdit_T1;
    QSignalSpy beeps(t1, &TCSpinEdit::beeped);
    QLineEdit* t1Box = t1->editor();
    test::TryToEdit(t1Box);
    EXPECT_EQ(text(t1), "5");
    EXPECT_EQ(beeps.count(), 3);
    // Its buttons and arrow keys work, within 0..255.
    up(t1);
    EXPECT_EQ(text(t1), "6");
    QTest::keyClick(t1Box, Qt::Key_Up);
    EXPECT_EQ(text(t1), "7");
    down(t1);
    QTest::keyClick(t1Box, Qt::Key_Down);
    EXPECT_EQ(text(t1), "5");
    t1->setValue(255);
    up(t1);
    EXPECT_EQ(text(t1), "255");

    // T2 and T3' step by 100, T4 by 10, Td by 1; none goes past its ends.
    TCSpinEdit* t2 = connection.CSpinEdit_T2;
    up(t2);
    EXPECT_EQ(text(t2), "1100");
    up(t2);
    EXPECT_EQ(text(t2), "1200");
    t2->setValue(65000);
    up(t2);
    EXPECT_EQ(text(t2), "65000");
    t2->setValue(50);
    down(t2);
    EXPECT_EQ(text(t2), "0");
    up(connection.CSpinEdit_T3b);
    EXPECT_EQ(text(connection.CSpinEdit_T3b), "5100");
    up(connection.CSpinEdit_T4);
    EXPECT_EQ(text(connection.CSpinEdit_T4), "160");
    down(connection.CSpinEdit_T4);
    down(connection.CSpinEdit_T4);
    EXPECT_EQ(text(connection.CSpinEdit_T4), "140");
    connection.CSpinEdit_Td->setValue(60000);
    up(connection.CSpinEdit_Td);
    EXPECT_EQ(text(connection.CSpinEdit_Td), "60000");
    down(connection.CSpinEdit_Td);
    EXPECT_EQ(text(connection.CSpinEdit_Td), "59999");

    // k: 1..255, by the buttons and by typing.
    TCSpinEdit* k = connection.CSpinEdit_k;
    k->setValue(1);
    down(k);
    EXPECT_EQ(text(k), "1");
    up(k);
    EXPECT_EQ(text(k), "2");
    TypeOver(k->editor(), "0");
    QTest::keyClick(k->editor(), Qt::Key_Tab);
    EXPECT_EQ(text(k), "1");
    TypeOver(k->editor(), "300");
    EXPECT_EQ(pages.Read().k, 255);
    QTest::keyClick(k->editor(), Qt::Key_Tab);
    EXPECT_EQ(text(k), "255");

    // The range boxes step by 1: a bit area's "From" ends at 4096, its "to"
    // at 8192, a word area's both at 4096; none goes below 1.
    TFrame02& plc = *pages.plc;
    const struct {
        TCSpinEdit* spin;
        int top;
    } ranges[] = {{plc.areaFrom[1], 4096},
                  {plc.areaTo[1], 8192},
                  {plc.areaFrom[4], 4096},
                  {plc.areaTo[4], 4096}};
    for (const auto& range : ranges) {
        SCOPED_TRACE(range.spin->objectName().toStdString());
        range.spin->setValue(range.top - 1);
        up(range.spin);
        EXPECT_EQ(text(range.spin), QString::number(range.top));
        up(range.spin);
        EXPECT_EQ(text(range.spin), QString::number(range.top));
        range.spin->setValue(2);
        down(range.spin);
        down(range.spin);
        EXPECT_EQ(text(range.spin), "1");
    }
}

TEST(ConfigPages, NoControlDependsOnAnother) {
    Pages pages;
    ShowActive(&pages.window);
    QTest::mouseClick(pages.database->CheckBox_db, Qt::LeftButton);
    EXPECT_FALSE(pages.database->CheckBox_db->isChecked());
    EXPECT_TRUE(pages.database->Edit_db_IP->isEnabled());
    QTest::mouseClick(pages.plc->areaCheckBox[0], Qt::LeftButton);
    EXPECT_TRUE(pages.plc->areaFrom[0]->isEnabled());

    // A "From" above its "to" is taken as it is; a number typed beyond the
    // range is read as its nearest end without leaving the box.
    TypeOver(pages.plc->areaFrom[1]->editor(), "100");
    TypeOver(pages.plc->areaTo[1]->editor(), "10");
    TypeOver(pages.plc->areaFrom[0]->editor(), "9999");
    const Settings read = pages.Read();
    EXPECT_FALSE(read.areaEnabled[0]);
    EXPECT_EQ(read.areaFrom[1], 100);
    EXPECT_EQ(read.areaTo[1], 10);
    EXPECT_EQ(read.areaFrom[0], 4096);
    EXPECT_FALSE(read.dbEnabled);

    // An emptied spin edit reads as its minimum and shows it.
    TypeOver(pages.connection->CSpinEdit_T2->editor(), "");
    EXPECT_EQ(pages.Read().T2, 0);
    EXPECT_EQ(pages.connection->CSpinEdit_T2->editor()->text(), "0");
}

TEST(ConfigPages, ShownSettingsReadBackUnchanged) {
    Pages pages;
    const Settings s = test::NonDefaultSettings();
    ShowSettings(pages.config(), s);
    EXPECT_EQ(pages.Read(), s);
    EXPECT_EQ(pages.serial->ComboBoxPort->currentText(), "COM32");
    EXPECT_EQ(pages.plc->areaTo[0]->editor()->text(), "8192");
    EXPECT_EQ(pages.database->Edit_db_pass->text(), "  spaced \"quoted\" ");

    ShowSettings(pages.config(), DefaultSettings());
    EXPECT_EQ(pages.Read(), DefaultSettings());
}

TEST(ConfigPages, ShownValuesAreLimitedByTheControlsAndBreakFreeIsLeftAlone) {
    Pages pages;
    ShowActive(&pages.window);
    QTest::mouseClick(pages.connection->CheckBox_breakfree, Qt::LeftButton);
    Settings s;
    s.T1 = 300;
    s.lostconn = 7;
    s.port = 40;
    s.baudRate = -3;
    s.parity = -1;
    s.stopBits = 5;
    s.areaFrom[0] = 0;
    s.areaTo[0] = 9000;
    s.areaTo[4] = 5000;
    s.k = 0;
    s.Td = -1;
    ShowSettings(pages.config(), s);

    EXPECT_EQ(pages.connection->CSpinEdit_T1->editor()->text(), "255");
    EXPECT_EQ(Selected(pages.connection->RadioGroup_disconn), "try to connect constantly");
    EXPECT_EQ(pages.serial->ComboBoxPort->currentIndex(), -1);
    EXPECT_EQ(pages.serial->ComboBoxPort->currentText(), "");
    EXPECT_EQ(pages.serial->ComboBoxBaudRate->currentIndex(), -1);
    EXPECT_EQ(Selected(pages.serial->RadioGroupParity), "");
    EXPECT_EQ(Selected(pages.serial->RadioGroupStopBits), "2");
    const Settings read = pages.Read();
    EXPECT_EQ(read.areaFrom[0], 1);
    EXPECT_EQ(read.areaTo[0], 8192);
    EXPECT_EQ(read.areaTo[4], 4096);
    EXPECT_EQ(read.k, 1);
    EXPECT_EQ(read.Td, 0);
    EXPECT_EQ(read.parity, -1);
    EXPECT_EQ(read.port, -1);
    EXPECT_TRUE(ReadBreakFree(pages.config()));

    ShowSettings(pages.config(), DefaultSettings());
    EXPECT_TRUE(ReadBreakFree(pages.config()));
    EXPECT_EQ(Selected(pages.serial->RadioGroupParity), "odd");
}

}  // namespace
}  // namespace tarnlight::ui
