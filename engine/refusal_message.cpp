#include "engine/refusal_message.h"

#include "snp/memory.h"

namespace tarnlight {
namespace {

std::string HexCode(uint8_t code) {
    static const char kDigits[] = "0123456789ABCDEF";
    return {kDigits[code >> 4], kDigits[code & 0x0F], 'h'};
}

}  // namespace

std::string RefusalMessage(const snp::Refusal& refusal) {
    const std::string area(snp::AreaSymbol(refusal.type));
    std::string text;
    switch (refusal.request) {
        case snp::Refusal::Request::Write:
            text = "W21: PLC refused write to " + area + std::to_string(refusal.first);
            break;
        case snp::Refusal::Request::RunStop:
            text = refusal.runStopCode == snp::kRunIoEnabled ? "W22: PLC refused Run"
                                                             : "W22: PLC refused Stop";
            break;
        case snp::Refusal::Request::Read:
            text = "E24: PLC refused read of " + area + std::to_string(refusal.first) + ".." +
                   std::to_string(refusal.last);
            break;
    }
    return text + ", error " + HexCode(refusal.major) + "/" + HexCode(refusal.minor);
}

}  // namespace tarnlight
