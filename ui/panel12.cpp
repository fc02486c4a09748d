#include "ui/panel12.h"

#include <QDateTime>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <utility>

#include "ui/fonts.h"
#include "ui/page_widgets.h"

namespace tarnlight::ui {
namespace {

constexpr int kRowStep = 14;
constexpr int kStateTop = 36;  // state, times, last message, protection, history, across the page
constexpr int kCountersTop = 126;  // two columns of counters
constexpr int kAreasTop = 246;     // a column per memory area
constexpr int kLeftCaption = 10, kLeftValue = 104;
constexpr int kRightCaption = 162, kRightValue = 286;
constexpr int kAreaLeft = 84, kAreaColumn = 42;

// By MemoryType; the labels are "Label_age_" and "Label_scan_ms_" + name.
constexpr const char* kAreaSymbols[] = {"%I", "%M", "%Q", "%AI", "%R", "%AQ"};
constexpr const char* kAreaNames[] = {"I", "M", "Q", "AI", "R", "AQ"};

struct CounterLine {
    const char* name;  // as in link_stats.h; the label is "Label_" + name
    const char* caption;
    bool right;  // column
    int row;
};

// The connection's side on the left, the line's faults and the database
// requests on the right.
const CounterLine kCounters[] = {
    {"cycles", "Cycles:", false, 0},
    {"cycle_ms_last", "Last cycle, ms:", false, 1},
    {"cycle_ms_min", "Shortest, ms:", false, 2},
    {"cycle_ms_mean", "Mean, ms:", false, 3},
    {"cycle_ms_max", "Longest, ms:", false, 4},
    {"requests", "Requests:", false, 5},
    {"attach_attempts", "Attach attempts:", false, 6},
    {"links_lost", "Links lost:", false, 7},
    {"no_ack", "No acknowledgement:", true, 0},
    {"reply_timeouts", "Reply time-outs:", true, 1},
    {"bad_bcc", "Bad check codes:", true, 2},
    {"wrong_sequence", "Wrong sequence:", true, 3},
    {"refused", "Refused:", true, 4},
    {"db_written", "DB written:", true, 5},
    {"db_rejected", "DB rejected:", true, 6},
    {"db_refused", "DB refused:", true, 7},
};

QString TimeText(int64_t ms) {
    if (ms == 0) return QStringLiteral("-");
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

}  // namespace

TFrame12::TFrame12(QWidget* parent) : QWidget(parent), timer_(new QTimer(this)) {
    InitPage(this);
    AddTitle(this, "StaticText_Statistics", "Link statistics", SansPixels(16));
    const int across = kPageWidth - kLeftValue - 8;
    AddValue("Link state:", "link_state", kLeftCaption, kStateTop, kLeftValue, across);
    AddValue("Online since:", "online_since", kLeftCaption, kStateTop + kRowStep, kLeftValue,
             across);
    AddValue("Last read:", "last_read_at", kLeftCaption, kStateTop + 2 * kRowStep, kLeftValue,
             across);
    AddValue("Last message:", "last_message", kLeftCaption, kStateTop + 3 * kRowStep, kLeftValue,
             across);
    AddValue("Database TLS:", "tls", kLeftCaption, kStateTop + 4 * kRowStep, kLeftValue, across);
    // The history's journal counters, on one line: they tell one story.
    AddValue("History journal:", "history", kLeftCaption, kStateTop + 5 * kRowStep, kLeftValue,
             across);
    AddHorizontalRule(this, 10, kCountersTop - 6, kPageWidth - 20);
    for (const CounterLine& line : kCounters) {
        const int top = kCountersTop + line.row * kRowStep;
        if (line.right) {
            AddValue(line.caption, line.name, kRightCaption, top, kRightValue,
                     kPageWidth - kRightValue - 4);
        } else {
            AddValue(line.caption, line.name, kLeftCaption, top, kLeftValue,
                     kRightCaption - kLeftValue - 8);
        }
    }
    AddHorizontalRule(this, 10, kAreasTop - 6, kPageWidth - 20);
    AddAreaTable();

    // Beside the title: the rows below fill the page.
    Butt_Reset = new QPushButton(QStringLiteral("Reset"), this);
    Place(Butt_Reset, "Butt_Reset", kPageWidth - 83, 4, 75, 25);
    Butt_Reset->setAutoDefault(false);
    connect(Butt_Reset, &QPushButton::clicked, this, &TFrame12::Butt_ResetClick);

    timer_->setInterval(kRefreshMs);
    connect(timer_, &QTimer::timeout, this, &TFrame12::Refresh);
}

QLabel* TFrame12::AddValue(const char* caption, const std::string& name, int left, int top,
                           int valueLeft, int width) {
    const std::string captionName = "StaticText_" + name;
    const std::string valueName = "Label_" + name;
    AddLabel(this, captionName.c_str(), QString::fromLatin1(caption), left, top);
    QLabel* value = AddLabel(this, valueName.c_str(), QStringLiteral("-"), valueLeft, top,
                             MsSansSerif(8, true));
    value->resize(width, value->height());
    values_[name] = value;
    return value;
}

void TFrame12::AddAreaTable() {
    AddLabel(this, "StaticText_area", QStringLiteral("Area:"), kLeftCaption, kAreasTop);
    AddLabel(this, "StaticText_scan_ms", QStringLiteral("Period, ms:"), kLeftCaption,
             kAreasTop + kRowStep);
    AddLabel(this, "StaticText_age", QStringLiteral("Age, s:"), kLeftCaption,
             kAreasTop + 2 * kRowStep);
    for (int type = 0; type < kAreaCount; ++type) {
        const int left = kAreaLeft + type * kAreaColumn;
        const std::string name = kAreaNames[type];
        AddLabel(this, ("StaticText_area_" + name).c_str(), QString::fromLatin1(kAreaSymbols[type]),
                 left, kAreasTop);
        for (const auto& [prefix, row] : {std::pair{"scan_ms_", 1}, std::pair{"age_", 2}}) {
            const std::string valueName = prefix + name;
            QLabel* value = AddLabel(this, ("Label_" + valueName).c_str(), QStringLiteral("-"),
                                     left, kAreasTop + row * kRowStep, MsSansSerif(8, true));
            value->resize(kAreaColumn - 2, value->height());
            values_[valueName] = value;
        }
    }
}

void TFrame12::ShowAreas(const LinkStatsSnapshot& stats) {
    const int64_t now = NowMs();
    for (int type = 0; type < kAreaCount; ++type) {
        const AreaReadFigures& area = stats.areas[type];
        const std::string name = kAreaNames[type];
        value("scan_ms_" + name)
            ->setText(area.enabled ? QString::number(area.scanMs) : QStringLiteral("-"));
        // Seconds since the area's last complete read ended, as the
        // area_stats row tells it.
        const bool read = area.enabled && area.lastReadMs != 0;
        value("age_" + name)
            ->setText(read ? QString::number(
                                 static_cast<double>(std::max<int64_t>(now - area.lastReadMs, 0)) /
                                     1000.0,
                                 'f', 1)
                           : QStringLiteral("-"));
    }
}

void TFrame12::SetSource(std::function<LinkStatsSnapshot()> read, std::function<void()> reset) {
    read_ = std::move(read);
    reset_ = std::move(reset);
}

void TFrame12::Refresh() {
    if (!read_) return;
    const LinkStatsSnapshot stats = read_();
    value("link_state")->setText(QString::fromLatin1(LinkStateName(stats.state)));
    value("online_since")->setText(TimeText(stats.onlineSinceMs));
    value("last_read_at")->setText(TimeText(stats.lastReadMs));
    ForEachCounter(
        [&](const char* name, uint64_t count) {
            if (QLabel* label = value(name)) label->setText(QString::number(count));
        },
        stats.counters);
    const CounterValues& c = stats.counters;
    // The size and what waits fit the line; rows set aside or dropped are
    // named only when there are any, and the tooltip has all five.
    QString history = QStringLiteral("%1 rows, %2 KiB, %3 to send")
                          .arg(c.journal_rows)
                          .arg((c.journal_bytes + 1023) / 1024)
                          .arg(c.history_waiting);
    const QString faults =
        QStringLiteral("%1 set aside, %2 dropped").arg(c.history_set_aside).arg(c.history_dropped);
    if (c.history_set_aside != 0 || c.history_dropped != 0)
        history += QStringLiteral(", ") + faults;
    value("history")->setText(history);
    value("history")->setToolTip(history + (history.endsWith(faults) ? QString() : ", " + faults));
    // Minimum and mean mean nothing before the first cycle.
    value("cycle_ms_min")
        ->setText(c.cycles == 0 ? QStringLiteral("-") : QString::number(c.cycle_ms_min));
    value("cycle_ms_mean")
        ->setText(c.cycles == 0 ? QStringLiteral("-")
                                : QString::number(static_cast<double>(c.cycle_ms_total) /
                                                      static_cast<double>(c.cycles),
                                                  'f', 1));
    value("last_message")->setText(QString::fromStdString(stats.lastMessage));
    value("tls")->setText(stats.databaseTls.empty() ? QStringLiteral("-")
                                                    : QString::fromStdString(stats.databaseTls));
    ShowAreas(stats);
}

QLabel* TFrame12::value(const std::string& name) const {
    const auto found = values_.find(name);
    return found != values_.end() ? found->second : nullptr;
}

void TFrame12::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Refresh();
    timer_->start();
}

void TFrame12::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    timer_->stop();  // nobody looks: nothing to read
}

void TFrame12::Butt_ResetClick() {
    if (reset_) reset_();
    Refresh();
}

}  // namespace tarnlight::ui
