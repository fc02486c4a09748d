#include "snp/frames.h"

#include "snp/bcc.h"

namespace tarnlight::snp {

MailboxFrame MailboxRequestTemplate(uint8_t serviceCode) {
    MailboxFrame f{};
    f[0] = kEsc;
    f[1] = kTypeMailbox;
    f[kMbKind] = kKindRequest;
    f[10] = 0x10;
    f[11] = 0x3A;
    f[14] = 0x10;
    f[15] = 0x0A;
    f[18] = 0x01;
    f[19] = 0x01;
    f[kMbServiceCode] = serviceCode;
    f[kMbEtb] = kEtb;
    return f;
}

MailboxFrame IntermediateFrame() {
    MailboxFrame f{};
    f[0] = kEsc;
    f[1] = kTypeIntermediate;
    f[kMbEtb] = kEtb;
    SealRaw(f.data(), f.size());  // 3Dh
    return f;
}

}  // namespace tarnlight::snp
