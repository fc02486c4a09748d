#pragma once
// Memory page of the tags: one row per tag of the [Tags] section with its
// name, address, type, value, the time its value last changed and its raw
// bits.
// Without tags the page says so instead of showing an empty grid.
#include <QDateTime>
#include <QWidget>
#include <vector>

#include "engine/window_port.h"
#include "types/tag.h"

class QLabel;
class QTableView;

namespace tarnlight::ui {

class TagTableModel;

class TFrame2d : public QWidget {
    Q_OBJECT
  public:
    explicit TFrame2d(QWidget* parent = nullptr);

    // At Connect: the tags of the link, every value empty.
    void SetUp(const std::vector<TagDefinition>& tags);
    // The tags a pass changed; a tag's time of change is now, taken on the
    // user-interface thread when its new raw bits arrive.
    void ShowTagValues(const std::vector<TagUpdate>& updates,
                       const QDateTime& now = QDateTime::currentDateTime());

    // The grid as the operator sees it, row 0 being the header row;
    // RowCount includes the header row.
    int RowCount() const;
    QString Cell(int column, int row) const;

    QLabel* StaticText_Tags;
    QLabel* StaticText_NoTags;
    QTableView* StringGrid3;

  private:
    TagTableModel* model_;
};

}  // namespace tarnlight::ui
