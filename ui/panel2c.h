#pragma once
// Page "Edit Memory": the operator picks a memory type, an address and a
// value, and Apply asks the worker to write it at its next chance. The
// worker reads what the page shows at that moment through ReadEditInputs.
#include <QWidget>
#include <mutex>

#include "engine/window_port.h"

class QGroupBox;
class QPushButton;

namespace tarnlight::ui {

class TCSpinEdit;
class TRadioGroup;

class TFrame2c : public QWidget {
    Q_OBJECT
  public:
    explicit TFrame2c(QWidget* parent = nullptr);
    ~TFrame2c() override;

    // Any thread. Never waits for the user-interface thread: the page keeps a
    // copy of its inputs, updated on that thread as the operator edits them.
    // A spin edit whose text is no number reads as its minimum, and the page
    // is then made to show the minimum (queued to the user-interface thread).
    EditInputs ReadEditInputs();

    TRadioGroup* RadioGroup_MemType;  // "%I" .. "%AQ", item = MemoryType
    TCSpinEdit* CSpinEdit_Adres;      // 1 .. 8192
    TRadioGroup* RadioGroup1;         // "False", "True": bit areas
    QGroupBox* GroupBox1;             // "New value" around CSpinEdit1: word areas
    TCSpinEdit* CSpinEdit1;           // -32768 .. 65535
    QPushButton* Butt_UpdateMem;      // "Apply"

  signals:
    // Apply was clicked (the main window passes it to the engine, which
    // disables the button and raises pendingEdit).
    void applyClicked();

  private:
    void ShowValueInput(int memType);
    void CopyInputs();

    // The inputs as last edited, for ReadEditInputs on any thread.
    std::mutex inputsMutex_;
    EditInputs inputs_;
    bool addressIsNumber_ = true;
    bool wordIsNumber_ = true;
};

}  // namespace tarnlight::ui
