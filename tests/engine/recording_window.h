#pragma once
// A window for engine tests: records every call as one line of text, in
// order, from any thread, and lets the test wait for lines to appear.
//   "panel 0 Online", "enable SB_Online 1", "select 1", "label Label_priv 2",
//   "icon 3", "box Error|text", "menu 1 1 1 0 0 0", "grids",
//   "bits 0 1 8 01000000", "words 4 1 2 65535,7", "tags 0=-7 1=-", "progress 40",
//   "connected 1"
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/window_port.h"
#include "tests/support/wait_for.h"

namespace tarnlight::test {

class RecordingWindow : public WindowPort {
  public:
    void ShowMessageBox(const std::string& text, const std::string& caption) override {
        Add("box " + caption + "|" + text);
    }
    void SetPanelText(int index, const std::string& text) override {
        Add("panel " + std::to_string(index) + " " + text);
    }
    void SetEnabled(Control control, bool enabled) override {
        Add(std::string("enable ") + ControlName(control) + (enabled ? " 1" : " 0"));
    }
    void SetIoStatusSelection(int item) override { Add("select " + std::to_string(item)); }
    void SetInfoLabel(InfoLabel label, const std::string& text) override {
        Add(std::string("label ") + InfoLabelName(label) + " " + text);
    }
    void SetIconIndex(int index) override { Add("icon " + std::to_string(index)); }
    void LayOutMemoryMenu(const std::array<bool, kAreaCount>& areaEnabled) override {
        std::string line = "menu";
        for (bool on : areaEnabled) line += on ? " 1" : " 0";
        Add(line);
    }
    void SetUpMemoryGrids(const LinkConfig&) override { Add("grids"); }
    void ShowBitArea(int type, uint16_t from, uint16_t to, std::vector<uint8_t> bits) override {
        std::string line = "bits " + std::to_string(type) + " " + std::to_string(from) + " " +
                           std::to_string(to) + " ";
        for (uint8_t bit : bits) line += bit ? '1' : '0';
        Add(line);
    }
    void ShowWordArea(int type, uint16_t from, uint16_t to, std::vector<uint16_t> words) override {
        std::string line = "words " + std::to_string(type) + " " + std::to_string(from) + " " +
                           std::to_string(to) + " ";
        for (size_t i = 0; i < words.size(); ++i) line += (i ? "," : "") + std::to_string(words[i]);
        Add(line);
    }
    // Index=value per tag, "-" for no value.
    void ShowTagValues(std::vector<TagUpdate> updates) override {
        std::string line = "tags";
        for (const TagUpdate& u : updates) {
            char value[32] = "-";
            if (u.value) std::snprintf(value, sizeof value, "%.9g", *u.value);
            line += " " + std::to_string(u.index) + "=" + value;
        }
        Add(line);
    }
    void ShowBuildProgress(int percent) override { Add("progress " + std::to_string(percent)); }
    void ConnectEnded(bool linkStarted) override {
        Add(std::string("connected ") + (linkStarted ? "1" : "0"));
    }
    EditInputs ReadEditInputs() override {
        EditInputs edit;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            edit = edit_;
        }
        if (onReadEdit) onReadEdit();
        return edit;
    }

    // Hooks, set before a worker starts: after the Edit page has been read,
    // and after each call has been recorded (both outside the lock).
    std::function<void()> onReadEdit;
    std::function<void(const std::string&)> onCall;

    void SetEditInputs(const EditInputs& edit) {
        std::lock_guard<std::mutex> lock(mutex_);
        edit_ = edit;
    }
    std::vector<std::string> Calls() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_;
    }
    size_t Size() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_.size();
    }
    int Count(const std::string& line, size_t from = 0) const {
        std::lock_guard<std::mutex> lock(mutex_);
        if (from >= calls_.size()) return 0;
        return static_cast<int>(std::count(calls_.begin() + from, calls_.end(), line));
    }
    // Index of the first call equal to line (or starting with it when prefix)
    // at or after from; -1 when there is none.
    long Find(const std::string& line, size_t from = 0, bool prefix = false) const {
        std::lock_guard<std::mutex> lock(mutex_);
        for (size_t i = from; i < calls_.size(); ++i) {
            if (prefix ? calls_[i].rfind(line, 0) == 0 : calls_[i] == line)
                return static_cast<long>(i);
        }
        return -1;
    }
    // Waits until line has been recorded at or after from; its index or -1.
    long WaitForCall(const std::string& line, size_t from = 0, bool prefix = false,
                     std::chrono::milliseconds timeout = std::chrono::seconds(20)) const {
        long index = -1;
        WaitFor([&] { return (index = Find(line, from, prefix)) >= 0; }, timeout);
        return index;
    }

  private:
    void Add(std::string line) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            calls_.push_back(line);
        }
        if (onCall) onCall(line);
    }

    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    EditInputs edit_;
};

}  // namespace tarnlight::test
