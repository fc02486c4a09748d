// The simulator driven with raw frames over its real pty.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

#include <unistd.h>

#include <gtest/gtest.h>

#include "sim/plc_simulator.h"
#include "snp/bcc.h"
#include "tests/sim/sim_master.h"
#include "tests/support/temp_config_home.h"
#include "tests/support/wait_for.h"

namespace tarnlight::sim {
namespace {

using test::AttachRequest;
using test::Mailbox;
using test::SimMaster;
using test::WaitFor;

class SimTest : public ::testing::Test {
  protected:
    void Open(SimConfig config = {}) {
        config.ackWaitMs = 500;
        config.t1 = 0;
        sim_ = std::make_unique<PlcSimulator>(config);
        ASSERT_TRUE(sim_->OpenPty());
        ASSERT_TRUE(sim_->Start());
        master_ = std::make_unique<SimMaster>(sim_->slavePath());
        ASSERT_TRUE(master_->ok());
    }
    std::vector<uint8_t> Exchange(uint8_t service, std::vector<uint8_t> data = {}) {
        return master_->Exchange(Mailbox(service, ++seq_, data));
    }
    std::unique_ptr<PlcSimulator> sim_;
    std::unique_ptr<SimMaster> master_;
    uint8_t seq_ = 0;
};

TEST_F(SimTest, AttachAnsweredForOwnOrEmptyIdAndIgnoredForForeignId) {
    SimConfig c;
    c.cpuId = "PLC7";
    Open(c);
    // t1 of 0 in the fixture: the reply carries "00".
    master_->Send(AttachRequest("OTHER", 5));
    master_->Send(AttachRequest("PLC7", 5));
    auto reply = master_->Read(24);
    ASSERT_EQ(reply.size(), 24u);
    EXPECT_TRUE(snp::CheckHex(reply.data(), 24));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&reply[2]), 8), std::string("PLC7\0\0\0\0", 8));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&reply[10]), 8), "00000   ");
    EXPECT_EQ(reply[18], snp::kEtb);
    EXPECT_TRUE(master_->Drain().empty());  // nothing for the foreign ID

    master_->Send(AttachRequest("", 5));
    EXPECT_EQ(master_->Read(24).size(), 24u);
    EXPECT_EQ(sim_->stats().attaches, 2u);
    EXPECT_EQ(sim_->lastAttachRequest(), AttachRequest("", 5));
}

TEST(SimT1, AttachReplyCarriesConfiguredT1) {
    SimConfig c;
    c.t1 = 10;
    PlcSimulator sim(c);
    ASSERT_TRUE(sim.OpenPty());
    ASSERT_TRUE(sim.Start());
    SimMaster m(sim.slavePath());
    m.Send(AttachRequest("", 5));
    auto reply = m.Read(24);
    ASSERT_EQ(reply.size(), 24u);
    EXPECT_EQ(reply[10], '0');
    EXPECT_EQ(reply[11], 'A');
}

TEST_F(SimTest, SetUpChainTimersTypePrivilegeAndLastRequest) {
    SimConfig c;
    c.cpuId = "X1";
    c.familyCode = 12;
    c.modelCode = 88;
    c.privilegeLevel = 3;
    Open(c);
    // Timer request: echoed bytes.
    auto timer = snp::MailboxRequestTemplate(0x00);
    timer[15] = 0x3E;
    timer[8] = 1;
    timer[22] = 0xEB, timer[23] = 0x03, timer[24] = 0x9B, timer[25] = 0x13;
    snp::SealRaw(timer.data(), timer.size());
    auto reply = master_->Exchange(timer);
    ASSERT_EQ(reply.size(), 40u);
    EXPECT_EQ(reply[8], 1);
    EXPECT_EQ(reply[22], 0xEB);
    EXPECT_EQ(reply[25], 0x13);

    seq_ = 1;
    reply = Exchange(0x43);
    ASSERT_EQ(reply.size(), 40u);
    auto type = master_->TextBuffer(48);
    ASSERT_EQ(type.size(), 48u);
    EXPECT_EQ(type[1], 'T');
    EXPECT_EQ(type[10], 12);
    EXPECT_EQ(type[11], 88);

    reply = Exchange(0x21, {0x04, 'p', 'w'});
    ASSERT_EQ(reply.size(), 40u);
    EXPECT_EQ(reply[29], 3);

    std::vector<uint8_t> last(11, 0);
    last[0] = 0x02;
    last[10] = 0x30;  // offset 31
    ASSERT_EQ(Exchange(0x20, last).size(), 40u);
    EXPECT_EQ(sim_->lastMailboxRequest()[31], 0x30);
    const auto reqs = sim_->requests();
    ASSERT_EQ(reqs.size(), 4u);
    EXPECT_EQ(reqs[1].serviceCode, 0x43);
    EXPECT_EQ(reqs[3].sequence, 4);
    EXPECT_TRUE(WaitFor([&] { return sim_->stats().acksReceived == 5; }));
}

