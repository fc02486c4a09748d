#include "engine/engine.h"

#include <chrono>

#include "engine/plc_status.h"
#include "engine/refusal_message.h"

namespace tarnlight {

Engine::Engine(WindowPort& window, LineTurns& line) : Engine(window, &line) {}

Engine::Engine(WindowPort& window) : Engine(window, nullptr) {}

Engine::Engine(WindowPort& window, LineTurns* line)
    : window_(window),
      image_(std::make_unique<snp::MemoryImage>()),
      staging_(std::make_unique<snp::MemoryImage>()),
      line_(line),
      station_(line != nullptr ? line->Join() : -1),
      ownPort_(window, context_.t1),
      port_(line != nullptr ? line->port() : ownPort_),
      link_(port_, context_, config_, *staging_, flags_),
      writer_(link_, ledger_),
      mirror_(connection_, config_, flags_, *image_, writer_),
      mirrorWorker_(mirror_, connection_, config_, flags_, stats_) {
    // Every decoded mailbox reply refreshes the state display.
    link_.SetStatusHook(
        [this] { ShowPlcStatus(window_, context_.plcState.load(), context_.sweepTime.load()); });
    link_.SetRefusalHook([this](const snp::Refusal& refusal) { ReportRefusal(refusal); });
    link_.SetCounters(&stats_.counters);
    mirror_.SetLinkStats(&stats_);
    mirror_.SetWriteLedger(&ledger_);
}

void Engine::ReportRefusal(const snp::Refusal& refusal) {
    const std::string text = RefusalMessage(refusal);
    if (refusal.request == snp::Refusal::Request::Read) {
        lossMessage_ = text;
    } else if (refusal.request == snp::Refusal::Request::Privilege) {
        setUpWarning_ = text;  // the panel is emptied when the link comes up
    } else {
        ShowMessage(text);
    }
}

Engine::~Engine() {
    Shutdown();
}

void Engine::Shutdown() {
    {
        std::unique_lock<std::mutex> lock(sleepMutex_);
        if (running_.load()) {
            flags_.stopRequested = 1;
            // The line waits and the link's own pauses (T1, T3', T4) can
            // last a minute each; the worker must not hold a closing program
            // that long.
            port_.Abort();
            shuttingDown_ = true;
            sleepWake_.notify_all();
            // So can a database call, up to its read or write time-out, on a
            // server that hangs. One that answers gets the grace to let the
            // end sequence finish, DROP included; after it the worker's
            // database calls are cut short. What they leave undone is not
            // lost: the server rolls back the open transaction, the request
            // rows keep their flags and the fast mirror forgets what it
            // believed stored.
            if (!workerEnded_.wait_for(lock, kDatabaseGrace, [this] { return !running_.load(); }))
                connection_.Abort();
        }
    }
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
