// The spin edit as the operator uses it: buttons and arrow keys, typing,
// leaving the box, reading and setting the value, holding a button down.
#include "ui/spin_edit.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QLocale>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include "tests/ui/page_test_support.h"

namespace tarnlight::ui {
namespace {

using test::ShowActive;
using test::TypeOver;

// A window with two spin edits, so that the focus can leave the first.
struct SpinWindow {
    SpinWindow(int minimum, int maximum, int increment, int initial)
        : spin(new TCSpinEdit(minimum, maximum, increment, initial, &window)),
          other(new TCSpinEdit(0, 10, 1, 0, &window)) {
        spin->setGeometry(10, 10, 65, 22);
        other->setGeometry(10, 40, 65, 22);
    }
    QString text() const { return spin->editor()->text(); }

    QWidget window;
    TCSpinEdit* spin;
    TCSpinEdit* other;
};

TEST(SpinEdit, ButtonsAndArrowKeysStepByTheIncrementWithinTheRange) {
    SpinWindow w(0, 65000, 100, 1000);
    ShowActive(&w.window);
    QTest::mouseClick(w.spin->upButton(), Qt::LeftButton);
    EXPECT_EQ(w.text(), "1100");
    QTest::mouseClick(w.spin->upButton(), Qt::LeftButton);
    EXPECT_EQ(w.text(), "1200");
    QTest::keyClick(w.spin->editor(), Qt::Key_Up);
    EXPECT_EQ(w.text(), "1300");
    QTest::keyClick(w.spin->editor(), Qt::Key_Down);
    EXPECT_EQ(w.text(), "1200");

    w.spin->setValue(64950);
    QTest::mouseClick(w.spin->upButton(), Qt::LeftButton);
    EXPECT_EQ(w.text(), "65000");
    QTest::mouseClick(w.spin->upButton(), Qt::LeftButton);
    EXPECT_EQ(w.text(), "65000");

    w.spin->setValue(50);
    QTest::mouseClick(w.spin->downButton(), Qt::LeftButton);
    EXPECT_EQ(w.text(), "0");
    QTest::keyClick(w.spin->editor(), Qt::Key_Down);
    EXPECT_EQ(w.text(), "0");

    // A number typed beyond the range steps from the nearest end.
    TypeOver(w.spin->editor(), "99999");
    QTest::keyClick(w.spin->editor(), Qt::Key_Down);
    EXPECT_EQ(w.text(), "64900");
}

TEST(SpinEdit, TypingTakesDigitsSignsAndTheSeparatorAndBeepsAtAnythingElse) {
    SpinWindow w(-100, 100, 1, 0);
    ShowActive(&w.window);
    QSignalSpy beeps(w.spin, &TCSpinEdit::beeped);
    QLineEdit* editor = w.spin->editor();

    TypeOver(editor, "-12");
    EXPECT_EQ(editor->text(), "-12");
    EXPECT_EQ(beeps.count(), 0);
    QTest::keyClicks(editor, "a");
    QTest::keyClick(editor, Qt::Key_Space);
    EXPECT_EQ(editor->text(), "-12");
    EXPECT_EQ(beeps.count(), 2);

    TypeOver(editor, QString("+1") + QLocale().decimalPoint());
    EXPECT_EQ(editor->text(), QString("+1") + QLocale().decimalPoint());
    QTest::keyClick(editor, Qt::Key_Backspace);
    EXPECT_EQ(editor->text(), "+1");
    EXPECT_EQ(beeps.count(), 2);

    // Enter is the one control character refused.
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_EQ(beeps.count(), 3);
    EXPECT_EQ(editor->text(), "+1");
}

TEST(SpinEdit, ReadingAndLeavingLimitTheTextToTheRange) {
    SpinWindow w(1, 4096, 1, 1);
    ShowActive(&w.window);
    QLineEdit* editor = w.spin->editor();

    // Typed beyond the range: reads as the nearest end, the text stays
    // until the focus leaves.
    TypeOver(editor, "9999");
    EXPECT_EQ(w.spin->value(), 4096);
    EXPECT_EQ(editor->text(), "9999");
    QTest::keyClick(editor, Qt::Key_Tab);
    EXPECT_TRUE(w.other->editor()->hasFocus());
    EXPECT_EQ(editor->text(), "4096");

    TypeOver(editor, "+12");
    EXPECT_EQ(w.spin->value(), 12);
    TypeOver(editor, "-5");
    EXPECT_EQ(w.spin->value(), 1);
    TypeOver(editor, "123456789012345678901234567890");
    EXPECT_EQ(w.spin->value(), 4096);

    // No number at all: reads as the minimum and shows it.
    for (const QString& noNumber : {QString(), QString("-"), QString("1-2")}) {
        TypeOver(editor, noNumber);
        EXPECT_EQ(w.spin->value(), 1) << noNumber.toStdString();
        EXPECT_EQ(editor->text(), "1");
    }
    // Emptied and left: the minimum.
    TypeOver(editor, "");
    w.other->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(editor->text(), "1");

    // Set from outside: clamped.
    w.spin->setValue(70000);
    EXPECT_EQ(editor->text(), "4096");
    w.spin->setValue(-3);
    EXPECT_EQ(editor->text(), "1");
}

TEST(SpinEdit, AnotherWindowTakingTheFocusIsNoLeavingOfTheBox) {
    SpinWindow w(1, 4096, 1, 1);
    ShowActive(&w.window);
    TypeOver(w.spin->editor(), "9999");
    QWidget otherWindow;
    ShowActive(&otherWindow);
    EXPECT_EQ(w.spin->editor()->text(), "9999");
    ShowActive(&w.window);
    EXPECT_TRUE(w.spin->editor()->hasFocus());
    QTest::keyClick(w.spin->editor(), Qt::Key_Tab);
    EXPECT_EQ(w.spin->editor()->text(), "4096");
}

TEST(SpinEdit, HoldingAButtonRepeatsTheStepAfter400MsThenEvery100Ms) {
    SpinWindow w(0, 1000, 10, 100);
    ShowActive(&w.window);
    QElapsedTimer clock;
    clock.start();
    QTest::mousePress(w.spin->upButton(), Qt::LeftButton);
    EXPECT_EQ(w.spin->value(), 110);  // the first step at once

    ASSERT_TRUE(QTest::qWaitFor([&] { return w.spin->value() >= 120; }, 5000));
    const qint64 firstRepeat = clock.elapsed();
    EXPECT_GE(firstRepeat, 395);
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.spin->value() >= 140; }, 5000));
    EXPECT_GE(clock.elapsed() - firstRepeat, 195);  // two more steps

    QTest::mouseRelease(w.spin->upButton(), Qt::LeftButton);
    const int released = w.spin->value();
    QTest::qWait(300);  // nothing may happen in three intervals
    EXPECT_EQ(w.spin->value(), released);

    // Released before the delay: one step only.
    QTest::mousePress(w.spin->downButton(), Qt::LeftButton);
    QTest::mouseRelease(w.spin->downButton(), Qt::LeftButton);
    QTest::qWait(500);
    EXPECT_EQ(w.spin->value(), released - 10);
}

