#pragma once
// The notification-area icon (TrayIcon1) and its context menu (PopupMenu1).
// It is shown only while the main window is hidden by Hide, and its picture
// tells the state of the connection: 0 no connection, 1 online, 2 connecting
// failed, 3 an established connection was lost.
//
// The class only shows and removes the icon and reports what the operator
// does with it; the main window decides what follows (unit1.cpp wires it).
#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>

class QAction;
class QMenu;
class QTimer;
class QWidget;

namespace tarnlight::ui {

// The picture of a TrayIconIndex (0..3) at the sizes notification areas ask for.
QIcon TrayPicture(int index);

class TTrayIcon : public QObject {
    Q_OBJECT
  public:
    static constexpr int kPictureCount = 4;

    // The icon and its menu belong to owner (the main window).
    explicit TTrayIcon(QWidget* owner);
    ~TTrayIcon() override;

    // The context menu, top to bottom.
    QMenu* PopupMenu1;
    QAction* aaa1;    // "Show"
    QAction* N1;      // separator
    QAction* Help1;   // "Help"
    QAction* About1;  // "About"
    QAction* N2;      // separator
    QAction* ccc1;    // "Exit"

    // Adds the icon to the notification area with the current picture and
    // the tooltip. False, with the icon left hidden, when the desktop has no
    // notification area or the icon did not appear.
    bool Show();
    // Takes the icon away; false when it stays.
    bool Remove();
    bool IsShown() const;

    // The picture: a shown icon changes at once, a hidden one shows it when
    // it is shown again.
    void SetIconIndex(int index);
    int IconIndex() const { return iconIndex_; }

    // The Qt icon itself (tests and screenshots look at it).
    QSystemTrayIcon* trayIcon() const { return icon_; }

  signals:
    void clicked();        // the left button on the icon
    void doubleClicked();  // a left double click
    // The notification area went away while the icon was shown (the panel
    // was closed or crashed): the window can no longer be reached through it.
    void notificationAreaLost();

  private:
    void OnActivated(QSystemTrayIcon::ActivationReason reason);
    void CheckNotificationArea();

    QSystemTrayIcon* icon_;
    QTimer* watch_;
    int iconIndex_ = 0;
};

}  // namespace tarnlight::ui
