#include "ui/memory_page.h"

#include <QLabel>

#include "ui/fonts.h"
#include "ui/page_widgets.h"

namespace tarnlight::ui {

QLabel* AddMemoryPageTitle(QWidget* page) {
    QLabel* title = AddTitle(page, "StaticText_Mem_I", "...", SansPixels(16));
    title->resize(kPageWidth - 20, title->height());  // room for the longest title
    return title;
}

QString MemoryPageTitle(int type) {
    static const char* const kTitles[] = {"%I - Discrete Inputs",  "%M - Discrete Internals",
                                          "%Q - Discrete Outputs", "%AI - Analog Inputs",
                                          "%R - Registers",        "%AQ - Analog Outputs"};
    return type >= 0 && type < 6 ? QString::fromLatin1(kTitles[type]) : QString("...");
}

}  // namespace tarnlight::ui