TEST(SimTimers, FixedTimerReplyWhenNotEchoing) {
    SimConfig c;
    c.echoTimers = false;
    c.t2Reply = 1000;
    c.t3bReply = 0;
    PlcSimulator sim(c);
    ASSERT_TRUE(sim.OpenPty());
    ASSERT_TRUE(sim.Start());
    SimMaster m(sim.slavePath());
    auto timer = snp::MailboxRequestTemplate(0x00);
    timer[15] = 0x3E;
    timer[22] = 0x11;
    snp::SealRaw(timer.data(), timer.size());
    auto reply = m.Exchange(timer);
    ASSERT_EQ(reply.size(), 40u);
    EXPECT_EQ(reply[22], 0xEB);
    EXPECT_EQ(reply[23], 0x03);
    EXPECT_EQ(reply[24], 0);
    EXPECT_EQ(reply[25], 0);
}

TEST_F(SimTest, ReadsInlineAndInTextBuffers) {
    SimConfig c;
    c.textBufferData = 100;
    Open(c);
    sim_->SetBit(kAreaI, 1, true);
    sim_->SetBit(kAreaI, 3, true);
    sim_->SetBit(kAreaM, 16, true);
    // %I 1..8: first byte 0, count 1.
    auto reply = Exchange(0x04, {0x10, 0, 0, 1, 0});
    ASSERT_EQ(reply.size(), 40u);
    EXPECT_EQ(reply[9], 0xD4);
    EXPECT_EQ(reply[22], 0x05);
    // %M 9..16: first byte 1.
    reply = Exchange(0x04, {0x16, 1, 0, 1, 0});
    EXPECT_EQ(reply[22], 0x80);
    // %R 1..3 inline, low byte first.
    sim_->SetWord(kAreaR, 1, 0xFFFF);
    sim_->SetWord(kAreaR, 3, 1234);
    reply = Exchange(0x04, {0x08, 0, 0, 3, 0});
    EXPECT_EQ(reply[9], 0xD4);
    EXPECT_EQ(reply[22], 0xFF);
    EXPECT_EQ(reply[23], 0xFF);
    EXPECT_EQ(snp::GetLe16(&reply[26]), 1234);

    // 110 words of %AQ from address 3987 to the last one, 4096: 220 bytes in
    // buffers of 100, 100 and 20.
    for (uint16_t a = 3987; a <= 4096; ++a) sim_->SetWord(kAreaAQ, a, a);
    reply = Exchange(0x04, {0x0C, 0x92, 0x0F, 110, 0});
    ASSERT_EQ(reply.size(), 40u);
    EXPECT_EQ(reply[9], 0x94);
    EXPECT_EQ(reply[35], 'T');
    size_t length = snp::GetLe16(&reply[36]);
    std::vector<uint8_t> data;
    std::vector<size_t> lengths;
    while (length != 0) {
        auto tb = master_->TextBuffer(length);
        ASSERT_EQ(tb.size(), length);
        lengths.push_back(length);
        data.insert(data.end(), tb.begin() + 2, tb.end() - 6);
        length = tb[length - 5] == 'T' ? snp::GetLe16(&tb[length - 4]) : 0;
    }
    EXPECT_EQ(lengths, (std::vector<size_t>{108, 108, 28}));
    ASSERT_EQ(data.size(), 220u);
    EXPECT_EQ(snp::GetLe16(&data[0]), 3987);
    EXPECT_EQ(snp::GetLe16(&data[2 * 109]), 4096);

    // An unknown selector, and a range past the memory, get an error reply
    // without data; a smaller memory ends earlier, for bits in whole bytes.
    for (const std::vector<uint8_t>& request : {std::vector<uint8_t>{0x55, 0, 0, 1, 0},
                                                {0x0C, 0x93, 0x0F, 110, 0},
                                                {0x12, 0xFF, 0x03, 2, 0}}) {
        reply = Exchange(0x04, request);
        ASSERT_EQ(reply.size(), 40u);
        EXPECT_EQ(reply[9], 0xD1);
        EXPECT_EQ(reply[20], kErrorNoSuchMemory.major);
        EXPECT_EQ(reply[21], kErrorNoSuchMemory.minor);
        EXPECT_TRUE(master_->Drain().empty());
    }
    sim_->SetMemorySize(12, 10);
    EXPECT_EQ(Exchange(0x04, {0x10, 1, 0, 1, 0})[9], 0xD4);  // %I 9..16 holds 9..12
    EXPECT_EQ(Exchange(0x04, {0x10, 1, 0, 2, 0})[9], 0xD1);
    EXPECT_EQ(Exchange(0x04, {0x08, 9, 0, 1, 0})[9], 0xD4);  // %R10
    EXPECT_EQ(Exchange(0x04, {0x08, 9, 0, 2, 0})[9], 0xD1);
}

