#pragma once
// The window's pictures: our own SVG drawings, compiled into the program as
// Qt resources under ":/pictures/" and rendered at the size a control needs.
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace tarnlight::ui {

// Registers the pictures of the window library. The library is static, so
// its resources need this once before the first picture is used; it is
// called by the main window and safe to call again.
void InitPictures();

// ":/pictures/<name>.svg" rendered at size (times the screen's pixel ratio).
// An empty pixmap of that size when there is no such picture.
QPixmap Picture(const QString& name, QSize size);

// A button's picture. When "<name>_greyed" exists, a disabled button shows
// it; otherwise the style greys the normal picture itself.
QIcon ButtonIcon(const QString& name, QSize size);

}  // namespace tarnlight::ui
