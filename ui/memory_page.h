#pragma once
// What the memory pages share: the title, "..." until the first Connect names
// the area, in a 16-pixel font over the rule, and where the grid stands.
#include <QString>

class QLabel;
class QWidget;

namespace tarnlight::ui {

inline constexpr int kGridLeft = 1;
inline constexpr int kGridTop = 40;

QLabel* AddMemoryPageTitle(QWidget* page);
// "%I - Discrete Inputs" .. "%AQ - Analog Outputs" by MemoryType.
QString MemoryPageTitle(int type);

}  // namespace tarnlight::ui