TEST_F(SimTest, WritesChangeMemory) {
    Open();
    // %Q 17 = 1, %AQ 3 = 1234.
    ASSERT_EQ(Exchange(0x07, {0x48, 16, 0, 1, 0, 0xFF}).size(), 40u);
    ASSERT_EQ(Exchange(0x07, {0x0C, 2, 0, 1, 0, 0xD2, 0x04}).size(), 40u);
    EXPECT_TRUE(sim_->GetBit(kAreaQ, 17));
    EXPECT_EQ(sim_->GetWord(kAreaAQ, 3), 1234);
    ASSERT_EQ(Exchange(0x07, {0x48, 16, 0, 1, 0, 0x00}).size(), 40u);
    EXPECT_FALSE(sim_->GetBit(kAreaQ, 17));
    // Out of range: error reply, nothing written.
    EXPECT_EQ(Exchange(0x07, {0x08, 0x00, 0x10, 1, 0, 1, 0})[9], 0xD1);
    EXPECT_EQ(sim_->stats().writes, 3u);
}

TEST_F(SimTest, RunStopChangesStateAndSweep) {
    SimConfig c;
    c.sweepTime = 321;
    Open(c);
    auto reply = Exchange(0x00);
    EXPECT_EQ(snp::GetLe16(&reply[30]), 321);
    EXPECT_EQ(reply[33], 0x00);
    reply = Exchange(0x23, {6});
    EXPECT_EQ(reply[33], 0x60);
    EXPECT_EQ(snp::GetLe16(&reply[30]), 0);
    EXPECT_EQ(sim_->plcState(), 6);
    reply = Exchange(0x23, {0});
    EXPECT_EQ(snp::GetLe16(&reply[30]), 321);
    sim_->SetPlcState(2);
    EXPECT_EQ(Exchange(0x00)[33], 0x20);
}

TEST_F(SimTest, GarbageAndBadCheckCodes) {
    Open();
    master_->Send(std::vector<uint8_t>{0x00, 0x41, 0xFF, 0x1B, 0x7A, 0x06});  // noise, a false ESC
    ASSERT_EQ(Exchange(0x00).size(), 40u);
    EXPECT_EQ(sim_->stats().garbageBytes, 6u);

    auto bad = Mailbox(0x00, ++seq_);
    bad[39] ^= 0x01;
    master_->Send(bad);
    auto attach = AttachRequest("", 5);
    attach[12] = '1';  // body no longer matches its check characters
    master_->Send(attach);
    EXPECT_TRUE(WaitFor([&] { return sim_->stats().bccErrors == 2; }));
    EXPECT_TRUE(master_->Drain().empty());
    // Intermediate frames are answered in 'I' shape.
    master_->Send(snp::IntermediateFrame());
    EXPECT_EQ(master_->Read(2), (std::vector<uint8_t>{0x06, 0x00}));
    auto reply = master_->Read(40);
    ASSERT_EQ(reply.size(), 40u);
    EXPECT_EQ(reply[1], 'I');
    EXPECT_TRUE(snp::CheckRaw(reply.data(), 40));
}

TEST_F(SimTest, SurvivesLineNoise) {
    Open();
    std::mt19937 rng(7);
    std::vector<uint8_t> noise(8192);
    for (auto& b : noise) b = static_cast<uint8_t>(rng() % 4 == 0 ? snp::kEsc : rng());
    master_->Send(noise);
    master_->Send(std::vector<uint8_t>(40, 0));  // completes any frame the noise began
    master_->Drain();
    ASSERT_EQ(Exchange(0x00).size(), 40u);
    const auto s = sim_->stats();
    EXPECT_GT(s.garbageBytes, 0u);
    EXPECT_GT(s.bccErrors, 0u);
}

