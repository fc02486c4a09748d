// Fuzz target for the SNP master's reply decoding. The fuzz input is the
// byte stream arriving on the line; the master attaches, reads long bit and
// word ranges (text buffers), asks for the controller type and reads short
// ranges (inline data). Writes go nowhere.
//
// The serial port waits against the monotonic clock and sleeps for T1. Here
// time is virtual: sleeping only moves the clock on, and every look at the
// clock moves it on a millisecond, so a wait for bytes that will never come
// ends at once instead of after its real deadline.
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "types/engine_flags.h"
#include "types/link_config.h"
#include "fuzz/memory_backend.h"
#include "types/notifier.h"
#include "serial/serial_port.h"
#include "snp/memory.h"
#include "snp/snp_link.h"
#include "snp/snp_link_context.h"

namespace {

std::atomic<int64_t> virtualOffsetNs{0};

void Advance(const timespec* duration) {
    if (duration && duration->tv_sec >= 0 && duration->tv_nsec >= 0) {
        virtualOffsetNs +=
            static_cast<int64_t>(duration->tv_sec) * 1'000'000'000 + duration->tv_nsec;
    }
}

}  // namespace

extern "C" int clock_gettime(clockid_t clock, timespec* now) {
    const int result = static_cast<int>(syscall(SYS_clock_gettime, clock, now));
    if (result == 0 && (clock == CLOCK_MONOTONIC || clock == CLOCK_MONOTONIC_RAW)) {
        const int64_t offset = virtualOffsetNs.fetch_add(1'000'000) + 1'000'000;
        const int64_t ns =
            static_cast<int64_t>(now->tv_sec) * 1'000'000'000 + now->tv_nsec + offset;
        now->tv_sec = static_cast<time_t>(ns / 1'000'000'000);
        now->tv_nsec = static_cast<long>(ns % 1'000'000'000);
    }
    return result;
}

extern "C" int nanosleep(const timespec* duration, timespec* remaining) {
    Advance(duration);
    if (remaining) *remaining = timespec{};
    return 0;
}

extern "C" int clock_nanosleep(clockid_t, int flags, const timespec* duration,
                               timespec* remaining) {
    if (flags == 0) Advance(duration);  // absolute sleeps are not used by the link
    if (remaining) *remaining = timespec{};
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tarnlight;
    auto backend = std::make_unique<fuzz::MemoryBackend>(std::vector<uint8_t>(data, data + size));
    backend->keepWritten = false;

    StreamNotifier notifier;
    snp::SnpLinkContext context;
    context.t1 = 0;
    context.ackWaitSteps = 1;
    context.replyWaitSteps = 1;
    LinkConfig config;
    config.CPU_ID = "FUZZ";
    config.cpuPassword = "secret";
    snp::MemoryImage image;
    EngineFlags flags;
    SerialPort port(notifier, context.t1, std::move(backend));
    port.SetWaitMode(WaitMode::EventDriven);
    snp::SnpLink link(port, context, config, image, flags);

    link.Attach();
    context.t1 = 0;  // the attach reply may ask for up to 255 ms
    link.ReadBits(1, snp::kMaxBitAddress, 0);
    link.ReadWords(1, snp::kMaxWordAddress, 1);
    link.ReadControllerType();
    link.ReadBits(3, 10, 1);
    link.ReadWords(1, 3, 2);
    link.ReadWords(4000, snp::kMaxWordAddress, 0);
    // Last, as it may raise the wait limits to thousands of steps.
    if (link.NegotiateTimers() && (context.ackWaitSteps == 0 || context.replyWaitSteps == 0)) {
        __builtin_trap();
    }

    // Index 0 of every image array is no address and must never be written.
    for (const auto& bits : image.bits) {
        if (bits[0] != 0) __builtin_trap();
    }
    for (const auto& words : image.words) {
        if (words[0] != 0) __builtin_trap();
    }
    if (context.reportedCpuId.size() > 8 || context.plcFamily > 4 || context.plcModel > 37) {
        __builtin_trap();
    }
    return 0;
}
