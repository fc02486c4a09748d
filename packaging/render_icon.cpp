// Renders the program icon into the PNG sizes of the hicolor icon theme, for
// menus and panels that do not scale SVG icons themselves.
//
//   tl_render_icon ICON.svg OUTDIR SIZE...
//
// writes OUTDIR/<SIZE>x<SIZE>/<name of ICON>.png for every SIZE.
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s ICON.svg OUTDIR SIZE...\n", argv[0]);
        return 2;
    }
    // The drawing has no text, so no QGuiApplication (nor a display) is needed.
    const QString svg = QString::fromLocal8Bit(argv[1]);
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "tl_render_icon: cannot read %s\n", argv[1]);
        return 1;
    }
    const QString name = QFileInfo(svg).completeBaseName() + ".png";
    for (int i = 3; i < argc; ++i) {
        bool ok = false;
        const int size = QString::fromLocal8Bit(argv[i]).toInt(&ok);
        if (!ok || size < 1 || size > 4096) {
            std::fprintf(stderr, "tl_render_icon: bad size %s\n", argv[i]);
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        painter.end();
        const QDir dir(QString::fromLocal8Bit(argv[2]) + QStringLiteral("/%1x%1").arg(size));
        if (!QDir().mkpath(dir.path()) || !image.save(dir.filePath(name), "PNG")) {
            std::fprintf(stderr, "tl_render_icon: cannot write %s\n",
                         qPrintable(dir.filePath(name)));
            return 1;
        }
    }
    return 0;
}
