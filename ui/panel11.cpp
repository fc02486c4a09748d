#include "ui/panel11.h"

#include <QLabel>

#include "ui/fonts.h"
#include "ui/page_widgets.h"

namespace tarnlight::ui {
namespace {

constexpr int kValueLeft = 136;

struct Line {
    const char* captionName;
    const char* caption;
    int captionLeft;
    InfoLabel value;
    int top;
};

// Each value under its caption; the SNP times share the caption "SNP Times:"
// and each has its own "Tn =" before it.
const Line kLines[] = {
    {"StaticText_Type", "Type:", 24, InfoLabel::LabelPLC_Type, 48},
    {"StaticText_Model", "Model:", 24, InfoLabel::LabelPLC_Model, 72},
    {"StaticText_CPU_ID", "CPU ID:", 24, InfoLabel::LabelCPU_ID, 96},
    {"StaticText_T1", "T1 =", 104, InfoLabel::Label_T1, 136},
    {"StaticText_T2", "T2 =", 104, InfoLabel::Label_T2, 160},
    {"StaticText_T3b", "T3' =", 104, InfoLabel::Label_T3b, 184},
    {"StaticText_priv", "Priviledge level:", 24, InfoLabel::Label_priv, 224},
};

}  // namespace

TFrame11::TFrame11(QWidget* parent) : QWidget(parent) {
    InitPage(this);
    AddTitle(this, "StaticText_Info", "PLC informations", SansPixels(16));
    AddLabel(this, "StaticText_Times", "SNP Times:", 24, 136);
    for (const Line& line : kLines) {
        AddLabel(this, line.captionName, line.caption, line.captionLeft, line.top);
        QLabel* value = AddLabel(this, InfoLabelName(line.value), "...", kValueLeft, line.top,
                                 MsSansSerif(8, true));
        value->resize(kPageWidth - kValueLeft - 8, value->height());  // room for long model names
        values_[static_cast<size_t>(line.value)] = value;
    }
}

void TFrame11::SetInfoLabel(InfoLabel which, const QString& text) {
    label(which)->setText(text);
}

QLabel* TFrame11::label(InfoLabel which) const {
    return values_[static_cast<size_t>(which)];
}

}  // namespace tarnlight::ui
