#pragma once
// Configuration page "Serial port settings": COM port, baud rate, parity,
// data bits (fixed at 8) and stop bits.
#include <QWidget>

class QComboBox;

namespace tarnlight::ui {

class TRadioGroup;

class TFrame01 : public QWidget {
    Q_OBJECT
  public:
    explicit TFrame01(QWidget* parent = nullptr);

    QComboBox* ComboBoxPort;      // "COM1" .. "COM32"
    QComboBox* ComboBoxBaudRate;  // "300" .. "115200"
    TRadioGroup* RadioGroupParity;
    TRadioGroup* RadioGroupDataBits;  // always disabled, "8"
    TRadioGroup* RadioGroupStopBits;
};

}  // namespace tarnlight::ui
