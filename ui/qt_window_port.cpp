#include "ui/qt_window_port.h"

#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <vector>

#include "ui/panel11.h"
#include "ui/panel2a.h"
#include "ui/panel2b.h"
#include "ui/panel2c.h"
#include "ui/panel2d.h"
#include "ui/radio_group.h"
#include "ui/status_bar.h"
#include "ui/unit1.h"

namespace tarnlight::ui {
namespace {

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QWidget* ControlWidget(TForm1& form, Control control) {
    switch (control) {
        case Control::SB_Online:
            return form.SB_Online;
        case Control::SB_Offline:
            return form.SB_Offline;
        case Control::SB_Transmit_Start:
            return form.SB_Transmit_Start;
        case Control::SB_Transmit_Stop:
            return form.SB_Transmit_Stop;
        case Control::Butt_PlcRun:
            return form.Butt_PlcRun;
        case Control::Butt_PlcStop:
            return form.Butt_PlcStop;
        case Control::RadioGroup_IOstatus:
            return form.RadioGroup_IOstatus;
        case Control::MenuSB2:
            return form.MenuSB2;
        case Control::MenuSB3:
            return form.MenuSB3;
        case Control::Butt_UpdateMem:
            return form.Frame2c1->Butt_UpdateMem;
    }
    return nullptr;
}

}  // namespace

QtWindowPort::QtWindowPort(TForm1& form) : form_(form), flushTimer_(new QTimer(this)) {
    flushTimer_->setSingleShot(true);
    connect(flushTimer_, &QTimer::timeout, this, &QtWindowPort::Flush);
    sinceFlush_.start();
}

QtWindowPort::~QtWindowPort() = default;

bool QtWindowPort::OnUiThread() const {
    return QThread::currentThread() == thread();
}

void QtWindowPort::Post(int target, std::function<void()> apply) {
    Queue(&pending_[static_cast<size_t>(target)], std::move(apply));
}

void QtWindowPort::Queue(Pending* slot, std::function<void()> apply) {
    const bool onUiThread = OnUiThread();
    bool wakeUp = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        Pending change{++nextOrder_, std::move(apply)};
        if (slot != nullptr) {
            *slot = std::move(change);  // a superseded value is dropped here
        } else {
            unsuperseded_.push_back(std::move(change));
        }
        ++stats_.calls;
        if (!onUiThread && !wakeUpPosted_) {
            wakeUpPosted_ = true;
            wakeUp = true;
            ++stats_.wakeUps;
        }
    }
    if (onUiThread) {
        Flush();
    } else if (wakeUp) {
        QMetaObject::invokeMethod(this, &QtWindowPort::OnWakeUp, Qt::QueuedConnection);
    }
}

void QtWindowPort::OnWakeUp() {
    // Rounds of changes at most every kMinFlushInterval: the rest of the time
    // belongs to the operator's input, painting and timers.
    const auto elapsed = std::chrono::milliseconds(sinceFlush_.elapsed());
    if (elapsed >= kMinFlushInterval) {
        Flush();
    } else if (!flushTimer_->isActive()) {
        flushTimer_->start(kMinFlushInterval - elapsed);
    }
}

void QtWindowPort::Flush() {
    std::vector<Pending> due;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (Pending& slot : pending_) {
            if (slot.order == 0) continue;
            due.push_back(std::move(slot));
            slot = Pending{};
        }
        for (Pending& change : unsuperseded_) due.push_back(std::move(change));
        unsuperseded_.clear();
        wakeUpPosted_ = false;
        if (!due.empty()) ++stats_.flushes;
        stats_.applied += due.size();
    }
    // The newest value of each target, in the order those values were sent.
    std::sort(due.begin(), due.end(),
              [](const Pending& a, const Pending& b) { return a.order < b.order; });
    for (Pending& change : due) change.apply();
    sinceFlush_.restart();
}

QtWindowPort::Stats QtWindowPort::stats() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stats_;
}

int QtWindowPort::pendingCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(std::count_if(pending_.begin(), pending_.end(),
                                          [](const Pending& slot) { return slot.order != 0; }));
}

void QtWindowPort::ShowMessageBox(const std::string& text, const std::string& caption) {
    // In its place among the changes: after those sent before it (the
    // progress dialog goes first), before those sent after it. The box never
    // waits for the operator, so the worker goes on at once.
    Queue(nullptr, [this, boxText = FromUtf8(text), boxCaption = FromUtf8(caption)] {
        form_.ShowMessageBox(boxText, boxCaption);
    });
}

