#pragma once
// The cells of the Tags page: one row per tag of the [Tags] section, in its
// order, with the name (on the sky-blue background of the row labels), the
// address, the type, the value as the engineer reads it with how far it can
// be trusted (good, stale), the local time the raw bits last changed and the
// raw bits in hexadecimal. The texts are
// made when a value arrives, so painting only looks them up; a pass that
// changes a few tags changes only their rows.
#include <QAbstractTableModel>
#include <QDateTime>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

#include "engine/window_port.h"
#include "types/tag.h"

namespace tarnlight::ui {

class TagTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    // The quality and the time of change beside the value, the raw bits (a
    // diagnosis) last.
    enum Column : int { kName, kAddress, kType, kValue, kQuality, kChanged, kRaw, kColumnCount };

    explicit TagTableModel(QObject* parent = nullptr);

    // At Connect: one row per tag, the value cells empty.
    void SetTags(const std::vector<TagDefinition>& tags);
    // The tags of updates whose raw bits differ from those shown take the
    // new value and now as their time of change; those whose quality alone
    // changed take the quality; the rest stay as they are.
    // One dataChanged per run of neighbouring changed rows. Updates naming no
    // row are left out.
    void ShowValues(const std::vector<TagUpdate>& updates, const QDateTime& now);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  private:
    struct Row {
        TagDefinition tag;
        std::array<QString, kColumnCount> cells;
        bool known = false;  // a value has arrived since SetTags
        uint32_t raw = 0;
        TagQuality quality = TagQuality::None;
        QDateTime changedAt;
    };
    // Stores the update in its row; false when its raw bits are those shown.
    bool Apply(Row& row, const TagUpdate& update, const QDateTime& now, const QString& nowText);
    void EmitRowsChanged(int first, int last);

    std::vector<Row> rows_;
};

// "HH:mm:ss.zzz", the cell's text of a time of change; the whole date and
// time ("yyyy-MM-dd HH:mm:ss.zzz", as on the Statistics page) is its tooltip.
QString TagChangedCellText(const QDateTime& at);

}  // namespace tarnlight::ui
