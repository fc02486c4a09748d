#include "ui/pictures.h"

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>

// Outside any namespace, as the resource initialiser requires.
static void InitPictureResource() {
    Q_INIT_RESOURCE(pictures);
}

namespace tarnlight::ui {
namespace {

QString PicturePath(const QString& name) {
    return QStringLiteral(":/pictures/") + name + QStringLiteral(".svg");
}

}  // namespace

void InitPictures() {
    static const bool done = [] {
        InitPictureResource();
        return true;
    }();
    (void)done;
}

QPixmap Picture(const QString& name, QSize size) {
    InitPictures();
    const qreal ratio = qGuiApp != nullptr ? qGuiApp->devicePixelRatio() : 1.0;
    QPixmap pixmap(size * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(PicturePath(name));
    if (renderer.isValid()) {
        QPainter painter(&pixmap);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    }
    return pixmap;
}

QIcon ButtonIcon(const QString& name, QSize size) {
    QIcon icon;
    icon.addPixmap(Picture(name, size), QIcon::Normal);
    const QString greyed = name + QStringLiteral("_greyed");
    if (QFile::exists(PicturePath(greyed))) icon.addPixmap(Picture(greyed, size), QIcon::Disabled);
    return icon;
}

}  // namespace tarnlight::ui
