#pragma once
// The main window as the engine sees it. The worker's calls are carried out
// on the user-interface thread in the order they were made, but the port
// keeps only the newest pending value of each target (each panel, each
// control's enabled state, each info label, each memory area, ...): a window
// that falls behind a fast worker never builds a queue, skips the values it
// had no time to show and still ends on the latest state.
//
// Calls made on the user-interface thread itself (Connect, the other
// commands) take effect at once, after everything the worker sent before
// them.
#include <QElapsedTimer>
#include <QObject>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "engine/window_port.h"

class QTimer;

namespace tarnlight::ui {

class TForm1;

class QtWindowPort : public QObject, public WindowPort {
    Q_OBJECT
  public:
    explicit QtWindowPort(TForm1& form);
    ~QtWindowPort() override;

    // --- WindowPort ---
    // A modal box, shown in order with the other changes; it is never
    // superseded and never waits for the operator.
    void ShowMessageBox(const std::string& text, const std::string& caption) override;
    void SetPanelText(int index, const std::string& text) override;
    void SetEnabled(Control control, bool enabled) override;
    void SetIoStatusSelection(int item) override;
    void SetInfoLabel(InfoLabel label, const std::string& text) override;
    void SetIconIndex(int index) override;
    void LayOutMemoryMenu(const std::array<bool, kAreaCount>& areaEnabled) override;
    void SetUpMemoryGrids(const LinkConfig& config) override;
    void ShowBitArea(int type, uint16_t from, uint16_t to, std::vector<uint8_t> bits) override;
    void ShowWordArea(int type, uint16_t from, uint16_t to, std::vector<uint16_t> words) override;
    // Unlike the areas, each call carries only the tags that changed, so
    // calls the window had no time to show are merged (per tag the newest
    // raw bits win) rather than superseded.
    void ShowTagValues(std::vector<TagUpdate> updates) override;
    void ShowBuildProgress(int percent) override;
    void ConnectEnded(bool linkStarted) override;
    EditInputs ReadEditInputs() override;

    // Shortest time between two rounds of changes on the user-interface
    // thread: a worker at full speed gets at most this many frames a second.
    static constexpr std::chrono::milliseconds kMinFlushInterval{20};

    // Counters for tests and the benchmark.
    struct Stats {
        uint64_t calls = 0;            // WindowPort calls that change the window
        uint64_t applied = 0;          // changes carried out (the rest were superseded)
        uint64_t flushes = 0;          // rounds of changes carried out
        uint64_t wakeUps = 0;          // events posted to the user-interface thread
        uint64_t areaCalls = 0;        // memory areas sent
        uint64_t areaUpdates = 0;      // memory areas shown
        uint64_t areaNanoseconds = 0;  // user-interface time spent showing them
    };
    Stats stats() const;
    // Changes waiting for the user-interface thread; never more than one per
    // target.
    int pendingCount() const;

    // Carries out every pending change now (user-interface thread only).
    void Flush();

  private:
    // One target whose newest value wins.
    enum Target : int {
        kPanelTarget = 0,                           // 9 panels
        kEnabledTarget = kPanelTarget + 9,          // 10 controls
        kIoSelectionTarget = kEnabledTarget + 10,   //
        kInfoLabelTarget = kIoSelectionTarget + 1,  // 7 labels
        kIconTarget = kInfoLabelTarget + 7,         //
        kMemoryMenuTarget = kIconTarget + 1,        //
        kGridSetUpTarget = kMemoryMenuTarget + 1,   //
        kAreaTarget = kGridSetUpTarget + 1,         // 6 memory areas
        kTagTarget = kAreaTarget + kAreaCount,      // the tags
        kProgressTarget = kTagTarget + 1,           //
        kConnectEndTarget = kProgressTarget + 1,    //
        kTargetCount = kConnectEndTarget + 1,
    };
    struct Pending {
        uint64_t order = 0;  // 0: nothing pending
        std::function<void()> apply;
    };

    void Post(int target, std::function<void()> apply);
    // A change for slot (the newest per target wins), or one that nothing
    // supersedes when slot is null.
    void Queue(Pending* slot, std::function<void()> apply);
    // An area's values, timed when shown.
    void PostArea(int type, std::function<void()> show);
    void OnWakeUp();
    bool OnUiThread() const;

    TForm1& form_;
    mutable std::mutex mutex_;
    std::array<Pending, kTargetCount> pending_;
    std::vector<Pending> unsuperseded_;     // message boxes
    std::map<int, TagUpdate> pendingTags_;  // by tag index, for kTagTarget
    uint64_t nextOrder_ = 0;
    bool wakeUpPosted_ = false;
    Stats stats_;

    // User-interface thread only.
    QTimer* flushTimer_;
    QElapsedTimer sinceFlush_;
};

}  // namespace tarnlight::ui
