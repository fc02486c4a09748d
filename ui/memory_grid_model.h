#pragma once
// What the two memory grid models share: a label column on the sky-blue
// background of the fixed cells, texts left-aligned, nothing selectable or
// editable. Each model says only which text a cell holds.
#include <QAbstractTableModel>
#include <string>

namespace tarnlight::ui {

class MemoryGridModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    using QAbstractTableModel::QAbstractTableModel;

    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  protected:
    // Text of a body cell; column 0 is the row label.
    virtual QString CellText(int row, int column) const = 0;
    static QString Text(const std::string& text) { return QString::fromStdString(text); }
};

}  // namespace tarnlight::ui
