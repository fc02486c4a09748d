#pragma once
// Page "Link statistics": the link's state, when it came up and last read
// the controller, the last message and the database connection's
// protection, every counter of the connection (with the cycle time's
// minimum and mean), and for each memory area its scan period and age (the
// time since its last complete read). While shown it reads the figures every 500 ms on the window's
// thread: the worker only counts, it sends the window nothing for this page.
// Reset zeroes the counters. The figures stay after a Disconnect until the
// next Connect zeroes them.
#include <QWidget>
#include <functional>
#include <map>
#include <string>

#include "types/link_stats.h"

class QLabel;
class QPushButton;
class QTimer;

namespace tarnlight::ui {

class TFrame12 : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kRefreshMs = 500;

    explicit TFrame12(QWidget* parent = nullptr);

    // Where the figures come from and what Reset does (the engine's).
    void SetSource(std::function<LinkStatsSnapshot()> read, std::function<void()> reset);
    // Shows the figures now.
    void Refresh();

    // A value label by what it shows: a counter's name ("no_ack"),
    // "cycle_ms_min", "cycle_ms_mean", "link_state", "online_since",
    // "last_read_at", "last_message", "tls", or "scan_ms_" or "age_" with
    // an area's name ("I", "M", "Q", "AI", "R", "AQ"). nullptr for another
    // name.
    QLabel* value(const std::string& name) const;
    QPushButton* Butt_Reset;
    QTimer* refreshTimer() const { return timer_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    QLabel* AddValue(const char* caption, const std::string& name, int left, int top, int valueLeft,
                     int width);
    void Butt_ResetClick();
    void AddAreaTable();
    void ShowAreas(const LinkStatsSnapshot& stats);

    std::function<LinkStatsSnapshot()> read_;
    std::function<void()> reset_;
    std::map<std::string, QLabel*> values_;
    QTimer* timer_;
};

}  // namespace tarnlight::ui
