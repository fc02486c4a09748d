#pragma once
// A text box holding a whole number with small up and down buttons at its
// right edge (every numeric setting on the pages, and the Edit page's
// address and value).
//
//  1. The up button and the Up key add the increment, the down button and the
//     Down key subtract it; the result is clamped to the range and shown.
//  2. Holding a button repeats the step, first after 400 ms, then every 100 ms.
//  3. Typing accepts digits, '+', '-', the decimal separator and control
//     characters other than Enter; any other character is refused with a
//     beep. With typing disabled nothing can be typed, and neither Backspace
//     nor Delete removes anything; only the buttons and arrow keys change it.
//  4. Losing the focus replaces a value outside the range with the nearest end.
//  5. value() converts the text: a text that is no number reads as the
//     minimum and the text is reset to it; a number beyond the range reads as
//     the nearest end (the text stays until the focus leaves).
//  6. setValue() clamps to the range.
#include <QWidget>
#include <optional>

class QKeyEvent;
class QLineEdit;
class QTimer;
class QToolButton;

namespace tarnlight::ui {

class TCSpinEdit : public QWidget {
    Q_OBJECT
  public:
    TCSpinEdit(int minimum, int maximum, int increment, int initial, QWidget* parent = nullptr);

    int value();               // rule 5; not const: it may reset the text
    void setValue(int value);  // rule 6
    int minimum() const;
    int maximum() const;
    int increment() const;
    void setTypingEnabled(bool enabled);  // rule 3; enabled by default
    bool typingEnabled() const;

    QLineEdit* editor() const;
    QToolButton* upButton() const;
    QToolButton* downButton() const;

    // What value() would read for text, without touching the box: the number
    // limited to the range, or nothing when the text is no number.
    std::optional<int> valueOfText(const QString& text) const;
    // valueOfText of the text shown now.
    std::optional<int> shownNumber() const;

  signals:
    // The shown text changed (typing, buttons, keys, setValue).
    void textChanged(const QString& text);
    // A key or an edit was refused (rule 3); the application beeped.
    void beeped();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    bool ranged() const;  // the range applies only when minimum and maximum differ
    void Step(int direction);
    void StartRepeat(int direction);
    void Beep();
    void ClampText();
    bool HandleKey(QKeyEvent* key);

    int minimum_;
    int maximum_;
    int increment_;
    bool typingEnabled_ = true;
    QLineEdit* editor_;
    QToolButton* up_;
    QToolButton* down_;
    QTimer* repeat_;
    int repeatDirection_ = 0;
};

}  // namespace tarnlight::ui
