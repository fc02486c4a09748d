#include "engine/line_turns.h"

namespace tarnlight {

int LineTurns::Join() {
    std::lock_guard<std::mutex> lock(mutex_);
    waiting_.push_back(false);
    return static_cast<int>(waiting_.size()) - 1;
}

int LineTurns::NextWaiting() const {
    const int count = static_cast<int>(waiting_.size());
    for (int k = 0; k < count; ++k) {
        const int station = (next_ + k) % count;
        if (waiting_[station]) return station;
    }
    return -1;
}

LineTurns::Turn LineTurns::Take(int station, const std::atomic<uint8_t>& stop) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (station < 0 || station >= static_cast<int>(waiting_.size())) return Turn::Stopped;
    if (holder_ != station) {
        waiting_[station] = true;
        changed_.notify_all();
        while (holder_ >= 0 || NextWaiting() != station) {
            if (stop.load() != 0) {
                waiting_[station] = false;
                changed_.notify_all();
                return Turn::Stopped;
            }
            changed_.wait_for(lock, std::chrono::milliseconds(20));
        }
        waiting_[station] = false;
        holder_ = station;
    }
    const bool switched = lastHolder_ != station;
    lastHolder_ = station;
    return switched ? Turn::Switched : Turn::Same;
}

void LineTurns::Pass(int station) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (holder_ != station) return;
    holder_ = -1;
    next_ = (station + 1) % static_cast<int>(waiting_.size());
    changed_.notify_all();
}

void LineTurns::Leave(int station) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (station < 0 || station >= static_cast<int>(waiting_.size())) return;
    waiting_[station] = false;
    if (holder_ == station) {
        holder_ = -1;
        next_ = (station + 1) % static_cast<int>(waiting_.size());
    }
    changed_.notify_all();
}

}  // namespace tarnlight
