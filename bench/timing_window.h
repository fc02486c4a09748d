#pragma once
// A window for the scan benchmarks: it keeps when each area's read completed,
// the link state panel and the last W27 message, and nothing else.
#include <array>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "engine/window_port.h"

namespace tarnlight::bench {

class TimingWindow : public WindowPort {
  public:
    using Clock = std::chrono::steady_clock;

    void ShowMessageBox(const std::string&, const std::string&) override {}
    void SetPanelText(int index, const std::string& text) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (index == kLinkStatePanel) linkState_ = text;
        if (index == kMessagePanel && text.rfind("W27", 0) == 0) overAsked_ = text;
    }
    void SetEnabled(Control, bool) override {}
    void SetIoStatusSelection(int) override {}
    void SetInfoLabel(InfoLabel, const std::string&) override {}
    void SetIconIndex(int) override {}
    void LayOutMemoryMenu(const std::array<bool, kAreaCount>&) override {}
    void SetUpMemoryGrids(const LinkConfig&) override {}
    void ShowBitArea(int type, uint16_t, uint16_t, std::vector<uint8_t>) override { Mark(type); }
    void ShowWordArea(int type, uint16_t, uint16_t, std::vector<uint16_t>) override { Mark(type); }
    EditInputs ReadEditInputs() override { return {}; }

    std::string linkState() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return linkState_;
    }
    std::string overAsked() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return overAsked_;
    }
    size_t Completed(int type) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return done_[type].size();
    }
    std::vector<Clock::time_point> Times(int type) const {
        std::lock_guard<std::mutex> lock(mutex_);
        return done_[type];
    }

  private:
    void Mark(int type) {
        std::lock_guard<std::mutex> lock(mutex_);
        done_[type].push_back(Clock::now());
    }
    mutable std::mutex mutex_;
    std::string linkState_, overAsked_;
    std::array<std::vector<Clock::time_point>, kAreaCount> done_;
};

}  // namespace tarnlight::bench