TEST_F(SimTest, FaultInjection) {
    Open();
    sim_->FailAcks(1);
    master_->Send(Mailbox(0x00, ++seq_));
    ASSERT_TRUE(WaitFor([&] { return sim_->stats().mailboxRequests == 1; }));
    EXPECT_TRUE(master_->Drain().empty());
    EXPECT_EQ(Exchange(0x00).size(), 40u);  // only the one

    sim_->CorruptBcc(1);
    master_->Send(Mailbox(0x00, ++seq_));
    EXPECT_EQ(master_->Read(2).size(), 2u);
    auto reply = master_->Read(40);
    ASSERT_EQ(reply.size(), 40u);
    EXPECT_FALSE(snp::CheckRaw(reply.data(), 40));

    sim_->WrongSequence(1);
    reply = Exchange(0x00);
    EXPECT_EQ(reply[8], static_cast<uint8_t>(seq_ + 1));
    EXPECT_EQ(Exchange(0x00)[8], seq_);

    sim_->IgnoreWrites(1);
    master_->Send(Mailbox(0x07, ++seq_, {0x08, 0, 0, 1, 0, 7, 0}));
    ASSERT_TRUE(WaitFor([&] { return sim_->requests().size() == 6; }));
    EXPECT_TRUE(master_->Drain().empty());
    EXPECT_EQ(sim_->GetWord(kAreaR, 1), 0);
    ASSERT_EQ(Exchange(0x07, {0x08, 0, 0, 1, 0, 7, 0}).size(), 40u);
    EXPECT_EQ(sim_->GetWord(kAreaR, 1), 7);

    sim_->DropLineAfter(1);
    EXPECT_EQ(Exchange(0x00).size(), 40u);
    master_->Send(Mailbox(0x00, ++seq_));
    EXPECT_TRUE(master_->Drain().empty());
    sim_->RestoreLine();
    EXPECT_EQ(Exchange(0x00).size(), 40u);

    sim_->SetDead(true);
    master_->Send(AttachRequest("", 5));
    EXPECT_TRUE(master_->Drain().empty());
    sim_->SetDead(false);
    master_->Send(AttachRequest("", 5));
    EXPECT_EQ(master_->Read(24).size(), 24u);
}

TEST_F(SimTest, LineSurvivesReopenAndLineSpeedEmulation) {
    SimConfig c;
    c.lineBaud = 115200;
    c.liveProcess = true;
    Open(c);
    ASSERT_EQ(Exchange(0x00).size(), 40u);
    master_.reset();
    master_ = std::make_unique<SimMaster>(sim_->slavePath());
    ASSERT_TRUE(master_->ok());
    ASSERT_EQ(Exchange(0x00).size(), 40u);
    // The live process moves %R1.
    const uint16_t r1 = sim_->GetWord(kAreaR, 1);
    EXPECT_TRUE(WaitFor([&] { return sim_->GetWord(kAreaR, 1) != r1; }));
}

TEST_F(SimTest, StopReturnsWhileWaitingForAnAcknowledgement) {
    SimConfig c;
    Open(c);
    master_->Send(Mailbox(0x04, 1, {0x08, 0, 0, 100, 0}));
    EXPECT_EQ(master_->Read(42).size(), 42u);  // ack and reply; we never acknowledge
    sim_->Stop();                              // the sim is waiting for our ack
    EXPECT_EQ(sim_->stats().acksReceived, 0u);
    ASSERT_TRUE(sim_->Start());  // and serves again
    EXPECT_EQ(Exchange(0x00).size(), 40u);
}

TEST(SimDeviceLink, CreatesReplacesAndRemovesTheComLink) {
    namespace fs = std::filesystem;
    const tarnlight::test::TempConfigHome configHome("tl-sim");
    ASSERT_TRUE(configHome.ok());
    const fs::path home = configHome.path();
    const fs::path link = home / "tarnlight/devices/COM2";
    {
        auto old = std::make_unique<PlcSimulator>();
        ASSERT_TRUE(old->OpenPty());
        ASSERT_TRUE(old->CreateDeviceLink(1));
        PlcSimulator sim;
        ASSERT_TRUE(sim.OpenPty());
        ASSERT_TRUE(sim.CreateDeviceLink(1));  // replaces the old one
        old.reset();                           // leaves the link alone: it names sim's pty now
        EXPECT_EQ(fs::read_symlink(link).string(), sim.slavePath());
    }
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    {
        std::ofstream(link.string()) << "not a link";
        PlcSimulator sim;
        ASSERT_TRUE(sim.OpenPty());
        EXPECT_FALSE(sim.CreateDeviceLink(1));  // a real file is never replaced
    }
    EXPECT_TRUE(fs::is_regular_file(link));
}

}  // namespace
}  // namespace tarnlight::sim
