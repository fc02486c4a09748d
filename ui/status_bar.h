#pragma once
// The window's status bar: nine panels of fixed widths side by side, the
// last stretching to the right edge. Panels with a bevel are drawn sunk into
// the bar; the three without one are blank spacers that nobody writes.
#include <QWidget>
#include <array>

class QLabel;

namespace tarnlight::ui {

class TStatusBar : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kPanelCount = 9;

    explicit TStatusBar(QWidget* parent = nullptr);

    void SetPanelText(int index, const QString& text);
    // The whole text, as set (the panel may show it cut).
    QString panelText(int index) const;
    QLabel* panel(int index) const;

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void LayOutPanels();
    // Shows the panel's text, cut to its width, and the whole as its tooltip.
    void ShowText(int index);

    std::array<QLabel*, kPanelCount> panels_{};
    std::array<QString, kPanelCount> texts_{};
};

}  // namespace tarnlight::ui
