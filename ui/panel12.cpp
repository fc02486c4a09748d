#include "ui/panel12.h"

#include <QDateTime>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "ui/fonts.h"
#include "ui/page_widgets.h"

namespace tarnlight::ui {
namespace {

constexpr int kRowStep = 16;
constexpr int kStateTop = 36;     // state and times, across the page
constexpr int kCountersTop = 94;  // two columns of counters
constexpr int kMessageTop = 246;  // last message and protection, across
constexpr int kLeftCaption = 10, kLeftValue = 104;
constexpr int kRightCaption = 162, kRightValue = 286;

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
    {"attach_attempts", "Attach attempts:", false, 6},
    {"links_lost", "Links lost:", false, 7},
    {"requests", "Requests:", true, 0},
    {"no_ack", "No acknowledgement:", true, 1},
    {"reply_timeouts", "Reply time-outs:", true, 2},
    {"bad_bcc", "Bad check codes:", true, 3},
    {"wrong_sequence", "Wrong sequence:", true, 4},
    {"refused", "Refused:", true, 5},
    {"db_written", "DB written:", true, 6},
    {"db_rejected", "DB rejected:", true, 7},
    {"db_refused", "DB refused:", true, 8},
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
    AddHorizontalRule(this, 10, kCountersTop - 8, kPageWidth - 20);
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
    AddHorizontalRule(this, 10, kMessageTop - 8, kPageWidth - 20);
    AddValue("Last message:", "last_message", kLeftCaption, kMessageTop, kLeftValue, across);
    AddValue("Database TLS:", "tls", kLeftCaption, kMessageTop + kRowStep, kLeftValue, across);

    Butt_Reset = new QPushButton(QStringLiteral("Reset"), this);
    Place(Butt_Reset, "Butt_Reset", kPageWidth - 83, kPageHeight - 29, 75, 25);
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
        [&](const char* name, uint64_t count) { value(name)->setText(QString::number(count)); },
        stats.counters);
    const CounterValues& c = stats.counters;
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
