#pragma once
// What the SNP layer keeps for the current link. Connect resets the fields
// marked so before the worker starts; sequenceNumber and the receive buffer
// are never reset.
#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "snp/frames.h"

namespace tarnlight::snp {

struct SnpLinkContext {
    // Every receive stores its bytes from the start; each frame overwrites the last.
    std::array<uint8_t, kReceiveBufferSize> receiveBuffer{};
    uint8_t sequenceNumber = 0;  // incremented (255 wraps to 0) before each mailbox request

    uint16_t t1 = 5;  // pause before every write, ms (Connect; the attach reply)
    uint16_t t2 = 1000;
    uint16_t t3b = 5000;
    uint16_t ackWaitSteps = 40;     // 25 ms checks of an acknowledgement wait
    uint16_t replyWaitSteps = 200;  // 25 ms checks of a frame wait

    std::string reportedCpuId;  // SNP ID from the attach reply, up to 8 characters
    uint8_t plcFamily = 0;      // index into plcFamilyNames
    uint8_t plcModel = 0;       // index into plcModelNames
    uint8_t privilegeLevel = 0;

    // Error codes of the controller's last error reply (reply offsets 20 and
    // 21): why it refused the request.
    uint8_t refusalMajor = 0;
    uint8_t refusalMinor = 0;

    // Decoded short status. Written by the worker, read by the window side
    // through the status calls, so kept atomic.
    std::atomic<uint8_t> plcState{0};
    std::atomic<uint16_t> sweepTime{0};

    // A Run/Stop command waiting to be sent: written by the Run and Stop
    // buttons (code first, then the flag), cleared by SendRunStop.
    std::atomic<uint8_t> runStopPending{0};
    std::atomic<uint8_t> runStopCode{0};
};

}  // namespace tarnlight::snp
