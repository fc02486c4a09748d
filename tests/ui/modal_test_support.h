#pragma once
// Helpers for window tests that meet a modal dialog or the desktop: the URL
// the desktop's viewer would get, and acting on a modal dialog while the
// code that opened it waits in its exec().
#include <QApplication>
#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QTimer>
#include <QUrl>
#include <functional>

namespace tarnlight::test {

// Takes the URLs QDesktopServices would hand to the desktop's viewer.
class UrlCatcher : public QObject {
    Q_OBJECT
  public:
    explicit UrlCatcher(const QString& scheme) : scheme_(scheme) {
        QDesktopServices::setUrlHandler(scheme_, this, "take");
    }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(scheme_); }
    QList<QUrl> urls;

  public slots:
    void take(const QUrl& url) { urls << url; }

  private:
    QString scheme_;
};

// Runs action once a modal Dialog is up; the timer polling for it belongs
// to owner, so it ends with the test.
template <typename Dialog>
void WhenModal(QObject* owner, std::function<void(Dialog&)> action) {
    auto* timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        action(*dialog);
    });
    timer->start(5);
}

}  // namespace tarnlight::test
