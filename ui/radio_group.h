#pragma once
// A framed caption over a fixed list of radio buttons in one or more columns;
// its value is the selected item's index, -1 when none is selected.
#include <QGroupBox>
#include <QStringList>
#include <vector>

class QButtonGroup;
class QRadioButton;

namespace tarnlight::ui {

class TRadioGroup : public QGroupBox {
    Q_OBJECT
  public:
    TRadioGroup(const QString& caption, const QStringList& items, int columns,
                QWidget* parent = nullptr);

    int itemIndex() const;
    // As the settings file may ask: an index above the last item selects the
    // last item, an index below 0 selects none.
    void setItemIndex(int index);
    int count() const;
    QRadioButton* button(int index) const;

  signals:
    // The operator clicked an item (not emitted by setItemIndex).
    void itemClicked(int index);
    // The selected item changed, by the operator or by setItemIndex (-1: none).
    void itemIndexChanged(int index);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void LayOutButtons();

    QButtonGroup* group_;
    int columns_;
    std::vector<QRadioButton*> buttons_;
};

}  // namespace tarnlight::ui
