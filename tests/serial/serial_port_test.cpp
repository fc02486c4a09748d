// SerialPort and the termios backend on a real pseudo-terminal: the port
// under test opens the slave side, the test plays the far end on the master.
#include "serial/serial_port.h"

#include <dirent.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "serial/line_trace.h"
#include "serial/port_names.h"
#include "serial/posix_serial_backend.h"
#include "tests/support/pty_pair.h"
#include "tests/support/wait_for.h"

namespace tarnlight {
namespace {

using test::PtyPair;
using test::WaitFor;
using Bytes = std::vector<uint8_t>;

constexpr const char* kBadIdText =
    "[BADID] - COM port can't be opened, device doesn't exist or is busy";

struct RecordingNotifier : Notifier {
    void ShowMessageBox(const std::string& text, const std::string& caption) override {
        boxes.push_back(caption + "|" + text);
    }
    std::vector<std::string> boxes;
};

int OpenDescriptorCount() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr) ++count;
        closedir(dir);
    }
    return count;
}

Bytes Sequence(size_t count, uint8_t first = 0) {
    Bytes bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(first + i);
    return bytes;
}

// A directory of its own for trace files, removed afterwards.
struct TempDir {
    TempDir() {
        char pattern[] = "/tmp/tl-trace-XXXXXX";
        if (mkdtemp(pattern) != nullptr) path = pattern;
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string path;
};

// The lines of a closed trace file, without their time stamps.
std::vector<std::string> TraceEvents(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> events;
    for (std::string line; std::getline(in, line);) events.push_back(line.substr(24));
    return events;
}

// A port whose backend the test can look into.
struct PortOnPty : ::testing::Test {
    PortOnPty() {
        auto owned = std::make_unique<PosixSerialBackend>();
        backend = owned.get();
        port = std::make_unique<SerialPort>(notifier, t1, std::move(owned));
    }
    void SetUp() override { ASSERT_TRUE(port->OpenDevice(pty.slavePath(), 9, 0, 0)); }

    termios LineSettingsNow() const {
        termios tio{};
        EXPECT_EQ(tcgetattr(backend->fd(), &tio), 0);
        return tio;
    }
    void Queue(const Bytes& bytes) {
        const size_t before = port->QueuedInputCount();
        pty.Write(bytes);
        ASSERT_TRUE(WaitFor([&] { return port->QueuedInputCount() >= before + bytes.size(); }));
    }

    PtyPair pty;
    RecordingNotifier notifier;
    uint16_t t1 = 0;
    PosixSerialBackend* backend = nullptr;
    std::unique_ptr<SerialPort> port;
};

TEST(SerialPortOpen, MissingDeviceShowsTheBoxOnceAndLeavesNothingOpen) {
    RecordingNotifier notifier;
    const uint16_t t1 = 0;
    SerialPort port(notifier, t1);
    const int before = OpenDescriptorCount();
    EXPECT_FALSE(port.OpenDevice("/nonexistent/tty-device", 6, 0, 0));
    EXPECT_EQ(OpenDescriptorCount(), before);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.openErrorCode(), 1);
    ASSERT_EQ(notifier.boxes.size(), 1u);
    EXPECT_EQ(notifier.boxes[0], std::string("Error|") + kBadIdText);
}

TEST(SerialPortOpen, IndexOutsideThePortTableFailsLikeAMissingDevice) {
    RecordingNotifier notifier;
    const uint16_t t1 = 0;
    SerialPort port(notifier, t1);
    EXPECT_FALSE(port.OpenPort(32, 6, 0, 0));
    EXPECT_FALSE(port.OpenPort(-1, 6, 0, 0));
    EXPECT_EQ(port.openErrorCode(), 1);
    EXPECT_EQ(notifier.boxes.size(), 2u);
}

TEST(SerialPortOpen, DeviceHeldByThisProcessIsBusy) {
    PtyPair pty;
    RecordingNotifier notifier;
    const uint16_t t1 = 0;
    SerialPort first(notifier, t1);
    SerialPort second(notifier, t1);
    ASSERT_TRUE(first.OpenDevice(pty.slavePath(), 6, 0, 0));
    const int before = OpenDescriptorCount();
    EXPECT_FALSE(second.OpenDevice(pty.slavePath(), 6, 0, 0));
    EXPECT_EQ(OpenDescriptorCount(), before);
    EXPECT_EQ(second.openErrorCode(), 1);
    EXPECT_EQ(notifier.boxes.size(), 1u);
    // The refused opener must not have cleared the holder's exclusive use.
    EXPECT_FALSE(second.OpenDevice(pty.slavePath(), 6, 0, 0));
    // Once released, the device opens again.
    first.ClosePort();
    EXPECT_TRUE(second.OpenDevice(pty.slavePath(), 6, 0, 0));
}

