#include "ui/page_widgets.h"

#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QVariant>
#include <algorithm>

#include "ui/fonts.h"

namespace tarnlight::ui {
namespace {

// The typing limit of a box, kept on the box itself.
constexpr const char* kTypingLimit = "typingLimit";

QFrame* AddRule(QWidget* page, QFrame::Shape shape, int left, int top, int width, int height) {
    auto* rule = new QFrame(page);
    rule->setFrameShape(shape);
    rule->setFrameShadow(QFrame::Sunken);
    rule->setGeometry(left, top, width, height);
    return rule;
}

void FitMaxLength(QLineEdit* edit) {
    const QVariant limit = edit->property(kTypingLimit);
    if (!limit.isValid()) return;  // a box without a typing limit
    edit->setMaxLength(std::max(limit.toInt(), static_cast<int>(edit->text().size())));
}

}  // namespace

void InitPage(QWidget* page) {
    page->setFont(MsSansSerif(8));
    page->resize(kPageWidth, kPageHeight);
}

void Place(QWidget* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
}

void PlaceWhole(QWidget* widget, const char* name, int left, int top, int width, int height) {
    Place(widget, name, left, top, std::max(width, widget->sizeHint().width()), height);
}

QLabel* AddLabel(QWidget* page, const char* name, const QString& text, int left, int top) {
    return AddLabel(page, name, text, left, top, page->font());
}

QLabel* AddLabel(QWidget* page, const char* name, const QString& text, int left, int top,
                 const QFont& font) {
    auto* label = new QLabel(text, page);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(font);
    label->move(left, top);
    label->adjustSize();
    return label;
}

QLabel* AddTitle(QWidget* page, const char* name, const QString& text, const QFont& font) {
    QLabel* title = AddLabel(page, name, text, 10, 2, font);
    AddHorizontalRule(page, 10, 28, 200);
    return title;
}

QFrame* AddHorizontalRule(QWidget* page, int left, int top, int length) {
    return AddRule(page, QFrame::HLine, left, top, length, 2);
}

QFrame* AddVerticalRule(QWidget* page, int left, int top, int length) {
    return AddRule(page, QFrame::VLine, left, top, 2, length);
}

void MakeFlat(QLineEdit* edit, bool password) {
    // One style sheet, set once: the box takes its password character from
    // the style sheet it has when its echo mode is set.
    QString look = "QLineEdit { border: 1px solid #7a7a7a; background: white; padding: 0px 1px; ";
    if (password) look += "lineedit-password-character: 35; ";
    edit->setStyleSheet(look + "}");
    if (password) edit->setEchoMode(QLineEdit::Password);
}

void LimitTyping(QLineEdit* edit, int maxLength) {
    edit->setProperty(kTypingLimit, maxLength);
    FitMaxLength(edit);
    // Shorter texts bring the limit back down, so deleting characters of a
    // long loaded text does not make room for typing beyond the limit.
    QObject::connect(edit, &QLineEdit::textChanged, edit, [edit] { FitMaxLength(edit); });
}

void SetWholeText(QLineEdit* edit, const QString& text) {
    // The box's own maximum length would cut the text, so it is raised first.
    edit->setMaxLength(std::max(edit->maxLength(), static_cast<int>(text.size())));
    edit->setText(text);
    FitMaxLength(edit);
}

}  // namespace tarnlight::ui
