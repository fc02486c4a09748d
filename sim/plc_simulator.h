#pragma once
// A simulated Series 90 controller: the SNP slave. It serves a pseudo-terminal
// (or a real serial port), answers attach, mailbox and intermediate frames,
// keeps the discrete and register memory, and can inject line faults. Tests,
// benchmarks and the demo talk to it exactly as the program talks to a PLC.
//
// Several controllers can share its line (AddStation), as several PLCs share
// one RS-485 pair: each station has its own SNP ID, memory, state, privilege,
// faults, counters and request log, and only the station that the last
// attach named answers. The methods below without a station act on station 0,
// the one the simulator is made with.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/sim_config.h"
#include "sim/sim_station.h"

namespace tarnlight::sim {

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

    // Adds a controller to the line, before Start(); returns its index. Once
    // there are several, an attach selects the station with the ID it names
    // (compared on the 8 bytes of the attach field) and every other station
    // goes back to waiting for its own attach, as after a break; an attach
    // with an empty or unknown ID selects none, and mailbox and intermediate
    // frames are answered only by the selected station. Only the line fields
    // of the first station's SimConfig (lineBaud, parity) count. Returns -1
    // while serving, for an empty ID, or for an ID already on the line
    // (station 0's included, which must then have one too).
    int AddStation(SimConfig config);
    int stationCount() const;
    int FindStation(const std::string& cpuId) const;  // -1 when none has that ID
    SimStation& station(int index);                   // 0 <= index < stationCount()
    const SimStation& station(int index) const;
    // The station the line is attached to: -1 for none; always 0 while the
    // simulator has only one station (it then answers without an attach too).
    int attachedStation() const;

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

    // Counters of station 0. Garbage and check-code errors on the line count
    // at the station the line is attached to (station 0 while none is).
    SimStats stats() const;

    // The decoded requests station 0 received so far (see SimRequest).
    using Request = SimRequest;
    std::vector<Request> requests() const;
    void ClearRequests();
    std::vector<uint8_t> lastAttachRequest() const;  // whole 24-byte attach request
    // The whole last 40-byte request: mailbox or intermediate frame.
    std::vector<uint8_t> lastMailboxRequest() const;

    // Notable events (attach, write, run/stop) as one line of text each, for
    // the CLI; with several stations each line starts with the station's ID
    // and a colon. Called on the serving thread; set before Start().
    using EventSink = void (*)(void* context, const std::string& line);
    void SetEventSink(EventSink sink, void* context);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tarnlight::sim
