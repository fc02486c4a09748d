#include "ui/panel11.h"

#include <QLabel>

#include "ui/fonts.h"
#include "ui/page_widgets.h"

namespace tarnlight::ui {
namespace {

constexpr int kCaptionLeft = 24;
constexpr int kValueLeft = 136;
constexpr int kTimerCaptionLeft = 104;

}  // namespace

TFrame11::TFrame11(QWidget* parent) : QWidget(parent) {
    setFont(MsSansSerif(8));
    resize(kPageWidth, kPageHeight);
    AddTitle(this, "StaticText_Info", "PLC informations", SansPixels(16));

    AddLabel(this, "StaticText_Type", "Type:", kCaptionLeft, 48);
    AddValue(InfoLabel::LabelPLC_Type, kValueLeft, 48);
    AddLabel(this, "StaticText_Model", "Model:", kCaptionLeft, 72);
    AddValue(InfoLabel::LabelPLC_Model, kValueLeft, 72);
    AddLabel(this, "StaticText_CPU_ID", "CPU ID:", kCaptionLeft, 96);
    AddValue(InfoLabel::LabelCPU_ID, kValueLeft, 96);

    AddLabel(this, "StaticText_Times", "SNP Times:", kCaptionLeft, 136);
    AddLabel(this, "StaticText_T1", "T1 =", kTimerCaptionLeft, 136);
    AddValue(InfoLabel::Label_T1, kValueLeft, 136);
    AddLabel(this, "StaticText_T2", "T2 =", kTimerCaptionLeft, 160);
    AddValue(InfoLabel::Label_T2, kValueLeft, 160);
    AddLabel(this, "StaticText_T3b", "T3' =", kTimerCaptionLeft, 184);
    AddValue(InfoLabel::Label_T3b, kValueLeft, 184);

    AddLabel(this, "StaticText_priv", "Priviledge level:", kCaptionLeft, 224);
    AddValue(InfoLabel::Label_priv, kValueLeft, 224);
}

void TFrame11::AddValue(InfoLabel which, int left, int top) {
    QLabel* value = AddLabel(this, InfoLabelName(which), "...", left, top, MsSansSerif(8, true));
    value->resize(kPageWidth - left - 8, value->height());  // room for long model names
    values_[static_cast<size_t>(which)] = value;
}

void TFrame11::SetInfoLabel(InfoLabel which, const QString& text) {
    label(which)->setText(text);
}

QLabel* TFrame11::label(InfoLabel which) const {
    return values_[static_cast<size_t>(which)];
}

}  // namespace tarnlight::ui
