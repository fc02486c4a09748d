#include "ui/status_bar.h"

#include <QEvent>
#include <QLabel>
#include <algorithm>

namespace tarnlight::ui {
namespace {

struct PanelSpec {
    int width;  // the last panel takes the rest of the bar instead
    bool bevel;
    const char* initialText;
};

// Link state, spacer, PLC state, sweep, spacer, sequence, cycle count,
// spacer, messages.
constexpr PanelSpec kPanels[TStatusBar::kPanelCount] = {
    {100, true, "Offline"}, {5, false, ""},     {104, true, ""}, {96, true, ""}, {5, false, ""},
    {36, true, "0x00"},     {36, true, "0x00"}, {5, false, ""},  {24, true, ""},
};

// Space above the panels, and between two panels: the eight panels before
// the last, with their gaps, take 411 pixels, so the last one gets 220 of
// the window's 631.
constexpr int kTopMargin = 2;
constexpr int kPanelGap = 3;

}  // namespace

TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent) {
    for (int i = 0; i < kPanelCount; ++i) {
        auto* label = new QLabel(this);
        label->setObjectName(QStringLiteral("StatusBar1Panel%1").arg(i));
        if (kPanels[i].bevel) label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setIndent(2);
        label->setTextFormat(Qt::PlainText);
        // A label would otherwise ask for the width of its whole text; the
        // panel keeps its own width and cuts a long text itself.
        label->setMinimumWidth(0);
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        panels_[i] = label;
        texts_[i] = QString::fromLatin1(kPanels[i].initialText);
    }
    LayOutPanels();
}

void TStatusBar::SetPanelText(int index, const QString& text) {
    if (index < 0 || index >= kPanelCount) return;
    texts_[index] = text;
    ShowText(index);
}

QString TStatusBar::panelText(int index) const {
    return index >= 0 && index < kPanelCount ? texts_[index] : QString();
}

QLabel* TStatusBar::panel(int index) const {
    return index >= 0 && index < kPanelCount ? panels_[index] : nullptr;
}

void TStatusBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    LayOutPanels();
}

void TStatusBar::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) LayOutPanels();
}

void TStatusBar::ShowText(int index) {
    QLabel* label = panels_[index];
    const QString& text = texts_[index];
    const int room = label->contentsRect().width() - label->indent() - 2 * label->margin();
    label->setText(label->fontMetrics().elidedText(text, Qt::ElideRight, std::max(room, 0)));
    // The whole text on resting the pointer, the error codes of a long
    // message included.
    label->setToolTip(text);
}

void TStatusBar::LayOutPanels() {
    const int h = std::max(0, height() - kTopMargin);
    int x = 0;
    for (int i = 0; i < kPanelCount; ++i) {
        const bool last = i == kPanelCount - 1;
        const int w = last ? std::max(kPanels[i].width, width() - x) : kPanels[i].width;
        panels_[i]->setGeometry(x, kTopMargin, w, h);
        ShowText(i);
        x += w + kPanelGap;
    }
}

}  // namespace tarnlight::ui
