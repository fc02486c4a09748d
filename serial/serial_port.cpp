#include "serial/serial_port.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <system_error>
#include <thread>

#include "serial/line_trace.h"
#include "serial/port_names.h"
#include "serial/posix_serial_backend.h"

namespace tarnlight {

namespace {

void SleepMs(long ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

SerialPort::SerialPort(Notifier& notifier, const uint16_t& t1)
    : SerialPort(notifier, t1, std::make_unique<PosixSerialBackend>()) {}

SerialPort::SerialPort(Notifier& notifier, const uint16_t& t1,
                       std::unique_ptr<SerialBackend> backend)
    : notifier_(notifier), t1_(&t1), backend_(std::move(backend)), waitMode_(kDefaultWaitMode) {}

SerialPort::~SerialPort() {
    // No error can be raised from a destructor; a refused close is dropped.
    if (backend_ && backend_->IsOpen()) backend_->Close();
}

bool SerialPort::OpenPort(int port, int baudIndex, int parityIndex, int stopBitsIndex) {
    // An index outside 0..31 resolves to no device and fails like a missing one.
    return OpenDevice(ResolvePortDevice(port), baudIndex, parityIndex, stopBitsIndex);
}

bool SerialPort::OpenDevice(const std::string& device, int baudIndex, int parityIndex,
                            int stopBitsIndex) {
    ClearAbort();
    held_.clear();
    // At most one port is open at a time.
    if (backend_->IsOpen()) backend_->Close();
    lastDevice_.clear();
    if (device.empty() || !backend_->Open(device)) {
        openErrorCode_ = 1;
        notifier_.ShowMessageBox(
            "[BADID] - COM port can't be opened, device doesn't exist or is busy", "Error");
        return false;
    }
    LineSettings line;
    line.baudIndex = baudIndex;
    line.parityIndex = parityIndex;
    line.stopBitsIndex = stopBitsIndex;
    if (!SetUpOpenedPort(line)) return false;
    lastDevice_ = device;
    lastLine_ = line;
    return true;
}

bool SerialPort::SetUpOpenedPort(const LineSettings& line) {
    // The POSIX drivers size their queues themselves (kInputQueueSize and
    // kOutputQueueSize are what the protocol needs at most).
    PurgePort();
    if (!ConfigurePort(line.baudIndex, line.parityIndex, line.stopBitsIndex)) return false;
    if (!SetPortTimeouts()) return false;
    PurgePort();
    return true;
}

bool SerialPort::IsStale() {
    if (lastDevice_.empty()) return false;
    return !backend_->IsOpen() || backend_->IsStale(lastDevice_);
}

bool SerialPort::Reopen() {
    if (lastDevice_.empty()) return false;
    // The old descriptor is released even when the system reports an error
    // closing a device that has gone away.
    if (backend_->IsOpen()) backend_->Close();
    held_.clear();
    return backend_->Open(lastDevice_) && SetUpOpenedPort(lastLine_);
}

bool SerialPort::ConfigurePort(int baudIndex, int parityIndex, int stopBitsIndex) {
    if (!backend_->IsOpen()) return false;
    LineSettings line;
    line.baudIndex = baudIndex;
    line.parityIndex = parityIndex;
    line.stopBitsIndex = stopBitsIndex;
    if (!backend_->Configure(line)) {
        backend_->Close();
        return false;
    }
    return true;
}

bool SerialPort::SetPortTimeouts() {
    if (!backend_->IsOpen()) return false;
    if (!backend_->SetNoTimeouts()) {
        backend_->Close();
        return false;
    }
    return true;
}

void SerialPort::PurgePort() {
    if (trace_ != nullptr) {
        // The input the purge throws away is read out first to be traced;
        // the link would never have received it anyway.
        const size_t queued = backend_->QueuedInputCount();
        if (queued > 0) {
            const size_t before = held_.size();
            held_.resize(before + queued);
            if (!backend_->Read(held_.data() + before, queued)) held_.resize(before);
        }
        trace_->Record(TraceEvent::Purge, held_.data(), held_.size());
    }
    held_.clear();
    backend_->Purge();
}

void SerialPort::SetBreak() {
    if (trace_ != nullptr) trace_->Record(TraceEvent::Break, nullptr, 0);
    backend_->SetBreak();
}

void SerialPort::ClearBreak() {
    backend_->ClearBreak();
}

bool SerialPort::WritePort(const uint8_t* bytes, size_t count) {
    // The SNP pause T1 comes before every block, acknowledgements included.
    Pause(*t1_);
    // Traced as the block starts to leave: it takes its line time to go.
    if (trace_ != nullptr) trace_->Record(TraceEvent::Tx, bytes, count);
    return backend_->Write(bytes, count);
}

size_t SerialPort::QueuedInputCount() {
    return held_.size() + backend_->QueuedInputCount();
}

bool SerialPort::ReadPort(uint8_t* destination, size_t count) {
    if (QueuedInputCount() < count) return false;
    const size_t fromHeld = std::min(held_.size(), count);
    if (fromHeld > 0) {
        std::copy_n(held_.begin(), fromHeld, destination);
        held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(fromHeld));
    }
    if (count > fromHeld && !backend_->Read(destination + fromHeld, count - fromHeld)) return false;
    if (trace_ != nullptr) trace_->Record(TraceEvent::Rx, destination, count);
    return true;
}

bool SerialPort::GiveUpWait(size_t count) {
    if (trace_ == nullptr) return false;
    // What has arrived of the count, taken into held_ so that the next
    // receive still gets it. More than count is left in the driver's queue.
    const size_t queued = QueuedInputCount();
    if (held_.size() < count && queued > held_.size()) {
        const size_t before = held_.size();
        const size_t take = std::min(queued, count) - before;
        held_.resize(before + take);
        if (!backend_->Read(held_.data() + before, take)) held_.resize(before);
    }
    trace_->Record(TraceEvent::Rx, held_.data(), std::min(held_.size(), count), count);
    return false;
}

bool SerialPort::WaitForInput(uint8_t* destination, size_t count, unsigned stepLimit) {
    if (aborted_.load()) return GiveUpWait(count);
    if (waitMode_ == WaitMode::FixedSteps) {
        for (unsigned n = 0; n < stepLimit; ++n) {
            if (!Pause(kWaitStepMs)) return GiveUpWait(count);
            if (QueuedInputCount() >= count) return ReadPort(destination, count);
        }
        return GiveUpWait(count);
    }

    // Same deadline as the fixed steps, but the wait ends as soon as the
    // bytes are queued instead of at the next 25 ms boundary.
    if (stepLimit == 0) return GiveUpWait(count);
    using Clock = std::chrono::steady_clock;
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(static_cast<long>(stepLimit) * kWaitStepMs);
    for (;;) {
        // An abort is seen within one slice of at most 25 ms.
        if (aborted_.load()) return GiveUpWait(count);
        const size_t queued = QueuedInputCount();
        if (queued >= count) return ReadPort(destination, count);
        const auto now = Clock::now();
        if (now >= deadline) break;
        // Rounded up, so the wait never ends before its deadline.
        const long remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        if (queued > held_.size()) {
            // poll() reports readable at once while unread bytes sit in the
            // queue, so a partial frame is waited for by short sleeps instead.
            SleepMs(1);
        } else {
            const int slice = static_cast<int>(std::min<long>(remaining, kWaitStepMs));
            const auto before = Clock::now();
            backend_->WaitReadable(slice);
            // A hung-up or failed device makes poll() return at once without
            // data; sleep the slice out instead of spinning until the deadline.
            if (QueuedInputCount() == held_.size() &&
                Clock::now() - before < std::chrono::milliseconds(slice)) {
                Pause(static_cast<unsigned>(std::min(slice, 5)));
            }
        }
    }
    return GiveUpWait(count);
}

void SerialPort::Abort() {
    aborted_.store(true);
}

void SerialPort::ClearAbort() {
    aborted_.store(false);
}

bool SerialPort::Pause(unsigned ms) {
    // Slept in slices of at most 5 ms, so an abort cuts a long pause (T4 may
    // be a minute) short without a lock shared with the aborting thread.
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (!aborted_.load()) {
        const auto now = Clock::now();
        if (now >= deadline) return true;
        std::this_thread::sleep_for(
            std::min<Clock::duration>(deadline - now, std::chrono::milliseconds(5)));
    }
    return false;
}

void SerialPort::ClosePort() {
    lastDevice_.clear();
    held_.clear();
    if (!backend_->IsOpen()) return;
    if (!backend_->Close()) {
        const int error = errno != 0 ? errno : EIO;
        throw std::system_error(error, std::system_category(), "closing the serial port");
    }
}

bool SerialPort::IsOpen() const {
    return backend_->IsOpen();
}

}  // namespace tarnlight