TEST(SerialPortOpen, DeviceHeldByAnotherProcessIsBusy) {
    PtyPair pty;
    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The other program: holds the device until told to let go.
        StreamNotifier quiet;
        const uint16_t t1 = 0;
        SerialPort holder(quiet, t1);
        const char opened = holder.OpenDevice(pty.slavePath(), 6, 0, 0) ? 'y' : 'n';
        if (write(ready[1], &opened, 1) != 1) _exit(2);
        char go = 0;
        if (read(release[0], &go, 1) != 1) _exit(3);
        holder.ClosePort();
        _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    char opened = 0;
    ASSERT_EQ(read(ready[0], &opened, 1), 1);
    ASSERT_EQ(opened, 'y');

    RecordingNotifier notifier;
    const uint16_t t1 = 0;
    SerialPort port(notifier, t1);
    EXPECT_FALSE(port.OpenDevice(pty.slavePath(), 6, 0, 0));
    EXPECT_EQ(port.openErrorCode(), 1);
    EXPECT_EQ(notifier.boxes.size(), 1u);

    const char go = 'x';
    ASSERT_EQ(write(release[1], &go, 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    close(ready[0]);
    close(release[1]);
    EXPECT_TRUE(port.OpenDevice(pty.slavePath(), 6, 0, 0));
}

TEST(LineSettingsOfTheBackend, IndexesSelectRateParityAndStopBits) {
    termios tio{};
    cfsetospeed(&tio, B2400);
    tio.c_lflag = ICANON | ECHO | ISIG;
    tio.c_iflag = IXON | ICRNL;
    tio.c_oflag = OPOST;
    tio.c_cflag = CRTSCTS | CS7;
    ApplyLineSettings(tio, LineSettings{9, 0, 0});
    EXPECT_EQ(cfgetospeed(&tio), B115200);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_TRUE((tio.c_cflag & PARENB) && (tio.c_cflag & PARODD));
    EXPECT_FALSE(tio.c_cflag & (CSTOPB | CRTSCTS));
    EXPECT_TRUE((tio.c_cflag & CLOCAL) && (tio.c_cflag & CREAD));
    EXPECT_FALSE(tio.c_iflag & (IXON | IXOFF | ICRNL));
    EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(tio.c_oflag & OPOST);
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    EXPECT_EQ(tio.c_cc[VTIME], 0);

    // No selection is 19200; even parity; two stop bits.
    ApplyLineSettings(tio, LineSettings{-1, 1, 1});
    EXPECT_EQ(cfgetospeed(&tio), B19200);
    EXPECT_TRUE(tio.c_cflag & PARENB);
    EXPECT_FALSE(tio.c_cflag & PARODD);
    EXPECT_TRUE(tio.c_cflag & CSTOPB);

    // No parity, while parity checking stays on (harmless without a parity bit).
    ApplyLineSettings(tio, LineSettings{5, 2, 0});
    EXPECT_EQ(cfgetospeed(&tio), B9600);
    EXPECT_FALSE(tio.c_cflag & PARENB);
    EXPECT_TRUE(tio.c_iflag & INPCK);
    EXPECT_FALSE(tio.c_cflag & CSTOPB);

    // Indexes outside their tables keep what is set.
    ApplyLineSettings(tio, LineSettings{10, 7, 3});
    EXPECT_EQ(cfgetospeed(&tio), B9600);
    EXPECT_FALSE(tio.c_cflag & PARENB);
    EXPECT_FALSE(tio.c_cflag & CSTOPB);
}

// A port another program left in mark or space parity (CMSPAR) gets the odd,
// even or no parity asked for, not a sticky parity bit.
TEST(LineSettingsOfTheBackend, MarkOrSpaceParityLeftBehindIsCleared) {
    for (int parity = 0; parity < 3; ++parity) {
        for (const tcflag_t sticky : {CMSPAR | PARENB | PARODD, CMSPAR | PARENB}) {
            termios tio{};
            tio.c_cflag = sticky | CS8;
            ApplyLineSettings(tio, LineSettings{6, parity, 0});
            EXPECT_FALSE(tio.c_cflag & CMSPAR) << parity;
            EXPECT_EQ(static_cast<bool>(tio.c_cflag & PARENB), parity != 2) << parity;
            EXPECT_EQ(static_cast<bool>(tio.c_cflag & PARODD), parity == 0) << parity;
        }
    }
}

TEST_F(PortOnPty, ConfigurationReachesTheDeviceForEveryParity) {
    // A pseudo-terminal keeps the rate and raw mode but has no parity bit.
    for (int parity = 0; parity < 3; ++parity) {
        ASSERT_TRUE(port->ConfigurePort(parity == 1 ? -1 : 5, parity, parity == 2 ? 1 : 0))
            << parity;
        const termios tio = LineSettingsNow();
        EXPECT_EQ(cfgetospeed(&tio), parity == 1 ? B19200 : B9600);
        EXPECT_EQ(static_cast<bool>(tio.c_cflag & CSTOPB), parity == 2);
        EXPECT_FALSE(tio.c_lflag & ICANON);
        EXPECT_FALSE(tio.c_cflag & CRTSCTS);
    }
    EXPECT_TRUE(port->SetPortTimeouts());
    EXPECT_TRUE(port->IsOpen());
}

TEST_F(PortOnPty, WaitReadsTheCountAndLeavesTheRestQueued) {
    Queue(Sequence(42));
    uint8_t buffer[64] = {};
    ASSERT_TRUE(port->WaitForInput(buffer, 40, 8));
    EXPECT_EQ(Bytes(buffer, buffer + 40), Sequence(40));
    EXPECT_EQ(port->QueuedInputCount(), 2u);
    ASSERT_TRUE(port->ReadPort(buffer, 2));
    EXPECT_EQ(buffer[0], 40);
    EXPECT_EQ(buffer[1], 41);
}

TEST_F(PortOnPty, TracedWaitThatGivesUpLeavesItsBytesForTheNextReceive) {
    TempDir dir;
    LineTrace trace;
    ASSERT_TRUE(trace.Open(dir.path + "/line.trace", nullptr));
    port->SetTrace(&trace);
    Queue(Sequence(3));
    uint8_t buffer[8] = {};
    EXPECT_FALSE(port->WaitForInput(buffer, 8, 2));
    EXPECT_EQ(port->QueuedInputCount(), 3u);
    Queue(Sequence(5, 3));
    ASSERT_TRUE(port->WaitForInput(buffer, 8, 8));
    EXPECT_EQ(Bytes(buffer, buffer + 8), Sequence(8));
    Queue(Sequence(2, 0xA0));
    port->PurgePort();
    EXPECT_EQ(port->QueuedInputCount(), 0u);
    port->SetTrace(nullptr);
    trace.Close();
    EXPECT_EQ(TraceEvents(dir.path + "/line.trace"),
              (std::vector<std::string>{"RX 3 of 8 00 01 02", "RX 8 00 01 02 03 04 05 06 07",
                                        "PURGE 2 A0 A1"}));
}

TEST(LineTraceFile, RotatesAtItsLimitKeepingOneOlderFile) {
    TempDir dir;
    const std::string path = dir.path + "/line.trace";
    LineTrace trace(4096);
    ASSERT_TRUE(trace.Open(path, nullptr));
    const Bytes block = Sequence(40);
    for (int i = 0; i < 100; ++i) trace.Record(TraceEvent::Tx, block.data(), block.size());
    trace.Close();
    // Whole lines of 150 bytes: 27 fit in 4096, so the last file holds 100 % 27.
    EXPECT_EQ(TraceEvents(path + ".1").size(), 27u);
    EXPECT_EQ(TraceEvents(path).size(), 19u);
    EXPECT_LE(std::filesystem::file_size(path + ".1"), 4096u);
    EXPECT_EQ(TraceEvents(path).back().substr(0, 9), "TX 40 00 ");
    EXPECT_FALSE(std::filesystem::exists(path + ".2"));
}

TEST_F(PortOnPty, ReadOfMoreThanIsQueuedReadsNothing) {
    Queue(Sequence(10));
    uint8_t buffer[64] = {};
    EXPECT_FALSE(port->ReadPort(buffer, 11));
    EXPECT_EQ(port->QueuedInputCount(), 10u);
}

TEST_F(PortOnPty, WaitWithStepLimitZeroFailsAtOnceEvenWithBytesQueued) {
    Queue(Sequence(4));
    for (WaitMode mode : {WaitMode::EventDriven, WaitMode::FixedSteps}) {
        port->SetWaitMode(mode);
        uint8_t buffer[8] = {};
        EXPECT_FALSE(port->WaitForInput(buffer, 4, 0));
        EXPECT_EQ(port->QueuedInputCount(), 4u);
    }
}

TEST_F(PortOnPty, IncompleteInputTimesOutAndStaysQueued) {
    Queue(Sequence(10));
    for (WaitMode mode : {WaitMode::EventDriven, WaitMode::FixedSteps}) {
        port->SetWaitMode(mode);
        uint8_t buffer[64] = {};
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(port->WaitForInput(buffer, 40, 4));
        // The wait keeps its whole deadline when the bytes stay incomplete.
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
        EXPECT_EQ(port->QueuedInputCount(), 10u);
    }
}

TEST_F(PortOnPty, WaitTakesAFrameThatArrivesInPieces) {
    for (WaitMode mode : {WaitMode::EventDriven, WaitMode::FixedSteps}) {
        port->SetWaitMode(mode);
        const Bytes frame = Sequence(40, mode == WaitMode::FixedSteps ? 100 : 0);
        std::thread far([&] {
            // The far end sends the frame in three bursts once the wait runs.
            pty.Write(Bytes(frame.begin(), frame.begin() + 5));
            pty.Write(Bytes(frame.begin() + 5, frame.begin() + 25));
            pty.Write(Bytes(frame.begin() + 25, frame.end()));
        });
        uint8_t buffer[64] = {};
        const bool received = port->WaitForInput(buffer, 40, 200);
        far.join();
        ASSERT_TRUE(received);
        EXPECT_EQ(Bytes(buffer, buffer + 40), frame);
        EXPECT_EQ(port->QueuedInputCount(), 0u);
    }
}

TEST_F(PortOnPty, WritesGoOutAfterTheT1Pause) {
    const Bytes block = Sequence(40);
    ASSERT_TRUE(port->WritePort(block.data(), block.size()));
    EXPECT_EQ(pty.Read(40), block);

    t1 = 255;  // the port reads the link's current T1 on every write
    const uint8_t ack[2] = {0x06, 0x00};
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(port->WritePort(ack, 2));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(255));
    EXPECT_EQ(pty.Read(2), Bytes({0x06, 0x00}));
}

// Abort from another thread ends a minute-long wait and pause; while aborted
// nothing waits and blocks still go out; reopening clears the abort.
TEST_F(PortOnPty, AbortCutsWaitsAndPausesUntilTheNextOpen) {
    for (WaitMode mode : {WaitMode::EventDriven, WaitMode::FixedSteps}) {
        port->SetWaitMode(mode);
        port->ClearAbort();
        std::thread aborter([&] { port->Abort(); });
        uint8_t buffer[8] = {};
        EXPECT_FALSE(port->WaitForInput(buffer, 4, 2400));  // 60 s unless aborted
        aborter.join();
    }
    EXPECT_FALSE(port->Pause(60000));
    t1 = 60000;
    const Bytes block = Sequence(4);
    ASSERT_TRUE(port->WritePort(block.data(), block.size()));
    EXPECT_EQ(pty.Read(4), block);
    t1 = 0;

    port->ClearAbort();
    EXPECT_TRUE(port->Pause(1));
    std::thread aborter([&] { port->Abort(); });
    EXPECT_FALSE(port->Pause(60000));
    aborter.join();
    ASSERT_TRUE(port->OpenDevice(pty.slavePath(), 6, 0, 0));
    EXPECT_FALSE(port->IsAborted());
}

TEST_F(PortOnPty, PurgeDropsQueuedInputAndBreakIsAccepted) {
    Queue(Sequence(12));
    port->PurgePort();
    EXPECT_TRUE(WaitFor([&] { return port->QueuedInputCount() == 0; }));
    port->SetBreak();
    port->ClearBreak();
    EXPECT_TRUE(port->IsOpen());
}

TEST_F(PortOnPty, CloseReleasesTheDeviceAndTwiceIsHarmless) {
    port->ClosePort();
    EXPECT_FALSE(port->IsOpen());
    EXPECT_NO_THROW(port->ClosePort());
    uint8_t buffer[4] = {};
    EXPECT_FALSE(port->WritePort(buffer, 4));
    EXPECT_FALSE(port->ReadPort(buffer, 1));
    EXPECT_EQ(port->QueuedInputCount(), 0u);
    EXPECT_TRUE(port->OpenDevice(pty.slavePath(), 6, 0, 0));
}

// The device behind a COM link goes away and comes back on another pty: the
// old descriptor is stale, and Reopen reaches the device the link names now,
// with the line settings of the first open and without a box.
TEST(SerialPortReopen, FollowsTheLinkToANewDeviceAfterTheOldOneWentAway) {
    char dirTemplate[] = "/tmp/tl-reopen-XXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    const std::string link = std::string(dirTemplate) + "/COM1";
    const auto pointLinkAt = [&](const std::string& target) {
        ::unlink(link.c_str());
        ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    };
    RecordingNotifier notifier;
    const uint16_t t1 = 0;
    auto owned = std::make_unique<PosixSerialBackend>();
    PosixSerialBackend* backend = owned.get();
    SerialPort port(notifier, t1, std::move(owned));
    EXPECT_FALSE(port.IsStale());  // nothing opened yet
    EXPECT_FALSE(port.Reopen());

    auto first = std::make_unique<PtyPair>();
    pointLinkAt(first->slavePath());
    ASSERT_TRUE(port.OpenDevice(link, 9, 2, 1));
    EXPECT_FALSE(port.IsStale());

    // Replaced while still alive: the link leads to another device.
    auto second = std::make_unique<PtyPair>();
    pointLinkAt(second->slavePath());
    EXPECT_TRUE(port.IsStale());
    pointLinkAt(first->slavePath());
    EXPECT_FALSE(port.IsStale());

    // Gone: the far end closes and the link is removed.
    first.reset();
    ::unlink(link.c_str());
    EXPECT_TRUE(port.IsStale());
    EXPECT_FALSE(port.Reopen());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(port.IsStale());  // still to be reopened

    pointLinkAt(second->slavePath());
    ASSERT_TRUE(port.Reopen());
    EXPECT_FALSE(port.IsStale());
    termios tio{};
    ASSERT_EQ(tcgetattr(backend->fd(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(TermiosSpeed(BaudRateForIndex(9))));
    EXPECT_NE(tio.c_cflag & CSTOPB, 0u);
    const Bytes block = Sequence(6, 0x40);
    ASSERT_TRUE(port.WritePort(block.data(), block.size()));
    EXPECT_EQ(second->Read(block.size()), block);
    EXPECT_TRUE(notifier.boxes.empty());
    EXPECT_EQ(port.openErrorCode(), 0);

    // A port closed on purpose is not stale.
    port.ClosePort();
    EXPECT_FALSE(port.IsStale());
    ::unlink(link.c_str());
    ::rmdir(dirTemplate);
}

// A backend whose single steps can be made to fail, for the paths a real
// device does not take on demand.
struct ScriptedBackend : SerialBackend {
    bool Open(const std::string&) override { return open = true; }
    bool IsOpen() const override { return open; }
    bool Configure(const LineSettings&) override { return configureOk; }
    bool SetNoTimeouts() override { return timeoutsOk; }
    void Purge() override { ++purges; }
    void SetBreak() override {}
    void ClearBreak() override {}
    bool Write(const uint8_t*, size_t) override { return open; }
    size_t QueuedInputCount() override { return 0; }
    bool Read(uint8_t*, size_t) override { return false; }
    bool WaitReadable(int) override { return false; }
    bool Close() override {
        open = false;
        errno = EIO;
        return closeOk;
    }
    bool open = false;
    bool configureOk = true;
    bool timeoutsOk = true;
    bool closeOk = true;
    int purges = 0;
};

TEST(SerialPortFailures, ConfigurationFailuresCloseThePortWithoutABox) {
    for (int failing = 0; failing < 2; ++failing) {
        RecordingNotifier notifier;
        const uint16_t t1 = 0;
        auto owned = std::make_unique<ScriptedBackend>();
        ScriptedBackend* backend = owned.get();
        backend->configureOk = failing != 0;
        backend->timeoutsOk = failing == 0;
        SerialPort port(notifier, t1, std::move(owned));
        EXPECT_FALSE(port.OpenDevice("/dev/scripted", 6, 0, 0));
        EXPECT_FALSE(port.IsOpen());
        EXPECT_TRUE(notifier.boxes.empty());
        EXPECT_EQ(port.openErrorCode(), 0);
    }
}

TEST(SerialPortFailures, RefusedCloseIsRaised) {
    RecordingNotifier notifier;
    const uint16_t t1 = 0;
    auto owned = std::make_unique<ScriptedBackend>();
    ScriptedBackend* backend = owned.get();
    SerialPort port(notifier, t1, std::move(owned));
    ASSERT_TRUE(port.OpenDevice("/dev/scripted", 6, 0, 0));
    EXPECT_EQ(backend->purges, 2);
    backend->closeOk = false;
    EXPECT_THROW(port.ClosePort(), std::system_error);
    EXPECT_NO_THROW(port.ClosePort());
}

}  // namespace
}  // namespace tarnlight
