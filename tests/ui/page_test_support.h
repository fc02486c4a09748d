#pragma once
// Helpers of the page tests: a shown, active window so that focus moves and
// key presses behave as for the operator, and typing into a box.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QWidget>

namespace tarnlight::test {

// Shows the widget as an active top-level window.
inline void ShowActive(QWidget* window) {
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
}

// Gives the box the focus, selects all and types text over it.
inline void TypeOver(QLineEdit* edit, const QString& text) {
    edit->setFocus(Qt::TabFocusReason);
    edit->selectAll();
    if (text.isEmpty()) {
        QTest::keyClick(edit, Qt::Key_Backspace);
    } else {
        QTest::keyClicks(edit, text);
    }
}

// Gives the box the focus and tries to change its text: a digit typed,
// Backspace at its end, Delete at its start.
inline void TryToEdit(QLineEdit* edit) {
    edit->setFocus(Qt::TabFocusReason);
    QTest::keyClicks(edit, "7");
    edit->end(false);
    QTest::keyClick(edit, Qt::Key_Backspace);
    edit->home(false);
    QTest::keyClick(edit, Qt::Key_Delete);
}

}  // namespace tarnlight::test
