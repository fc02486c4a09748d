#include "ui/radio_group.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QResizeEvent>
#include <QStyle>
#include <QStyleOptionGroupBox>
#include <algorithm>

namespace tarnlight::ui {

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, int columns,
                         QWidget* parent)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this)), columns_(std::max(1, columns)) {
    for (int index = 0; index < items.size(); ++index) {
        auto* button = new QRadioButton(items[index], this);
        group_->addButton(button, index);
        buttons_.push_back(button);
    }
    connect(group_, &QButtonGroup::idClicked, this, &TRadioGroup::itemClicked);
    connect(group_, &QButtonGroup::idToggled, this, [this](int index, bool checked) {
        if (checked) emit itemIndexChanged(index);
    });
}

int TRadioGroup::itemIndex() const {
    return group_->checkedId();
}

void TRadioGroup::setItemIndex(int index) {
    if (index >= count()) index = count() - 1;
    if (index >= 0) {
        buttons_[index]->setChecked(true);
        return;
    }
    if (itemIndex() < 0) return;
    // An exclusive group never lets its last checked button go.
    group_->setExclusive(false);
    for (QRadioButton* button : buttons_) button->setChecked(false);
    group_->setExclusive(true);
    emit itemIndexChanged(-1);
}

int TRadioGroup::count() const {
    return static_cast<int>(buttons_.size());
}

QRadioButton* TRadioGroup::button(int index) const {
    return index >= 0 && index < count() ? buttons_[index] : nullptr;
}

void TRadioGroup::resizeEvent(QResizeEvent* event) {
    QGroupBox::resizeEvent(event);
    LayOutButtons();
}

void TRadioGroup::LayOutButtons() {
    // The items fill the frame below the caption column by column, each
    // column holding the same number of rows, spread evenly over the height.
    if (buttons_.empty()) return;
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    const QRect inside =
        style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxContents, this);
    const int rows = (count() + columns_ - 1) / columns_;
    const int rowHeight = std::max(1, inside.height() / rows);
    const int columnWidth = std::max(1, (inside.width() - 4) / columns_);
    for (int index = 0; index < count(); ++index) {
        QRadioButton* button = buttons_[index];
        const QSize hint = button->sizeHint();
        const int buttonHeight = std::min(rowHeight, hint.height());
        const int column = index / rows;
        const int row = index % rows;
        button->setGeometry(inside.left() + 4 + column * columnWidth,
                            inside.top() + row * rowHeight + (rowHeight - buttonHeight) / 2,
                            std::min(columnWidth - 2, hint.width()), buttonHeight);
    }
}

}  // namespace tarnlight::ui
