#pragma once
// Configuration page "Connection settings": the SNP timers, Break-Free SNP,
// the pause Td and the lost-connection policy with its k.
#include <QWidget>

class QCheckBox;

namespace tarnlight::ui {

class TCSpinEdit;
class TRadioGroup;

class TFrame03 : public QWidget {
    Q_OBJECT
  public:
    explicit TFrame03(QWidget* parent = nullptr);

    TCSpinEdit* CSpinEdit_T1;  // typing disabled
    TCSpinEdit* CSpinEdit_T2;
    TCSpinEdit* CSpinEdit_T3b;
    TCSpinEdit* CSpinEdit_T4;
    QCheckBox* CheckBox_breakfree;
    TCSpinEdit* CSpinEdit_Td;
    TRadioGroup* RadioGroup_disconn;
    TCSpinEdit* CSpinEdit_k;
};

}  // namespace tarnlight::ui
