#pragma once
// The look shared by the memory grids: a sky-blue fixed header row and label
// column, white value cells, an 11-pixel font, rows 20 pixels high and only a
// vertical scroll bar.
#include <QColor>
#include <QString>

class QTableView;

namespace tarnlight::ui {

inline const QColor kFixedCellColor{0xA6, 0xCA, 0xF0};  // sky blue

// Applies the look; columns keep the widths set afterwards.
void StyleGrid(QTableView* grid, int defaultColumnWidth);

// The grid as the operator sees it: row 0 is the header row, column 0 the
// row labels. RowCount includes the header row; GridCell of a cell outside
// the grid is empty.
int GridRowCount(const QTableView* grid);
QString GridCell(const QTableView* grid, int column, int row);

}  // namespace tarnlight::ui
