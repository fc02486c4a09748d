#pragma once
// Page "PLC informations": the controller's family, model and CPU ID, the
// SNP timers in force and the privilege level granted. Value labels show
// "..." until first written.
#include <QWidget>
#include <array>

#include "engine/window_port.h"

class QLabel;

namespace tarnlight::ui {

class TFrame11 : public QWidget {
    Q_OBJECT
  public:
    explicit TFrame11(QWidget* parent = nullptr);

    void SetInfoLabel(InfoLabel label, const QString& text);
    QLabel* label(InfoLabel which) const;  // LabelCPU_ID ... Label_priv

  private:
    std::array<QLabel*, 7> values_{};  // by InfoLabel
};

}  // namespace tarnlight::ui
