#pragma once
// Waiting for a condition in tests instead of sleeping a fixed time.
#include <chrono>
#include <thread>

namespace tarnlight::test {

// Polls predicate every 2 ms until it holds or timeout passes; returns its last value.
template <typename Predicate>
bool WaitFor(Predicate predicate, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() >= deadline) return predicate();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace tarnlight::test
