#pragma once
// The master side of the SNP protocol over one serial port: frame exchange,
// attach and link set-up, and the service requests. Every operation returns a
// plain success flag; nothing is retried here, the communication thread
// decides what a failure means.
#include <cstddef>
#include <cstdint>
#include <functional>

#include "serial/serial_port.h"
#include "snp/frames.h"
#include "snp/memory.h"
#include "snp/plc_writer.h"
#include "snp/refusal.h"
#include "snp/snp_link_context.h"
#include "types/engine_flags.h"
#include "types/link_config.h"
#include "types/link_stats.h"

namespace tarnlight::snp {

// The requests of the link set-up, in the order they are sent.
enum class SetUpStep { Attach, Timers, ControllerType, Privilege, Complete };

class SnpLink : public PlcWriter {
  public:
    SnpLink(SerialPort& port, SnpLinkContext& context, const LinkConfig& config, MemoryImage& image,
            EngineFlags& flags);

    // Called after each verified mailbox reply has been decoded into plcState
    // and sweepTime (the engine shows the status there).
    void SetStatusHook(std::function<void()> hook) { statusHook_ = std::move(hook); }
    // Called for every request the controller refused with an error reply
    // (reads, writes, Run/Stop); the codes are also kept in the context.
    void SetRefusalHook(std::function<void(const Refusal&)> hook) {
        refusalHook_ = std::move(hook);
    }

    // Where the line's faults and the mailbox requests are counted; none
    // when not set. Each fault is counted once, where it is detected: a
    // missing acknowledgement in WaitAck, an incomplete or a wrongly checked
    // frame in the frame waits, a wrong sequence number and an error reply
    // in MailboxExchange. Waits cut short by Abort count nothing.
    void SetCounters(LinkCounters* counters) { counters_ = counters; }

    // --- frames and exchanges ---
    bool WaitAck();
    bool WaitFrame(size_t length);
    bool WaitAttachReply();
    void SendAck();
    // Fills in the sequence number, seals and sends the 40-byte request, then
    // waits for the acknowledgement and the reply. decodeStatus is false only
    // for the timer request. The reply stays in the receive buffer.
    bool MailboxExchange(MailboxFrame& request, bool decodeStatus = true);
    // Reads the text buffers announced by the mailbox reply in the receive
    // buffer; delivers each buffer's data bytes in order to sink. A length
    // below 8 or above the receive buffer fails the read.
    bool ReadTextBuffers(const std::function<void(const uint8_t* data, size_t count)>& sink);
    // The intermediate frame exchange (keep-alive while halted).
    bool ExchangeIntermediate();

    // --- attach and link set-up ---
    void SendLinkBreak();
    bool Attach();
    bool NegotiateTimers();
    bool ReadControllerType();
    // A refused password (error reply) is no failure: it is reported through
    // the refusal hook, the link goes on at the level the controller keeps,
    // which CompleteLinkSetUp takes from its reply. An error reply to any
    // other set-up request fails it, as a missing reply does.
    bool RequestPrivilege();
    bool CompleteLinkSetUp();
    // The privilege change of the running (or last) set-up was refused.
    bool privilegeRefused() const { return privilegeRefused_; }
    // One connection attempt: the break, then the set-up requests in order up
    // to the first that fails. stepDone, when given, is called after each
    // request that succeeded (the worker shows its progress there). True
    // when the link is up.
    bool LinkSetUp(const std::function<void(SetUpStep)>& stepDone = {});

    // --- service requests ---
    void DecodeShortStatus(const uint8_t* reply);
    bool ReadShortStatus();
    bool SendIntermediate();
    // False only when the link failed. A command the controller refused is
    // reported through the refusal hook and leaves the link up (true).
    bool SendRunStop();
    // A read the controller refused fails like any other (false, linkLost)
    // and is reported through the refusal hook.
    bool ReadBits(uint16_t first, uint16_t last, int area);
    bool ReadWords(uint16_t first, uint16_t last, int area);
    // Written (D4h reply), Refused (error reply, reported through the
    // refusal hook; linkLost stays clear) or Failed (linkLost set). Any
    // address 1..65535 goes out: a write does not touch the image, and the
    // controller decides what memory it has.
    WriteResult WriteBit(uint16_t address, uint8_t value, int area) override;
    WriteResult WriteWord(uint16_t address, uint16_t value, int area) override;
    // One request of length count; a count outside 1..kMaxWordsPerWrite
    // sends nothing and fails.
    WriteResult WriteWords(uint16_t address, const uint16_t* words, int count, int area) override;

    SnpLinkContext& context() { return context_; }
    SerialPort& port() { return port_; }

  private:
    // The data of the read reply in the receive buffer: inline in a D4h reply
    // or in the text buffers that follow a 94h reply; delivered to store.
    bool ReceiveReadData(size_t byteCount,
                         const std::function<void(const uint8_t*, size_t)>& store);
    // True when the reply in the receive buffer is an error reply; its codes
    // then go into the context and, with what was asked, to the hook.
    bool TakeRefusal(Refusal refusal);
    // The reply in the receive buffer is an error reply.
    bool RefusedReply() const { return context_.receiveBuffer[kMbKind] == kKindErrorReply; }
    // Outcome of an exchanged request that changes the controller: a D4h
    // reply took it, an error reply refused it, anything else is no answer.
    WriteResult Outcome(bool exchanged, const Refusal& ifRefused);
    // Sends a filled write request unless valid is false (no such cell:
    // Failed, nothing sent); sets linkLost as the result says.
    WriteResult WriteCell(MailboxFrame& request, bool valid, int type, uint16_t address);

    using Counter = std::atomic<uint64_t> LinkCounters::*;
    void Count(Counter counter) {
        if (counters_ != nullptr) ++(counters_->*counter);
    }
    // Counts a fault of the line, unless the wait was cut short by Abort;
    // always false, for the failing wait to return.
    bool Fault(Counter counter);

    SerialPort& port_;
    SnpLinkContext& context_;
    const LinkConfig& config_;
    MemoryImage& image_;
    EngineFlags& flags_;
    std::function<void()> statusHook_;
    std::function<void(const Refusal&)> refusalHook_;
    bool privilegeRefused_ = false;
    LinkCounters* counters_ = nullptr;
};

}  // namespace tarnlight::snp
