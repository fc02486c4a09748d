#include "engine/engine.h"

#include <chrono>

#include "engine/plc_status.h"
#include "engine/refusal_message.h"

namespace tarnlight {

Engine::Engine(WindowPort& window)
    : window_(window),
      image_(std::make_unique<snp::MemoryImage>()),
      port_(window, context_.t1),
      link_(port_, context_, config_, *image_, flags_),
      mirror_(connection_, config_, flags_, *image_, link_) {
    // Every decoded mailbox reply refreshes the state display.
    link_.SetStatusHook(
        [this] { ShowPlcStatus(window_, context_.plcState.load(), context_.sweepTime.load()); });
    link_.SetRefusalHook([this](const snp::Refusal& refusal) { ReportRefusal(refusal); });
}

void Engine::ReportRefusal(const snp::Refusal& refusal) {
    const std::string text = RefusalMessage(refusal);
    if (refusal.request == snp::Refusal::Request::Read) {
        lossMessage_ = text;
    } else {
        window_.SetPanelText(kMessagePanel, text);
    }
}

Engine::~Engine() {
    Shutdown();
}

void Engine::Shutdown() {
    if (running_.load()) {
        flags_.stopRequested = 1;
        // The line waits and the link's own pauses (T1, T3', T4) can last
        // a minute each, a database call up to its read or write time-out;
        // the worker must not hold a closing program that long. What the
        // aborted database calls leave undone is not lost: the server rolls
        // back the open transaction, the request rows keep their flags and
        // the fast mirror forgets what it believed stored.
        port_.Abort();
        connection_.Abort();
        std::lock_guard<std::mutex> lock(sleepMutex_);
        shuttingDown_ = true;
    }
    sleepWake_.notify_all();
    JoinWorker();
    std::lock_guard<std::mutex> lock(sleepMutex_);
    shuttingDown_ = false;
}

void Engine::JoinWorker() {
    if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
}

void Engine::SleepMs(unsigned ms) {
    if (ms == 0) return;
    std::unique_lock<std::mutex> lock(sleepMutex_);
    sleepWake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return shuttingDown_; });
}

}  // namespace tarnlight
