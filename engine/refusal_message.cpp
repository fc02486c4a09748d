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
    const std::string codes = HexCode(refusal.major) + "/" + HexCode(refusal.minor);
    switch (refusal.request) {
        case snp::Refusal::Request::Write:
            return "W21: " + area + std::to_string(refusal.first) + " write refused " + codes;
        case snp::Refusal::Request::RunStop:
            return refusal.runStopCode == snp::kRunIoEnabled ? "W22: Run refused " + codes
                                                             : "W22: Stop refused " + codes;
        case snp::Refusal::Request::Privilege:
            return "W23: Password refused " + codes;
        case snp::Refusal::Request::Read:
            // "read refused" would not fit the panel at 4-digit ranges.
            return "E24: " + area + std::to_string(refusal.first) + ".." +
                   std::to_string(refusal.last) + " read error " + codes;
    }
    return {};
}

}  // namespace tarnlight
