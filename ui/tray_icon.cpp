#include "ui/tray_icon.h"

#include <QAction>
#include <QMenu>
#include <QTimer>
#include <QWidget>
#include <algorithm>

#include "ui/pictures.h"

namespace tarnlight::ui {
namespace {

const char* const kPictureNames[TTrayIcon::kPictureCount] = {
    "tray_no_connection", "tray_online", "tray_connect_failed", "tray_connection_lost"};

// How often a shown icon checks that the notification area is still there.
constexpr int kWatchIntervalMs = 1000;

QAction* MakeItem(QMenu* menu, const char* name, const QString& caption) {
    QAction* item = caption.isEmpty() ? menu->addSeparator() : menu->addAction(caption);
    item->setObjectName(QString::fromLatin1(name));
    return item;
}

}  // namespace

QIcon TrayPicture(int index) {
    const QString name =
        QString::fromLatin1(kPictureNames[std::clamp(index, 0, TTrayIcon::kPictureCount - 1)]);
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48}) icon.addPixmap(Picture(name, QSize(size, size)));
    return icon;
}

TTrayIcon::TTrayIcon(QWidget* owner)
    : QObject(owner), icon_(new QSystemTrayIcon(this)), watch_(new QTimer(this)) {
    setObjectName(QStringLiteral("TrayIcon1"));
    PopupMenu1 = new QMenu(owner);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    aaa1 = MakeItem(PopupMenu1, "aaa1", QStringLiteral("Show"));
    N1 = MakeItem(PopupMenu1, "N1", QString());
    Help1 = MakeItem(PopupMenu1, "Help1", QStringLiteral("Help"));
    About1 = MakeItem(PopupMenu1, "About1", QStringLiteral("About"));
    N2 = MakeItem(PopupMenu1, "N2", QString());
    ccc1 = MakeItem(PopupMenu1, "ccc1", QStringLiteral("Exit"));

    icon_->setToolTip(QStringLiteral("Tarnlight"));
    icon_->setIcon(TrayPicture(iconIndex_));
    icon_->setContextMenu(PopupMenu1);
    // Queued: a click handler removes the icon, and on X11 that deletes the
    // widget whose mouse event is still being delivered.
    connect(icon_, &QSystemTrayIcon::activated, this, &TTrayIcon::OnActivated,
            Qt::QueuedConnection);
    watch_->setInterval(kWatchIntervalMs);
    connect(watch_, &QTimer::timeout, this, &TTrayIcon::CheckNotificationArea);
}

TTrayIcon::~TTrayIcon() = default;

bool TTrayIcon::Show() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) return false;
    icon_->setIcon(TrayPicture(iconIndex_));
    icon_->show();
    if (!icon_->isVisible()) return false;
    watch_->start();
    return true;
}

bool TTrayIcon::Remove() {
    icon_->hide();
    if (icon_->isVisible()) return false;
    watch_->stop();
    return true;
}

bool TTrayIcon::IsShown() const {
    return icon_->isVisible();
}

void TTrayIcon::SetIconIndex(int index) {
    iconIndex_ = std::clamp(index, 0, kPictureCount - 1);
    icon_->setIcon(TrayPicture(iconIndex_));
}

void TTrayIcon::OnActivated(QSystemTrayIcon::ActivationReason reason) {
    // The icon may have gone meanwhile (a second click queued behind the
    // first, which brought the window back).
    if (!IsShown() && reason != QSystemTrayIcon::DoubleClick) return;
    if (reason == QSystemTrayIcon::Trigger) emit clicked();
    if (reason == QSystemTrayIcon::DoubleClick) emit doubleClicked();
}

void TTrayIcon::CheckNotificationArea() {
    if (IsShown() && !QSystemTrayIcon::isSystemTrayAvailable()) emit notificationAreaLost();
}

}  // namespace tarnlight::ui
