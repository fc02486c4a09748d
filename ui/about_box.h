#pragma once
// The about dialog: the program's picture, name and version and the credit
// lines, in a bevelled panel over the OK button. Made anew for each showing
// and destroyed when it closes (TForm1::SB_AboutClick), window-modal without
// an event loop of its own.
#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace tarnlight::ui {

class TAboutBox : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kClientWidth = 326;
    static constexpr int kClientHeight = 265;

    explicit TAboutBox(QWidget* parent = nullptr);

    QFrame* Panel1;
    QLabel* Image2;       // a controller linked by a cable to a computer
    QLabel* ProductName;  // "Tarnlight"
    QLabel* Version;      // "Wersja 1.0"
    QLabel* Copyright;    // credit lines
    QLabel* Company;
    QLabel* Comments;
    QPushButton* OKButton;  // the default button: Enter closes the dialog

    void OKButtonClick();
};

}  // namespace tarnlight::ui
