#pragma once
// A simulated Series 90 controller: the SNP slave. It serves a pseudo-terminal
// (or a real serial port), answers attach, mailbox and intermediate frames,
// keeps the discrete and register memory, and can inject line faults. Tests,
// benchmarks and the demo talk to it exactly as the program talks to a PLC.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tarnlight::sim {

struct SimConfig {
    // SNP ID answered in the attach reply. Attach requests with an empty ID or
    // this ID are answered, others ignored (several controllers on one line).
    std::string cpuId;
    uint8_t familyCode = 16;     // controller type frame byte 10 (16: Series 90-30)
    uint8_t modelCode = 30;      // byte 11 (30: CPU311)
    uint8_t privilegeLevel = 2;  // granted by the privilege request
    // Empty: every privilege request is granted. Else only one carrying this
    // password (at most 8 characters); another gets an error reply
    // (kErrorRefused) and the link keeps the level it has.
    std::string password;
    uint16_t t1 = 5;         // T1 returned in the attach reply (ms); paused before each block sent
    bool echoTimers = true;  // timer reply echoes the request's T2/T3' bytes; else t2Reply/t3bReply
    uint16_t t2Reply = 1000, t3bReply = 5000;
    uint8_t plcState = 0;         // 0 "Run, I/O Enabled" ... 6 "Stop, I/O Enabled"
    uint16_t sweepTime = 123;     // tenths of ms while running; reported 0 while stopped
    size_t textBufferData = 256;  // data bytes per text buffer of a long read reply (even number)
    uint32_t lineBaud = 0;        // 0: no line-speed emulation; else every byte takes its wire time
    bool parity = true;           // 11 bits per byte with parity, 10 without (for the emulation)
    int turnaroundMs = 0;         // extra delay before each reply
    bool liveProcess = false;     // counter in %R1 and a rotating pattern in %I1..%I8
    int ackWaitMs = 2000;         // how long the sim waits for the master's acknowledgement
    // Memory size: addresses per bit area (at most 8192) and per word area (at
    // most 4096). Reads and writes reaching beyond it get an error reply.
    uint32_t bitMemory = 8192;
    uint32_t wordMemory = 4096;
};

// Error codes (major, minor; reply offsets 20 and 21) of the simulator's
// error replies. They are the simulator's own choice, only there so that a
// master can show them.
struct SimErrorCodes {
    uint8_t major;
    uint8_t minor;
};
inline constexpr SimErrorCodes kErrorNoSuchMemory{0x04, 0x02};  // selector or address
inline constexpr SimErrorCodes kErrorRefused{0x05, 0x01};       // the refusal faults

struct SimStats {
    uint64_t attaches = 0;
    uint64_t mailboxRequests = 0;
    uint64_t intermediates = 0;
    uint64_t acksReceived = 0;
    uint64_t writes = 0;
    uint64_t garbageBytes = 0;
    uint64_t bccErrors = 0;
};

// Memory areas by index.
inline constexpr int kAreaI = 0, kAreaM = 1, kAreaQ = 2;    // bit areas, 1..8192
inline constexpr int kAreaAI = 0, kAreaR = 1, kAreaAQ = 2;  // word areas, 1..4096
inline constexpr uint16_t kBitCount = 8192;
inline constexpr uint16_t kWordCount = 4096;

class PlcSimulator {
  public:
    explicit PlcSimulator(SimConfig config = {});
    ~PlcSimulator();  // stops the thread, closes, removes the link it created
    PlcSimulator(const PlcSimulator&) = delete;
    PlcSimulator& operator=(const PlcSimulator&) = delete;

    bool OpenPty();  // creates a pty; slavePath() names the device the master opens
    bool OpenDevice(const std::string& path, uint32_t baud);  // serve a real serial port instead
    const std::string& slavePath() const;
    // <SettingsDirectory()>/devices/COM<comIndex+1> -> slavePath (replaces an old link).
    bool CreateDeviceLink(int comIndex);
    const std::string& deviceLinkPath() const;  // empty when none was made
    bool Start();                               // serving thread
    void Stop();

    // Memory: %I %M %Q 1..8192 bits (area 0..2), %AI %R %AQ 1..4096 words
    // (area 0..2). Out-of-range addresses read 0 and ignore writes. Thread-safe.
    void SetBit(int area, uint16_t address, bool value);
    bool GetBit(int area, uint16_t address) const;
    void SetWord(int area, uint16_t address, uint16_t value);
    uint16_t GetWord(int area, uint16_t address) const;
    void SetPlcState(uint8_t state);
    uint8_t plcState() const;
    void SetSweepTime(uint16_t tenthsMs);

    // The memory size of SimConfig, at run time.
    void SetMemorySize(uint32_t bits, uint32_t words);

    // Fault injection (at run time; the CLI flags set the same at start).
    // FailAcks and WrongSequence act on mailbox (and FailAcks on intermediate)
    // requests; CorruptBcc on attach, mailbox and intermediate replies, not on
    // text buffers. Requests that name an unknown memory selector, and reads
    // and writes reaching beyond the memory size, get an error reply (kind
    // D1h, kErrorNoSuchMemory) and change nothing.
    void SetDead(bool dead);        // no answer at all
    void FailAcks(int count);       // do not acknowledge the next count requests (no reply either)
    void CorruptBcc(int count);     // wrong check code on the next count replies
    void WrongSequence(int count);  // wrong sequence number on the next count mailbox replies
    void IgnoreWrites(int count);   // the next count write requests get no acknowledgement
    // The next count write requests, or Run/Stop requests, are answered with
    // an error reply (kErrorRefused); nothing changes.
    void RefuseWrites(int count);
    void RefuseRunStop(int count);
    // The next count mailbox requests with this service code (the set-up's
    // 00h timers, 43h controller type, 21h privilege, 20h completion, ...)
    // get an error reply (kErrorRefused).
    void RefuseService(uint8_t serviceCode, int count);
    void DropLineAfter(
        int exchanges);  // silent (pulled cable) after that many further requests; -1 cancels
    void RestoreLine();  // answer again after a drop

    SimStats stats() const;

    // The decoded requests received so far, for tests: frame type, service
    // code, data bytes 21..33 and sequence number. Attach requests addressed
    // to this controller appear with frame type 'A' and zero fields; requests
    // swallowed by a fault injection are listed too.
    struct Request {
        uint8_t frameType;
        uint8_t serviceCode;
        std::array<uint8_t, 13> data;
        uint8_t sequence;
    };
    std::vector<Request> requests() const;
    void ClearRequests();
    std::vector<uint8_t> lastAttachRequest() const;  // whole 24-byte attach request
    // The whole last 40-byte request: mailbox or intermediate frame.
    std::vector<uint8_t> lastMailboxRequest() const;

    // Notable events (attach, write, run/stop) as one line of text each, for
    // the CLI. Called on the serving thread; set before Start().
    using EventSink = void (*)(void* context, const std::string& line);
    void SetEventSink(EventSink sink, void* context);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tarnlight::sim
