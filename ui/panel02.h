#pragma once
// Configuration page "PLC settings": the CPU ID and password to attach with,
// and for each memory area whether it is read and its address range.
#include <QWidget>
#include <array>

class QCheckBox;
class QLineEdit;

namespace tarnlight::ui {

class TCSpinEdit;

class TFrame02 : public QWidget {
    Q_OBJECT
  public:
    explicit TFrame02(QWidget* parent = nullptr);

    QLineEdit* Edit_CPU_ID;
    QLineEdit* MaskEdit_CPU_Pass;
    // By MemoryType %I %M %Q %AI %R %AQ: CheckBox1..6, CSpinEdit1a..6a, CSpinEdit1b..6b.
    std::array<QCheckBox*, 6> areaCheckBox{};
    std::array<TCSpinEdit*, 6> areaFrom{};
    std::array<TCSpinEdit*, 6> areaTo{};
};

}  // namespace tarnlight::ui
