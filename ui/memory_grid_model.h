#pragma once
// What the two memory grid models share: the area and range laid out at
// Connect, a label column on the sky-blue background of the fixed cells,
// texts left-aligned, nothing selectable or editable. Each model keeps its
// values and says which text a cell holds.
#include <QAbstractTableModel>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tarnlight::ui {

class MemoryGridModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    // A grid in its design state: rows body rows, no area laid out.
    MemoryGridModel(int columns, int rows, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  protected:
    // Text of a body cell; column 0 is the row label.
    virtual QString CellText(int row, int column) const = 0;
    static QString Text(const std::string& text) { return QString::fromStdString(text); }

    // Inside a model reset: the area type and range now laid out in rows body rows.
    void LayOut(int type, uint16_t from, uint16_t to, int rows);
    // The addresses of from..to that have one of count values and lie in the
    // laid-out range; false when there are none.
    bool ShownRange(uint16_t from, uint16_t to, size_t count, int* first, int* last) const;

    int type_ = -1;  // -1 until the first set-up: the grid's design state
    int from_ = 0;
    int to_ = -1;

  private:
    int columns_;
    int rows_;
};

}  // namespace tarnlight::ui
