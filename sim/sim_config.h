#pragma once
// What a simulated controller is (SimConfig), what it counts (SimStats) and
// logs (SimRequest), and the memory area numbers the simulator's API takes.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tarnlight::sim {

struct SimConfig {
    // SNP ID answered in the attach reply. A controller alone on its line
    // answers an attach with an empty ID or this ID and ignores others; with
    // several on the line only this ID selects it (PlcSimulator::AddStation).
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
    // The line's (taken from the first controller only, the one a
    // PlcSimulator is made with): 0 no line-speed emulation, else every byte
    // takes its wire time; 11 bits per byte with parity, 10 without.
    uint32_t lineBaud = 0;
    bool parity = true;
    int turnaroundMs = 0;      // extra delay before each reply
    bool liveProcess = false;  // counter in %R1 and a rotating pattern in %I1..%I8
    int ackWaitMs = 2000;      // how long the sim waits for the master's acknowledgement
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

// One decoded request, for tests: frame type, service code, data bytes
// 21..33 and sequence number. Attach requests addressed to the controller
// appear with frame type 'A' and zero fields; requests swallowed by a fault
// injection are listed too.
struct SimRequest {
    uint8_t frameType;
    uint8_t serviceCode;
    std::array<uint8_t, 13> data;
    uint8_t sequence;
};

}  // namespace tarnlight::sim
