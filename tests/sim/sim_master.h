#pragma once
// The master's side of the line for the simulator's tests: opens the
// simulator's pty slave like the program would and exchanges raw frames built
// here, so the simulator is checked independently of the program's own link code.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "snp/frames.h"

namespace tarnlight::test {

class SimMaster {
  public:
    explicit SimMaster(const std::string& path);
    ~SimMaster();
    bool ok() const { return fd_ >= 0; }

    void Send(const std::vector<uint8_t>& bytes);
    void Send(const snp::MailboxFrame& frame) { Send({frame.begin(), frame.end()}); }
    std::vector<uint8_t> Read(size_t count, int timeoutMs = 3000);
    // Everything that arrives until quietMs pass without a byte.
    std::vector<uint8_t> Drain(int quietMs = 150);
    void SendAck() { Send(std::vector<uint8_t>{snp::kAck, 0}); }

    // A full mailbox exchange: request, the controller's acknowledgement, the
    // 40-byte reply (check code verified), our acknowledgement. Returns the
    // reply, or an empty vector when any step failed.
    std::vector<uint8_t> Exchange(const snp::MailboxFrame& request);
    // Receives a text buffer of length bytes and acknowledges it.
    std::vector<uint8_t> TextBuffer(size_t length);

  private:
    int fd_ = -1;
};

std::vector<uint8_t> AttachRequest(const std::string& id, uint8_t t1);
// A sealed mailbox request; data holds offsets 21.. of the frame.
snp::MailboxFrame Mailbox(uint8_t service, uint8_t sequence, const std::vector<uint8_t>& data = {});

}  // namespace tarnlight::test
