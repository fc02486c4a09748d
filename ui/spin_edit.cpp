#include "ui/spin_edit.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QTimer>
#include <QToolButton>
#include <QValidator>
#include <algorithm>
#include <climits>

namespace tarnlight::ui {
namespace {

constexpr int kButtonWidth = 15;
constexpr int kRepeatDelayMs = 400;
constexpr int kRepeatIntervalMs = 100;

bool IsDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

QChar DecimalSeparator() {
    const QString point = QLocale().decimalPoint();
    return point.isEmpty() ? QChar('.') : point.front();
}

// Refuses a text holding any character other than digits, signs and the
// decimal separator; the line edit then undoes the change and reports it.
class SpinCharacters : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        const QChar separator = DecimalSeparator();
        for (QChar c : input) {
            if (!IsDigit(c) && c != u'+' && c != u'-' && c != separator) return Invalid;
        }
        return Acceptable;
    }
};

QToolButton* MakeSpinButton(QWidget* parent, Qt::ArrowType arrow) {
    auto* button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

}  // namespace

TCSpinEdit::TCSpinEdit(int minimum, int maximum, int increment, int initial, QWidget* parent)
    : QWidget(parent),
      minimum_(std::min(minimum, maximum)),
      maximum_(std::max(minimum, maximum)),
      increment_(increment),
      editor_(new QLineEdit(this)),
      up_(MakeSpinButton(this, Qt::UpArrow)),
      down_(MakeSpinButton(this, Qt::DownArrow)),
      repeat_(new QTimer(this)) {
    editor_->setValidator(new SpinCharacters(editor_));
    editor_->installEventFilter(this);
    setFocusProxy(editor_);
    setValue(initial);

    repeat_->setTimerType(Qt::PreciseTimer);  // never earlier than asked
    connect(repeat_, &QTimer::timeout, this, [this] {
        // A button that stopped being held without a release (hidden while
        // pressed) ends the repeat as well.
        if (!up_->isDown() && !down_->isDown()) {
            repeat_->stop();
            return;
        }
        repeat_->setInterval(kRepeatIntervalMs);
        Step(repeatDirection_);
    });
    connect(up_, &QToolButton::pressed, this, [this] { StartRepeat(+1); });
    connect(down_, &QToolButton::pressed, this, [this] { StartRepeat(-1); });
    connect(up_, &QToolButton::released, repeat_, &QTimer::stop);
    connect(down_, &QToolButton::released, repeat_, &QTimer::stop);
    connect(editor_, &QLineEdit::inputRejected, this, &TCSpinEdit::Beep);
    connect(editor_, &QLineEdit::textChanged, this, &TCSpinEdit::textChanged);
}

std::optional<int> TCSpinEdit::valueOfText(const QString& text) const {
    // Optional sign, then at least one digit 0..9 and nothing else.
    qsizetype first = 0;
    if (!text.isEmpty() && (text.front() == u'+' || text.front() == u'-')) first = 1;
    if (first == text.size()) return std::nullopt;
    for (qsizetype i = first; i < text.size(); ++i) {
        if (!IsDigit(text[i])) return std::nullopt;
    }
    bool ok = false;
    long long number = text.toLongLong(&ok);
    if (!ok) number = text.front() == u'-' ? LLONG_MIN : LLONG_MAX;  // too many digits
    const long long low = ranged() ? minimum_ : INT_MIN;
    const long long high = ranged() ? maximum_ : INT_MAX;
    return static_cast<int>(std::clamp(number, low, high));
}

std::optional<int> TCSpinEdit::shownNumber() const {
    return valueOfText(editor_->text());
}

int TCSpinEdit::value() {
    const std::optional<int> number = shownNumber();
    if (number) return *number;
    editor_->setText(QString::number(minimum_));
    return minimum_;
}

void TCSpinEdit::setValue(int value) {
    if (ranged()) value = std::clamp(value, minimum_, maximum_);
    editor_->setText(QString::number(value));
}

int TCSpinEdit::minimum() const {
    return minimum_;
}

int TCSpinEdit::maximum() const {
    return maximum_;
}

int TCSpinEdit::increment() const {
    return increment_;
}

void TCSpinEdit::setTypingEnabled(bool enabled) {
    typingEnabled_ = enabled;
    editor_->setReadOnly(!enabled);
}

bool TCSpinEdit::typingEnabled() const {
    return typingEnabled_;
}

QLineEdit* TCSpinEdit::editor() const {
    return editor_;
}

QToolButton* TCSpinEdit::upButton() const {
    return up_;
}

QToolButton* TCSpinEdit::downButton() const {
    return down_;
}

bool TCSpinEdit::ranged() const {
    return minimum_ != maximum_;
}

void TCSpinEdit::Step(int direction) {
    const long long next =
        static_cast<long long>(value()) + static_cast<long long>(direction) * increment_;
    setValue(static_cast<int>(std::clamp<long long>(next, INT_MIN, INT_MAX)));
}

void TCSpinEdit::StartRepeat(int direction) {
    // One step at once, the next after the delay, then one per interval
    // until the button is released.
    repeatDirection_ = direction;
    Step(direction);
    repeat_->start(kRepeatDelayMs);
}

void TCSpinEdit::Beep() {
    QApplication::beep();
    emit beeped();
}

void TCSpinEdit::ClampText() {
    const QString shown = QString::number(value());
    if (editor_->text() != shown) editor_->setText(shown);
}

bool TCSpinEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched != editor_) return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::FocusOut) {
        // Leaving the box for another control. A context menu opening on the
        // box, or the whole window losing the focus (to another program, or
        // as it closes), leaves the box the focus within its window.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) ClampText();
        return false;
    }
    if (event->type() == QEvent::KeyPress) return HandleKey(static_cast<QKeyEvent*>(event));
    return false;
}

bool TCSpinEdit::HandleKey(QKeyEvent* key) {
    switch (key->key()) {
        case Qt::Key_Up:
            Step(+1);
            return true;
        case Qt::Key_Down:
            Step(-1);
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            Beep();
            return true;
        case Qt::Key_Backspace:
        case Qt::Key_Delete:
            if (typingEnabled_) return false;
            Beep();
            return true;
        default:
            break;
    }
    // With typing disabled the box is read-only; a character is refused here
    // so that it beeps like any other refused character. Otherwise the
    // validator refuses what does not belong in a number.
    const bool isCharacter = !key->text().isEmpty() && key->text().front().isPrint() &&
                             !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (!typingEnabled_ && isCharacter) {
        Beep();
        return true;
    }
    return false;
}

void TCSpinEdit::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int buttonsLeft = width() - kButtonWidth;
    const int upHeight = height() / 2;
    editor_->setGeometry(0, 0, buttonsLeft, height());
    up_->setGeometry(buttonsLeft, 0, kButtonWidth, upHeight);
    down_->setGeometry(buttonsLeft, upHeight, kButtonWidth, height() - upHeight);
}

}  // namespace tarnlight::ui
