#pragma once
// The program's application object. An exception thrown inside an event
// handler does not end the program: the operator sees its text in a message
// box and goes on working.
#include <QApplication>

namespace tarnlight::ui {

class TApplication : public QApplication {
    Q_OBJECT
  public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

// A modal box with caption "Tarnlight" and the text of an error.
void ShowErrorText(const QString& text);

}  // namespace tarnlight::ui
