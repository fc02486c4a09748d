#include "ui/tag_table_model.h"

#include <QBrush>
#include <algorithm>

#include "ui/grid_style.h"

namespace tarnlight::ui {
namespace {

// The two-space indent of the other grids' cells; no value stays empty.
QString Cell(const std::string& text) {
    return text.empty() ? QString() : QStringLiteral("  ") + QString::fromStdString(text);
}

}  // namespace

QString TagChangedCellText(const QDateTime& at) {
    return QStringLiteral("  ") + at.toString(QStringLiteral("HH:mm:ss.zzz"));
}

TagTableModel::TagTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void TagTableModel::SetTags(const std::vector<TagDefinition>& tags) {
    beginResetModel();
    rows_.clear();
    rows_.reserve(tags.size());
    for (const TagDefinition& tag : tags) {
        Row row;
        row.tag = tag;
        row.cells[kName] = Cell(tag.name);
        row.cells[kAddress] = Cell(TagAddressText(tag));
        row.cells[kType] = Cell(TagTypeName(tag.type));
        rows_.push_back(std::move(row));
    }
    endResetModel();
}

bool TagTableModel::Apply(Row& row, const TagUpdate& update, const QDateTime& now,
                          const QString& nowText) {
    if (update.quality != row.quality) {
        row.quality = update.quality;
        row.cells[kQuality] = Cell(TagQualityName(update.quality));
        if (row.known && row.raw == update.raw) return true;
    }
    if (row.known && row.raw == update.raw) return false;
    row.known = true;
    row.raw = update.raw;
    row.changedAt = now;
    row.cells[kValue] = Cell(TagValueText(row.tag, update.value));
    row.cells[kRaw] = Cell(TagRawText(row.tag, update.raw));
    row.cells[kChanged] = nowText;
    return true;
}

void TagTableModel::ShowValues(const std::vector<TagUpdate>& updates, const QDateTime& now) {
    // Every tag of one call changed at the same moment: one text for all.
    const QString nowText = TagChangedCellText(now);
    std::vector<int> changed;
    changed.reserve(updates.size());
    for (const TagUpdate& update : updates) {
        if (update.index < 0 || update.index >= static_cast<int>(rows_.size())) continue;
        if (Apply(rows_[static_cast<size_t>(update.index)], update, now, nowText)) {
            changed.push_back(update.index);
        }
    }
    std::sort(changed.begin(), changed.end());
    size_t start = 0;
    for (size_t i = 1; i <= changed.size(); ++i) {
        if (i < changed.size() && changed[i] <= changed[i - 1] + 1) continue;
        EmitRowsChanged(changed[start], changed[i - 1]);
        start = i;
    }
}

void TagTableModel::EmitRowsChanged(int first, int last) {
    emit dataChanged(index(first, kValue), index(last, kRaw));
}

int TagTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TagTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant TagTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
    const Row& row = rows_[static_cast<size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
            return row.cells[static_cast<size_t>(index.column())];
        case Qt::ToolTipRole:
            // The cell holds the time of day only; the day is here.
            if (index.column() != kChanged || !row.known) return {};
            return row.changedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        case Qt::BackgroundRole:
            return index.column() == kName ? QVariant(QBrush(kFixedCellColor)) : QVariant();
        case Qt::TextAlignmentRole:
            return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
        default:
            return {};
    }
}

QVariant TagTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    static const char* const kHeaders[kColumnCount] = {
        "  Name", "  Address", "  Type", "  Value", "  Quality", "  Changed", "  Raw"};
    if (section < 0 || section >= kColumnCount) return {};
    return QString::fromLatin1(kHeaders[section]);
}

Qt::ItemFlags TagTableModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled : Qt::NoItemFlags;
}

}  // namespace tarnlight::ui
