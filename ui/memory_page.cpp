#include "ui/memory_page.h"

#include <QLabel>
#include <QTableView>

#include "ui/fonts.h"
#include "ui/grid_style.h"
#include "ui/page_widgets.h"

namespace tarnlight::ui {

QLabel* AddMemoryPageTitle(QWidget* page) {
    QLabel* title = AddTitle(page, "StaticText_Mem_I", "...", SansPixels(16));
    title->resize(kPageWidth - 20, title->height());  // room for the longest title
    return title;
}

QTableView* AddMemoryGrid(QWidget* page, QAbstractItemModel* model, const char* name, int width,
                          int defaultColumnWidth) {
    auto* grid = new QTableView(page);
    grid->setModel(model);
    StyleGrid(grid, defaultColumnWidth);
    Place(grid, name, 1, 40, width, 256);
    return grid;
}

QString MemoryPageTitle(int type) {
    static const char* const kTitles[] = {"%I - Discrete Inputs",  "%M - Discrete Internals",
                                          "%Q - Discrete Outputs", "%AI - Analog Inputs",
                                          "%R - Registers",        "%AQ - Analog Outputs"};
    return type >= 0 && type < 6 ? QString::fromLatin1(kTitles[type]) : QString("...");
}

}  // namespace tarnlight::ui
