// Link set-up: identity tables, the bytes of each set-up request and what is
// taken from the replies (controller played by hand on a pty), and the whole
// chain against the simulator.
#include <gtest/gtest.h>

#include <future>

#include "fuzz/memory_backend.h"
#include "sim/plc_simulator.h"
#include "snp/identity.h"
#include "tests/snp/snp_rig.h"

namespace tarnlight::test {
namespace {

using snp::DecodeControllerType;
using snp::PlcFamilyName;
using snp::PlcModelName;

std::pair<std::string_view, std::string_view> Identify(uint8_t familyCode, uint8_t modelCode) {
    uint8_t family = 0, model = 0;
    DecodeControllerType(familyCode, modelCode, family, model);
    return {PlcFamilyName(family), PlcModelName(model)};
}

TEST(Identity, ModelCodesDecodeByFamilyInRuleOrder) {
    using P = std::pair<std::string_view, std::string_view>;
    EXPECT_EQ(Identify(16, 31), P("Series 90-20", "CPU211"));
    EXPECT_EQ(Identify(16, 30), P("Series 90-30", "CPU311"));
    EXPECT_EQ(Identify(16, 1), P("Series 90-30", "Micro UDR001"));
    EXPECT_EQ(Identify(12, 99), P("Series 90-70", "unknown"));
    EXPECT_EQ(Identify(12, 24), P("Series 90-70", "CPU924"));
    EXPECT_EQ(Identify(12, 94), P("Series 90-70", "CPU924"));
    EXPECT_EQ(Identify(9, 33), P("Series VersaMax", "Micro UDR002"));
    EXPECT_EQ(Identify(9, 34), P("Series VersaMax", "unknown"));

    // An unknown family code keeps what the previous attempt learned.
    uint8_t family = 3, model = 24;
    EXPECT_FALSE(DecodeControllerType(77, 30, family, model));
    EXPECT_EQ(family, 3);
    EXPECT_EQ(model, 24);
    EXPECT_EQ(PlcModelName(38), "unknown");
    EXPECT_EQ(PlcFamilyName(5), "unknown");
}

TEST(Identity, BreakDurationCoversUnselectedAndOutOfRangeRates) {
    EXPECT_EQ(snp::BreakDurationMs(0), 150u);
    EXPECT_EQ(snp::BreakDurationMs(5), 5u);
    EXPECT_EQ(snp::BreakDurationMs(9), 1u);
    EXPECT_EQ(snp::BreakDurationMs(-1), 3u);  // configured as 19200
    EXPECT_EQ(snp::BreakDurationMs(10), 3u);
}

TEST(LinkBreak, BreakFreeSendsNoBreak) {
    for (const bool breakFree : {true, false}) {
        auto backend = std::make_unique<fuzz::MemoryBackend>();
        fuzz::MemoryBackend& line = *backend;
        StreamNotifier notifier;
        snp::SnpLinkContext context;
        LinkConfig config;
        config.breakFree = breakFree;
        config.T4 = 0;
        snp::MemoryImage image;
        EngineFlags flags;
        SerialPort port(notifier, context.t1, std::move(backend));
        snp::SnpLink link(port, context, config, image, flags);
        link.SendLinkBreak();
        EXPECT_EQ(line.breaksSet, breakFree ? 0 : 1);
        EXPECT_EQ(line.breaksCleared, breakFree ? 0 : 1);
        EXPECT_EQ(line.purges, breakFree ? 1 : 2);
        EXPECT_TRUE(line.written.empty());
    }
}

class HandPlayed : public ::testing::Test {
  protected:
    PtyPair pty;
    SnpRig rig{pty.slavePath()};
};

TEST_F(HandPlayed, AttachPadsTheIdAndAdoptsTheControllersT1AndId) {
    rig.config.CPU_ID = "ABC";
    rig.context.t1 = 300;  // more than two hex digits can carry: sent as FF
    rig.context.reportedCpuId = "LONGNAME";
    auto done = std::async(std::launch::async, [&] { return rig.link->Attach(); });
    const Bytes request = pty.Read(snp::kAttachFrameSize);
    pty.Write(AttachReply("PLC1", "0A"));
    ASSERT_TRUE(done.get());

    ASSERT_EQ(request.size(), snp::kAttachFrameSize);
    const Bytes expectedHead = {0x1B, 'A', 'A', 'B', 'C', 0,   0,   0,    0, 0, 'F',
                                'F',  '0', '0', '0', ' ', ' ', ' ', 0x17, 0, 0, 0};
    EXPECT_EQ(Bytes(request.begin(), request.begin() + 22), expectedHead);
    EXPECT_TRUE(snp::CheckHex(request.data(), request.size()));
    EXPECT_EQ(rig.context.t1, 10);
    EXPECT_EQ(rig.context.reportedCpuId, "PLC1");
}

TEST_F(HandPlayed, AttachKeepsT1WhenTheReplyIsNotUppercaseHex) {
    rig.config.CPU_ID = "TOOLONGID";  // only 7 characters go out
    rig.context.t1 = 7;
    auto done = std::async(std::launch::async, [&] { return rig.link->Attach(); });
    const Bytes request = pty.Read(snp::kAttachFrameSize);
    pty.Write(AttachReply("EIGHTCHR", "0a"));
    ASSERT_TRUE(done.get());
    ASSERT_EQ(request.size(), snp::kAttachFrameSize);
    EXPECT_EQ(std::string(request.begin() + 2, request.begin() + 10), std::string("TOOLONG\0", 8));
    EXPECT_EQ(rig.context.t1, 7);
    EXPECT_EQ(rig.context.reportedCpuId, "EIGHTCHR");
}

TEST_F(HandPlayed, TimersTravelSplitBy255AndSetTheWaitLimits) {
    rig.context.t2 = 1000;
    rig.context.t3b = 5000;
    rig.context.plcState = 1;
    auto done = std::async(std::launch::async, [&] { return rig.link->NegotiateTimers(); });
    const Bytes request = ServeMailbox(pty, [](const Bytes& req) {
        Bytes echo(req.begin() + 22, req.begin() + 26);
        return MailboxReply(req[8], snp::kKindInlineReply, echo, 0x20);
    });
    EXPECT_EQ(pty.Read(2), kAckBytes);
    ASSERT_TRUE(done.get());
    ASSERT_EQ(request.size(), snp::kMailboxFrameSize);
    EXPECT_EQ(request[15], 0x3E);
    EXPECT_EQ(request[20], 0x00);
    EXPECT_EQ(Bytes(request.begin() + 22, request.begin() + 30),
              Bytes({0xEB, 0x03, 0x9B, 0x13, 0xE8, 0x03, 0x01, 0x00}));
    EXPECT_EQ(rig.context.t2, 1000);
    EXPECT_EQ(rig.context.t3b, 5000);
    EXPECT_EQ(rig.context.ackWaitSteps, 40);
    EXPECT_EQ(rig.context.replyWaitSteps, 200);
    EXPECT_EQ(rig.context.plcState, 1) << "the timer reply carries no status";

    // Zero timers from the controller fall back to 40 and 100 steps.
    done = std::async(std::launch::async, [&] { return rig.link->NegotiateTimers(); });
    ServeMailbox(pty, [](const Bytes& req) { return MailboxReply(req[8], snp::kKindInlineReply); });
    EXPECT_EQ(pty.Read(2), kAckBytes);
    ASSERT_TRUE(done.get());
    EXPECT_EQ(rig.context.t2, 0);
    EXPECT_EQ(rig.context.ackWaitSteps, 40);
    EXPECT_EQ(rig.context.replyWaitSteps, 100);
}

TEST_F(HandPlayed, ControllerTypeComesInA48ByteFrameWhateverTheReplyAnnounces) {
    auto done = std::async(std::launch::async, [&] { return rig.link->ReadControllerType(); });
    const Bytes request = ServeMailbox(pty, [](const Bytes& req) {
        return MailboxReply(req[8], snp::kKindTextReply, {}, 0x60, 'T', 500);
    });
    EXPECT_EQ(pty.Read(2), kAckBytes);
    Bytes data(40, 0);
    data[8] = 12;  // Series 90-70
    data[9] = 31;  // CPU731
    pty.Write(TextBuffer(data));
    EXPECT_EQ(pty.Read(2), kAckBytes);
    ASSERT_TRUE(done.get());
    ASSERT_EQ(request.size(), snp::kMailboxFrameSize);
    EXPECT_EQ(request[20], 0x43);
    EXPECT_EQ(rig.context.plcFamily, 1);
    EXPECT_EQ(rig.context.plcModel, 5);
    EXPECT_EQ(rig.context.plcState, 6);
}

TEST_F(HandPlayed, PrivilegeAndLastSetUpRequestCarryPasswordAndFamilyMark) {
    rig.config.cpuPassword = "SECRET12345";
    auto done = std::async(std::launch::async, [&] { return rig.link->RequestPrivilege(); });
    Bytes request = ServeMailbox(pty, [](const Bytes& req) {
        Bytes reply = MailboxReply(req[8], snp::kKindInlineReply);
        reply[29] = 3;
        snp::SealRaw(reply.data(), reply.size());
        return reply;
    });
    EXPECT_EQ(pty.Read(2), kAckBytes);
    ASSERT_TRUE(done.get());
    ASSERT_EQ(request.size(), snp::kMailboxFrameSize);
    EXPECT_EQ(request[20], 0x21);
    EXPECT_EQ(request[21], 0x04);
    EXPECT_EQ(std::string(request.begin() + 22, request.begin() + 30), "SECRET12");
    EXPECT_EQ(request[30], 0);
    EXPECT_EQ(rig.context.privilegeLevel, 3);

    // 30h at offset 31 for the Series 90-70 only.
    for (const uint8_t family : {1, 3}) {
        rig.context.plcFamily = family;
        done = std::async(std::launch::async, [&] { return rig.link->CompleteLinkSetUp(); });
        request = ServeMailbox(
            pty, [](const Bytes& req) { return MailboxReply(req[8], snp::kKindInlineReply); });
        EXPECT_EQ(pty.Read(2), kAckBytes);
        ASSERT_TRUE(done.get());
        ASSERT_EQ(request.size(), snp::kMailboxFrameSize);
        EXPECT_EQ(request[20], 0x20);
        EXPECT_EQ(request[21], 0x02);
        EXPECT_EQ(request[31], family == 1 ? 0x30 : 0x00);
    }
}

TEST_F(HandPlayed, SilentControllerFailsTheAttach) {
    rig.context.replyWaitSteps = 2;
    EXPECT_FALSE(rig.link->Attach());
    EXPECT_EQ(pty.Read(snp::kAttachFrameSize).size(), snp::kAttachFrameSize);
}

struct SimulatedPlc {
    explicit SimulatedPlc(sim::SimConfig config) : plc(std::move(config)) {
        EXPECT_TRUE(plc.OpenPty());
        EXPECT_TRUE(plc.Start());
    }
    sim::PlcSimulator plc;
};

TEST(LinkSetUpWithSimulator, LearnsIdentityTimersAndPrivilege) {
    sim::SimConfig config;
    config.cpuId = "LINE7";
    config.familyCode = 12;
    config.modelCode = 94;
    config.privilegeLevel = 2;
    config.t1 = 12;
    config.plcState = 6;
    SimulatedPlc sim(config);
    SnpRig rig(sim.plc.slavePath());
    rig.config.breakFree = false;
    rig.config.T4 = 0;
    rig.config.CPU_ID = "LINE7";
    rig.config.cpuPassword = "pw";

    ASSERT_TRUE(rig.link->LinkSetUp());
    EXPECT_EQ(rig.context.reportedCpuId, "LINE7");
    EXPECT_EQ(rig.context.t1, 12);
    EXPECT_EQ(rig.context.t2, 1000);
    EXPECT_EQ(rig.context.t3b, 5000);
    EXPECT_EQ(PlcFamilyName(rig.context.plcFamily), "Series 90-70");
    EXPECT_EQ(PlcModelName(rig.context.plcModel), "CPU924");
    EXPECT_EQ(rig.context.privilegeLevel, 2);
    EXPECT_EQ(rig.context.plcState, 6);
    const auto requests = sim.plc.requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().serviceCode, 0x20);
    EXPECT_EQ(requests.back().data[31 - 21], 0x30);
}

// The worker shows the set-up's progress through the steps LinkSetUp reports:
// each request that succeeded, in order, up to the first that fails.
TEST(LinkSetUpWithSimulator, ReportsEachStepUpToTheFirstFailure) {
    using S = snp::SetUpStep;
    SimulatedPlc sim(sim::SimConfig{});
    SnpRig rig(sim.plc.slavePath());
    rig.context.t2 = rig.context.t3b = 100;  // echoed: waits of 4 steps
    std::vector<S> steps;
    const auto record = [&](S step) { steps.push_back(step); };
    ASSERT_TRUE(rig.link->LinkSetUp(record));
    EXPECT_EQ(steps,
              (std::vector<S>{S::Attach, S::Timers, S::ControllerType, S::Privilege, S::Complete}));

    steps.clear();
    sim.plc.DropLineAfter(4);  // the last set-up request goes unanswered
    EXPECT_FALSE(rig.link->LinkSetUp(record));
    EXPECT_EQ(steps, (std::vector<S>{S::Attach, S::Timers, S::ControllerType, S::Privilege}));
}

TEST(LinkSetUpWithSimulator, ControllerWithAnotherIdDoesNotAnswer) {
    sim::SimConfig config;
    config.cpuId = "OTHER";
    SimulatedPlc sim(config);
    SnpRig rig(sim.plc.slavePath());
    rig.config.CPU_ID = "MINE";
    rig.context.replyWaitSteps = 4;
    EXPECT_FALSE(rig.link->LinkSetUp());
    EXPECT_TRUE(sim.plc.requests().empty());
}

}  // namespace
}  // namespace tarnlight::test
