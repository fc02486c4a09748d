#include "ui/application.h"

#include <QMessageBox>
#include <exception>

namespace tarnlight::ui {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // The title of the program's task-bar entry.
    setApplicationName(QStringLiteral("Tarnlight"));
    // The program ends when its main window closes (TForm1 quits then), not
    // when the last visible window does: while the main window is hidden
    // behind the tray icon, closing a message box or the about dialog must
    // not end it.
    setQuitOnLastWindowClosed(false);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ShowErrorText(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        ShowErrorText(QStringLiteral("Unknown error"));
    }
    return false;
}

void ShowErrorText(const QString& text) {
    QMessageBox::critical(nullptr, QStringLiteral("Tarnlight"), text);
}

}  // namespace tarnlight::ui
