#pragma once
// The window's fonts by the names its layout was drawn with. Families the
// platform lacks fall back to the closest one at the same size: the
// metric-compatible Liberation faces first, then the generic sans or
// monospace family.
#include <QFont>
#include <QStringList>

namespace tarnlight::ui {

inline QFont FontOf(const QStringList& families, QFont::StyleHint hint, int pointSize,
                    bool bold = false) {
    QFont font;
    font.setFamilies(families);
    font.setStyleHint(hint);
    font.setPointSize(pointSize);
    font.setBold(bold);
    return font;
}

// "MS Sans Serif": the window's default face.
inline QFont MsSansSerif(int pointSize, bool bold = false) {
    return FontOf({"MS Sans Serif", "Microsoft Sans Serif", "Liberation Sans", "DejaVu Sans"},
                  QFont::SansSerif, pointSize, bold);
}

inline QFont Arial(int pointSize, bool bold = false) {
    return FontOf({"Arial", "Liberation Sans", "DejaVu Sans"}, QFont::SansSerif, pointSize, bold);
}

inline QFont CourierNew(int pointSize, bool bold = false) {
    return FontOf({"Courier New", "Liberation Mono", "DejaVu Sans Mono"}, QFont::Monospace,
                  pointSize, bold);
}

// A font given in pixels (the grids: 11 pixels, the memory page titles: 16).
inline QFont SansPixels(int pixelSize, bool bold = false) {
    QFont font = Arial(8, bold);
    font.setPixelSize(pixelSize);
    return font;
}

}  // namespace tarnlight::ui
