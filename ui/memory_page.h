#pragma once
// What the memory pages share: the title, "..." until the first Connect names
// the area, in a 16-pixel font over the rule, and the grid under it.
#include <QString>

class QAbstractItemModel;
class QLabel;
class QTableView;
class QWidget;

namespace tarnlight::ui {

QLabel* AddMemoryPageTitle(QWidget* page);
// The page's grid under the title, showing model, in the grids' look.
QTableView* AddMemoryGrid(QWidget* page, QAbstractItemModel* model, const char* name, int width,
                          int defaultColumnWidth);
// "%I - Discrete Inputs" .. "%AQ - Analog Outputs" by MemoryType.
QString MemoryPageTitle(int type);

}  // namespace tarnlight::ui
