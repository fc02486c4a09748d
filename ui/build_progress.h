#pragma once
// Connect's progress dialog while the database is prepared: a line of text,
// the share of the table build done and Cancel. Modal for the application,
// so no other command runs meanwhile. Unlike a QProgressDialog it never runs
// an event loop of its own when its value changes: the window's handlers
// stay outside one another.
#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace tarnlight::ui {

class TBuildProgress : public QDialog {
    Q_OBJECT
  public:
    explicit TBuildProgress(QWidget* parent);

    QLabel* Label;
    QProgressBar* Bar;
    QPushButton* Butt_Cancel;

    void setValue(int percent);
    int value() const;
    QString labelText() const;

  signals:
    // Cancel, Escape or the title bar's close button.
    void canceled();

  protected:
    void reject() override;
};

}  // namespace tarnlight::ui