TEST(SpinEdit, WithTypingDisabledOnlyButtonsAndArrowKeysChangeTheValue) {
    SpinWindow w(0, 255, 1, 5);
    w.spin->setTypingEnabled(false);
    ShowActive(&w.window);
    QSignalSpy beeps(w.spin, &TCSpinEdit::beeped);
    QLineEdit* editor = w.spin->editor();

    test::TryToEdit(editor);
    editor->selectAll();
    QTest::keyClick(editor, Qt::Key_Backspace);
    QTest::keyClick(editor, Qt::Key_X, Qt::ControlModifier);
    QGuiApplication::clipboard()->setText("9");
    QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(editor->text(), "5");
    EXPECT_GE(beeps.count(), 4);

    QTest::keyClick(editor, Qt::Key_Up);
    EXPECT_EQ(editor->text(), "6");
    QTest::mouseClick(w.spin->upButton(), Qt::LeftButton);
    EXPECT_EQ(editor->text(), "7");
    QTest::mouseClick(w.spin->downButton(), Qt::LeftButton);
    QTest::keyClick(editor, Qt::Key_Down);
    EXPECT_EQ(editor->text(), "5");
    w.spin->setValue(300);
    EXPECT_EQ(editor->text(), "255");
}

}  // namespace
}  // namespace tarnlight::ui