void QtWindowPort::SetPanelText(int index, const std::string& text) {
    if (index < 0 || index >= TStatusBar::kPanelCount) return;
    Post(kPanelTarget + index,
         [this, index, value = FromUtf8(text)] { form_.StatusBar1->SetPanelText(index, value); });
}

void QtWindowPort::SetEnabled(Control control, bool enabled) {
    Post(kEnabledTarget + static_cast<int>(control), [this, control, enabled] {
        if (QWidget* widget = ControlWidget(form_, control)) widget->setEnabled(enabled);
    });
}

void QtWindowPort::SetIoStatusSelection(int item) {
    Post(kIoSelectionTarget, [this, item] { form_.RadioGroup_IOstatus->setItemIndex(item); });
}

void QtWindowPort::SetInfoLabel(InfoLabel label, const std::string& text) {
    Post(kInfoLabelTarget + static_cast<int>(label),
         [this, label, value = FromUtf8(text)] { form_.Frame11->SetInfoLabel(label, value); });
}

void QtWindowPort::SetIconIndex(int index) {
    Post(kIconTarget, [this, index] { form_.SetIconIndex(index); });
}

void QtWindowPort::LayOutMemoryMenu(const std::array<bool, kAreaCount>& areaEnabled) {
    Post(kMemoryMenuTarget, [this, areaEnabled] { form_.LayOutMemoryMenu(areaEnabled); });
}

void QtWindowPort::SetUpMemoryGrids(const LinkConfig& config) {
    {
        // Values still waiting belong to the previous link's tag list.
        std::lock_guard<std::mutex> lock(mutex_);
        pendingTags_.clear();
    }
    Post(kGridSetUpTarget, [this, from = config.areaFrom, to = config.areaTo, tags = config.tags] {
        for (int i = 0; i < 3; ++i) {
            form_.Frame2a[i]->SetUp(from[i], to[i]);
            form_.Frame2b[i]->SetUp(from[3 + i], to[3 + i]);
        }
        form_.Frame2d1->SetUp(tags);
        form_.Frame2c1->SetTags(tags);
        form_.SetTagsShown(!tags.empty());
    });
}

void QtWindowPort::ShowBitArea(int type, uint16_t from, uint16_t to, std::vector<uint8_t> bits) {
    if (type < 0 || type >= 3) return;
    PostArea(type, [this, type, from, to, values = std::move(bits)] {
        form_.Frame2a[type]->ShowBits(from, to, values);
    });
}

void QtWindowPort::ShowWordArea(int type, uint16_t from, uint16_t to, std::vector<uint16_t> words) {
    if (type < 3 || type >= kAreaCount) return;
    PostArea(type, [this, type, from, to, values = std::move(words)] {
        form_.Frame2b[type - 3]->ShowWords(from, to, values);
    });
}

void QtWindowPort::ShowTagValues(std::vector<TagUpdate> updates) {
    if (updates.empty()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (TagUpdate& update : updates) pendingTags_[update.index] = std::move(update);
    }
    // Every call posts the same change: whichever runs takes all that has
    // gathered by then.
    Post(kTagTarget, [this] {
        std::vector<TagUpdate> due;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            due.reserve(pendingTags_.size());
            for (auto& [index, update] : pendingTags_) due.push_back(std::move(update));
            pendingTags_.clear();
        }
        form_.Frame2d1->ShowTagValues(due);
    });
}

void QtWindowPort::PostArea(int type, std::function<void()> show) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++stats_.areaCalls;
    }
    Post(kAreaTarget + type, [this, show = std::move(show)] {
        QElapsedTimer timer;
        timer.start();
        show();
        const auto spent = static_cast<uint64_t>(timer.nsecsElapsed());
        std::lock_guard<std::mutex> lock(mutex_);
        ++stats_.areaUpdates;
        stats_.areaNanoseconds += spent;
    });
}

void QtWindowPort::ShowBuildProgress(int percent) {
    Post(kProgressTarget, [this, percent] { form_.ShowBuildProgress(percent); });
}

void QtWindowPort::ConnectEnded(bool) {
    Post(kConnectEndTarget, [this] { form_.ConnectEnded(); });
}

EditInputs QtWindowPort::ReadEditInputs() {
    return form_.Frame2c1->ReadEditInputs();
}

}  // namespace tarnlight::ui
