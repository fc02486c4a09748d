#pragma once
// One simulated controller: its identity, memory, Run/Stop state, privilege,
// fault injection, counters and request log, and the replies it sends. The
// line (plc_simulator.h) reads the frames and hands each one to the station
// it is meant for, so several stations can share one line as several
// controllers share an RS-485 pair. Tests reach a station through
// PlcSimulator::station(); everything in the first block is thread-safe.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "sim/sim_config.h"
#include "sim/sim_memory.h"

namespace tarnlight::sim {

class SimLine;

class SimStation {
  public:
    explicit SimStation(SimConfig config);
    SimStation(const SimStation&) = delete;
    SimStation& operator=(const SimStation&) = delete;

    // The configuration in force (text buffer size and ack wait made valid).
    const SimConfig& config() const { return config_; }
    const std::string& cpuId() const { return config_.cpuId; }

    // Memory: %I %M %Q 1..8192 bits (area 0..2), %AI %R %AQ 1..4096 words
    // (area 0..2). Out-of-range addresses read 0 and ignore writes.
    void SetBit(int area, uint16_t address, bool value) { memory_.SetBit(area, address, value); }
    bool GetBit(int area, uint16_t address) const { return memory_.GetBit(area, address); }
    void SetWord(int area, uint16_t address, uint16_t value) {
        memory_.SetWord(area, address, value);
    }
    uint16_t GetWord(int area, uint16_t address) const { return memory_.GetWord(area, address); }
    void SetMemorySize(uint32_t bits, uint32_t words) { memory_.SetSize(bits, words); }
    void SetPlcState(uint8_t state) { state_.store(state & 0x0F); }
    uint8_t plcState() const { return state_.load(); }
    void SetSweepTime(uint16_t tenthsMs) { sweepTime_.store(tenthsMs); }

    // Fault injection; see PlcSimulator for what each one does.
    void SetDead(bool dead) { dead_.store(dead); }
    void FailAcks(int count) { Arm(failAcks_, count); }
    void CorruptBcc(int count) { Arm(corruptBcc_, count); }
    void WrongSequence(int count) { Arm(wrongSeq_, count); }
    void IgnoreWrites(int count) { Arm(ignoreWrites_, count); }
    void RefuseWrites(int count) { Arm(refuseWrites_, count); }
    void RefuseRunStop(int count) { Arm(refuseRunStop_, count); }
    void RefuseService(uint8_t serviceCode, int count);
    void DropLineAfter(int exchanges);
    void RestoreLine();

    SimStats stats() const;
    std::vector<SimRequest> requests() const;
    void ClearRequests();
    std::vector<uint8_t> lastAttachRequest() const;
    std::vector<uint8_t> lastMailboxRequest() const;

    // --- The serving thread's side (PlcSimulator only) ---

    // Dead or dropped: the station answers nothing.
    bool silent() const { return dead_.load() || dropped_.load(); }
    // Every attach on the line passes every station; each keeps the last.
    void SeeAttach(const uint8_t* frame);
    // A break or an attach for another station ended this station's link:
    // it waits for its own attach again, with the privilege of a fresh link.
    void Detach() { granted_ = kFreshLinkPrivilege; }
    // Answers an attach addressed to it; `id` is the ID the request named.
    void Attach(SimLine& line, const uint8_t* frame, const std::string& id);
    void HandleMailbox(SimLine& line, const uint8_t* frame);
    void HandleIntermediate(SimLine& line, const uint8_t* frame);
    void AddStat(uint64_t SimStats::*field, uint64_t n = 1);
    void LiveTick();
    // Notable events (attach, write, run/stop) as one line of text each.
    void SetEventSink(std::function<void(const std::string&)> sink) { sink_ = std::move(sink); }

  private:
    using Clock = std::chrono::steady_clock;
    // The level every fresh link starts with, until a privilege request.
    static constexpr uint8_t kFreshLinkPrivilege = 1;

    static void Arm(std::atomic<int>& counter, int count) { counter.store(count > 0 ? count : 0); }
    void CountServed();
    void Log(const uint8_t* frame);
    void Event(const std::string& text) {
        if (sink_) sink_(text);
    }
    bool SendBlock(SimLine& line, const uint8_t* bytes, size_t count);
    bool SendReply(SimLine& line, uint8_t* frame, size_t count, bool hexCheck);
    bool WaitAck(SimLine& line);
    void SendTextBuffers(SimLine& line, const std::vector<uint8_t>& data);

    SimConfig config_;
    SimMemory memory_;
    std::atomic<uint8_t> state_;
    std::atomic<uint16_t> sweepTime_;

    std::atomic<bool> dead_{false};
    std::atomic<bool> dropped_{false};
    std::atomic<int> failAcks_{0}, corruptBcc_{0}, wrongSeq_{0}, ignoreWrites_{0};
    std::atomic<int> refuseWrites_{0}, refuseRunStop_{0};
    std::atomic<int> refuseServiceCode_{-1}, refuseService_{0};
    std::atomic<int> dropAfter_{-1};

    mutable std::mutex mutex_;  // guards the fields below
    SimStats stats_;
    std::vector<SimRequest> requests_;
    std::vector<uint8_t> lastAttach_, lastMailbox_;

    // Serving thread only.
    std::function<void(const std::string&)> sink_;
    uint16_t activeT1_ = 0;  // no pause until the first attach
    uint8_t granted_ = kFreshLinkPrivilege;
    Clock::time_point lastLiveTick_ = Clock::now();
};

}  // namespace tarnlight::sim
