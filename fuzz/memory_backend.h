#pragma once
// A serial backend that lives in memory: the bytes handed to it are the
// input queue, everything written is kept, and the line operations are only
// counted. Waiting never sleeps: input is either already queued or will never
// come, so WaitReadable answers at once.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "serial/serial_backend.h"

namespace tarnlight::fuzz {

class MemoryBackend : public SerialBackend {
  public:
    MemoryBackend() = default;
    explicit MemoryBackend(std::vector<uint8_t> input) : input_(std::move(input)) {}

    // Appends bytes to the input queue.
    void Feed(const uint8_t* bytes, size_t count) {
        input_.insert(input_.end(), bytes, bytes + count);
    }

    bool Open(const std::string&) override {
        open_ = true;
        return true;
    }
    bool IsOpen() const override { return open_; }
    bool Configure(const LineSettings&) override { return open_; }
    bool SetNoTimeouts() override { return open_; }
    void Purge() override {
        ++purges;
        input_.clear();
        position_ = 0;
    }
    void SetBreak() override { ++breaksSet; }
    void ClearBreak() override { ++breaksCleared; }
    bool Write(const uint8_t* bytes, size_t count) override {
        if (!open_) return false;
        if (keepWritten) written.insert(written.end(), bytes, bytes + count);
        return true;
    }
    size_t QueuedInputCount() override { return open_ ? input_.size() - position_ : 0; }
    bool Read(uint8_t* destination, size_t count) override {
        if (!open_ || count > QueuedInputCount()) return false;
        std::copy_n(input_.begin() + static_cast<std::ptrdiff_t>(position_), count, destination);
        position_ += count;
        return true;
    }
    bool WaitReadable(int) override { return QueuedInputCount() > 0; }
    bool Close() override {
        open_ = false;
        return true;
    }

    bool keepWritten = true;  // the fuzzer turns this off
    std::vector<uint8_t> written;
    int purges = 0;
    int breaksSet = 0;
    int breaksCleared = 0;

  private:
    bool open_ = true;
    std::vector<uint8_t> input_;
    size_t position_ = 0;
};

}  // namespace tarnlight::fuzz
