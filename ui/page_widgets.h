#pragma once
// Building blocks shared by the pages: every control stands at a fixed pixel
// position on its 342 x 305 page and carries its name as objectName, so the
// main window and the tests find it by that name.
#include <QString>

class QFont;
class QFrame;
class QLabel;
class QLineEdit;
class QWidget;

namespace tarnlight::ui {

inline constexpr int kPageWidth = 342;
inline constexpr int kPageHeight = 305;

// A page's size and its default font, MS Sans Serif 8 pt.
void InitPage(QWidget* page);

// Names the widget and puts it at left, top with the given size.
void Place(QWidget* widget, const char* name, int left, int top, int width, int height);
// As Place, widened to show its whole caption where the platform's font
// runs wider than the one the sizes were drawn for.
void PlaceWhole(QWidget* widget, const char* name, int left, int top, int width, int height);

// A label sized to its text with its top left corner at left, top.
QLabel* AddLabel(QWidget* page, const char* name, const QString& text, int left, int top);
QLabel* AddLabel(QWidget* page, const char* name, const QString& text, int left, int top,
                 const QFont& font);

// The page title at 10, 2 with the 200-pixel rule under it at 10, 28.
QLabel* AddTitle(QWidget* page, const char* name, const QString& text, const QFont& font);

// Sunken frame lines: horizontal from left, top; vertical down from left, top.
QFrame* AddHorizontalRule(QWidget* page, int left, int top, int length);
QFrame* AddVerticalRule(QWidget* page, int left, int top, int length);

// The one-line text boxes of the PLC and database pages: flat (a thin line
// instead of the sunken border); a password box shows every character as '#'.
void MakeFlat(QLineEdit* edit, bool password = false);

// Limits what the operator can type to maxLength characters, while a longer
// text set with SetWholeText (Load) stays whole: the box then takes no further
// characters until it is shorter than the limit again.
void LimitTyping(QLineEdit* edit, int maxLength);
void SetWholeText(QLineEdit* edit, const QString& text);

}  // namespace tarnlight::ui
