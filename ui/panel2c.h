#pragma once
// Page "Edit Memory": the operator picks a memory type, an address and a
// value, or a tag of the [Tags] section and its value, and Apply asks the
// worker to write it at its next chance. The worker reads what the page
// shows at that moment through ReadEditInputs.
#include <QWidget>
#include <mutex>
#include <vector>

#include "engine/window_port.h"
#include "types/tag.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
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
    // With a tag chosen, tagName is its name and
    // tagValue the number in Edit_TagValue (BOOL: the False/True choice);
    // a box holding no finite number reads as NaN, which no tag can take, so
    // the write is refused rather than made with a value nobody typed.
    EditInputs ReadEditInputs();

    // At Connect: the tags of the link, offered in ComboBox_Tag in their
    // order. A tag chosen before stays chosen if the new list has its name.
    void SetTags(const std::vector<TagDefinition>& tags);

    TRadioGroup* RadioGroup_MemType;  // "%I" .. "%AQ", item = MemoryType
    TCSpinEdit* CSpinEdit_Adres;      // 1 .. 8192
    QComboBox* ComboBox_Tag;          // "(none)", then the tags' names
    QLabel* StaticText_TagInfo;       // the chosen tag's address and type
    TRadioGroup* RadioGroup1;         // "False", "True": bit areas and BOOL tags
    QGroupBox* GroupBox1;             // "New value" around CSpinEdit1: word areas
    TCSpinEdit* CSpinEdit1;           // -32768 .. 65535
    QLineEdit* Edit_TagValue;         // in GroupBox1 instead of CSpinEdit1: word tags
    QPushButton* Butt_UpdateMem;      // "Apply"

  signals:
    // Apply was clicked (the main window passes it to the engine, which
    // disables the button and raises pendingEdit).
    void applyClicked();

  private:
    // The chosen tag, nullptr for "(none)".
    const TagDefinition* ChosenTag() const;
    void ShowValueInput();
    void CopyInputs();

    std::vector<TagDefinition> tags_;  // user-interface thread only

    // The inputs as last edited, for ReadEditInputs on any thread.
    std::mutex inputsMutex_;
    EditInputs inputs_;
    bool addressIsNumber_ = true;
    bool wordIsNumber_ = true;
};

// The number in a tag's value box: '.' or ',' as the decimal separator, an
// exponent allowed; NaN when the text holds no finite number.
double TagValueOfText(const QString& text);

}  // namespace tarnlight::ui
