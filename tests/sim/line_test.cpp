// Several simulated controllers on one pty, served in turn by the program's
// own SNP master: each answers only the attach that names it, with its own
// identity, password and memory.
#include <deque>

#include <gtest/gtest.h>

#include "sim/plc_simulator.h"
#include "sim/sim_line.h"
#include "snp/identity.h"
#include "tests/snp/snp_rig.h"

namespace tarnlight::test {
namespace {

sim::SimConfig Station(const std::string& id, uint8_t familyCode, uint16_t words) {
    sim::SimConfig c;
    c.cpuId = id;
    c.t1 = 0;
    c.familyCode = familyCode;  // 16 Series 90-30, 12 Series 90-70
    c.wordMemory = words;
    return c;
}

TEST(SimLineOfStations, EachStationAnswersOnlyItsOwnAttach) {
    sim::PlcSimulator plc(Station("PLCA", 16, 100));
    sim::SimConfig b = Station("PLCB", 12, 200);
    b.password = "pwB";
    ASSERT_EQ(plc.AddStation(b), 1);
    ASSERT_EQ(plc.AddStation(Station("PLCC", 16, 300)), 2);
    EXPECT_EQ(plc.AddStation(Station("PLCA", 16, 400)), -1);  // an ID is on a line once
    EXPECT_EQ(plc.AddStation(Station("", 16, 400)), -1);      // and never blank
    for (int s = 0; s < 3; ++s) {
        for (uint16_t a = 1; a <= 4; ++a) plc.station(s).SetWord(sim::kAreaR, a, (s + 1) * 10 + a);
    }
    plc.station(2).SetDead(true);
    ASSERT_TRUE(plc.OpenPty());
    ASSERT_TRUE(plc.Start());
    SnpRig rig(plc.slavePath());
    // Echoed by the stations: every wait is 1 s, so a silent one fails soon.
    rig.context.t2 = rig.context.t3b = 1000;
    rig.context.replyWaitSteps = 40;

    rig.config.CPU_ID = "";  // a blank ID is for one controller alone
    EXPECT_FALSE(rig.link->LinkSetUp());

    for (int round = 0; round < 2; ++round) {
        for (int s = 0; s < 2; ++s) {
            const sim::SimStation& station = plc.station(s);
            rig.config.CPU_ID = station.cpuId();
            rig.config.cpuPassword = "pwB";
            ASSERT_TRUE(rig.link->LinkSetUp()) << station.cpuId();
            EXPECT_EQ(plc.attachedStation(), s);
            EXPECT_EQ(rig.context.reportedCpuId, station.cpuId());
            EXPECT_EQ(snp::PlcFamilyName(rig.context.plcFamily),
                      s == 0 ? "Series 90-30" : "Series 90-70");
            ASSERT_TRUE(rig.link->ReadWords(1, 4, sim::kAreaR));
            for (uint16_t a = 1; a <= 4; ++a) EXPECT_EQ(rig.image.words[1][a], (s + 1) * 10 + a);
            // Each its own memory size: %R101 exists on B only.
            EXPECT_EQ(rig.link->WriteWord(101, 7, sim::kAreaR),
                      s == 0 ? snp::WriteResult::Refused : snp::WriteResult::Written);
            EXPECT_EQ(station.stats().attaches, static_cast<uint64_t>(round + 1));
        }
    }
    EXPECT_EQ(plc.station(1).GetWord(sim::kAreaR, 101), 7);
    EXPECT_EQ(plc.station(1).stats().writes, 2u);

    // B's password is its own: the wrong one is refused there only.
    rig.config.cpuPassword = "wrong";
    rig.config.CPU_ID = "PLCB";
    ASSERT_TRUE(rig.link->LinkSetUp());
    EXPECT_TRUE(rig.link->privilegeRefused());
    rig.config.CPU_ID = "PLCA";
    ASSERT_TRUE(rig.link->LinkSetUp());
    EXPECT_FALSE(rig.link->privilegeRefused());

    // The dead station never answers, and no one answers for it.
    rig.config.CPU_ID = "PLCC";
    EXPECT_FALSE(rig.link->LinkSetUp());
    EXPECT_EQ(plc.attachedStation(), 2);
    EXPECT_FALSE(rig.link->ReadWords(1, 4, sim::kAreaR));
    EXPECT_EQ(plc.station(2).stats().mailboxRequests, 0u);
    EXPECT_EQ(plc.station(0).stats().mailboxRequests, 16u);    // 2 x (4 set-up, read, write) + 4
    EXPECT_FALSE(plc.station(2).lastAttachRequest().empty());  // it heard them all

    plc.station(2).SetDead(false);
    ASSERT_TRUE(rig.link->LinkSetUp());
    ASSERT_TRUE(rig.link->ReadWords(1, 4, sim::kAreaR));
    EXPECT_EQ(rig.image.words[1][4], 34);
}

// A real port marks a break in its input (the controllers go back to waiting
// for an attach there); the marks never reach the frames.
TEST(SimLineOfStations, BreakMarksAreTakenOutOfTheInput) {
    sim::BreakMarks marks;
    std::deque<uint8_t> out;
    const uint8_t first[] = {0x1B, 0xFF, 0xFF, 0xFF, 0x00};
    const uint8_t second[] = {0x00, 0xFF, 0x00, 0x41};
    EXPECT_EQ(marks.Decode(first, sizeof first, out), 0);
    EXPECT_EQ(marks.Decode(second, sizeof second, out), 1);
    EXPECT_EQ(out, (std::deque<uint8_t>{0x1B, 0xFF, 0x41}));
}

}  // namespace
}  // namespace tarnlight::test
