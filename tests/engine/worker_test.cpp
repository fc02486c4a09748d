// The worker and the connection commands against the simulated controller:
// window effects of a whole connection, the lost-connection policies, the
// full and halted cycles, Run/Stop, manual writes and the Connect checks.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "engine/grid_format.h"
#include "tests/engine/engine_fixture.h"

namespace tarnlight::test {
namespace {

const std::vector<std::string> kRunStatus = {"panel 2 Run, I/O Enabled", "panel 3 Sweep= 12,3ms",
                                             "enable Butt_PlcRun 0", "enable Butt_PlcStop 1",
                                             "enable RadioGroup_IOstatus 1"};

std::vector<std::string> Slice(const std::vector<std::string>& calls, size_t from, size_t count) {
    if (from > calls.size()) return {};
    return {calls.begin() + from, calls.begin() + std::min(calls.size(), from + count)};
}

// Connect -> Online -> Disconnect -> Offline, call by call where the order is
// fixed: Connect and the set-up chain, then the end sequence.
TEST_F(EngineTest, ConnectionWindowEffectsInOrder) {
    ASSERT_GE(ConnectOnline(/*breakFree=*/false), 0);
    ASSERT_GE(window_.WaitForCall("label Label_T3b", 0, true), 0);

    std::vector<std::string> expected = {
        "icon 0", "panel 8 ", "menu 1 1 1 0 0 0", "grids", "enable MenuSB2 1", "enable MenuSB3 1",
        "enable SB_Online 0", "enable SB_Offline 1", "enable SB_Transmit_Start 1",
        "enable SB_Transmit_Stop 0", "panel 0 Connecting..", "connected 1",
        // the link
        "panel 0 Connecting..", "panel 5 0x01"};
    auto append = [&](const std::vector<std::string>& more) {
        expected.insert(expected.end(), more.begin(), more.end());
    };
    append(kRunStatus);  // controller type reply
    expected.push_back("panel 5 0x02");
    append(kRunStatus);  // privilege reply
    append({"panel 5 0x03", "label Label_priv 2"});
    append(kRunStatus);  // shown once more after the privilege change
    append(kRunStatus);  // last set-up reply
    append({"panel 5 0x04", "panel 0 Online", "panel 8 ", "icon 1", "label LabelCPU_ID TARN7",
            "label LabelPLC_Type Series 90-30", "label LabelPLC_Model CPU311", "label Label_T1 0",
            "label Label_T2 200", "label Label_T3b 400"});
    EXPECT_EQ(Slice(window_.Calls(), 0, expected.size()), expected);

    const size_t disconnectAt = window_.Size();
    DisconnectAndWait();
    const std::vector<std::string> end = {"enable SB_Offline 0",
                                          "enable SB_Transmit_Start 0",
                                          "enable SB_Transmit_Stop 0",
                                          "enable Butt_PlcRun 0",
                                          "enable Butt_PlcStop 0",
                                          "enable RadioGroup_IOstatus 0",
                                          "enable SB_Online 1",
                                          "panel 0 Offline",
                                          "panel 2 ",
                                          "panel 3 ",
                                          "icon 0"};
    const auto calls = window_.Calls();
    ASSERT_GE(calls.size(), end.size());
    EXPECT_EQ(Slice(calls, calls.size() - end.size(), end.size()), end);
    EXPECT_GE(window_.Find("panel 0 Disconnecting..", disconnectAt), 0);
    EXPECT_EQ(engine_->lastWorkerEnd(), WorkerEnd::Requested);
    EXPECT_FALSE(EngineProbe(*engine_).port().IsOpen());
    EXPECT_EQ(EngineProbe(*engine_).flags().stopRequested.load(), 0);
}

TEST_F(EngineTest, KTimesCountsAttemptsThenGivesUpWithE22) {
    pages_.lostconn = kPolicyTryKTimes;
    pages_.k = 3;
    const long online = ConnectOnline();
    ASSERT_GE(online, 0);
    EXPECT_EQ(window_.Find("panel 0 Connecting..  1/3"), 12);  // first worker text

    sim_->SetDead(true);
    const long lost = window_.WaitForCall("panel 8 E21: Lost connection with PLC", online);
    ASSERT_GE(lost, 0);
    // The loss, as one block of effects.
    EXPECT_EQ(Slice(window_.Calls(), lost - 4, 8),
              (std::vector<std::string>{"enable Butt_PlcRun 0", "enable Butt_PlcStop 0",
                                        "enable RadioGroup_IOstatus 0", "panel 0 Offline",
                                        "panel 8 E21: Lost connection with PLC", "panel 2 ",
                                        "panel 3 ", "icon 3"}));
    const long e22 = window_.WaitForCall("panel 8 E22: Cannot connect to PLC", lost);
    ASSERT_GE(e22, 0);
    ASSERT_TRUE(WaitFor([&] { return !engine_->IsWorkerRunning(); }));

    long at = lost;
    for (const char* text :
         {"panel 0 Connecting..  1/3", "panel 0 Connecting..  2/3", "panel 0 Connecting..  3/3"}) {
        at = window_.Find(text, at);
        EXPECT_GE(at, 0) << text;
    }
    EXPECT_LT(at, e22);
    EXPECT_EQ(window_.Count("panel 0 Connecting..  1/3", lost), 1);
    EXPECT_EQ(window_.Find("icon 2", e22), e22 + 1);
    const auto calls = window_.Calls();
    EXPECT_EQ(calls.back(), "panel 3 ");  // no icon 0: the end was not requested
    EXPECT_EQ(window_.Find("icon 0", e22), -1);
    EXPECT_EQ(engine_->lastWorkerEnd(), WorkerEnd::AttemptsUsedUp);
}

TEST_F(EngineTest, GiveUpMakesExactlyOneAttemptAfterALoss) {
    const long online = ConnectOnline();
    ASSERT_GE(online, 0);
    EXPECT_EQ(window_.Find("panel 0 Connecting..", 11), 12);
    sim_->SetDead(true);
    const long lost = window_.WaitForCall("panel 8 E21: Lost connection with PLC", online);
    ASSERT_GE(lost, 0);
    const long e22 = window_.WaitForCall("panel 8 E22: Cannot connect to PLC", lost);
    ASSERT_GE(e22, 0);
    ASSERT_TRUE(WaitFor([&] { return !engine_->IsWorkerRunning(); }));
    EXPECT_EQ(window_.Count("panel 0 Connecting..", lost), 1);
    EXPECT_EQ(window_.Find("panel 0 Connecting..  ", lost, true), -1);
}

TEST_F(EngineTest, ConstantlyCountsWithoutEndUntilDisconnect) {
    pages_.lostconn = kPolicyTryConstantly;
    pages_.k = 2;  // ignored by this policy
    const long online = ConnectOnline();
    ASSERT_GE(online, 0);
    EXPECT_EQ(window_.Find("panel 0 Connecting..  (1)"), 12);
    sim_->SetDead(true);
    ASSERT_GE(window_.WaitForCall("panel 0 Connecting..  (3)", online), 0);
    EXPECT_EQ(window_.Find("panel 8 E22: Cannot connect to PLC"), -1);
    DisconnectAndWait();
    EXPECT_EQ(window_.Find("panel 8 E22: Cannot connect to PLC"), -1);
    EXPECT_EQ(window_.Calls().back(), "icon 0");
    EXPECT_EQ(engine_->lastWorkerEnd(), WorkerEnd::Requested);
}

// The simulator goes away with its pty and a new one takes over COM1 on
// another pty: the worker reopens the port by itself and comes back online.
TEST_F(EngineTest, ConstantlyReconnectsToADeviceThatCameBack) {
    pages_.lostconn = kPolicyTryConstantly;
    const long online = ConnectOnline();
    ASSERT_GE(online, 0);
    sim_.reset();
    const long lost = window_.WaitForCall("panel 8 E21: Lost connection with PLC", online);
    ASSERT_GE(lost, 0);
    ASSERT_GE(window_.WaitForCall("panel 0 Connecting..  (3)", lost), 0);  // the device is missing

    ASSERT_TRUE(StartSimulator());
    const long back = window_.WaitForCall("panel 0 Online", lost);
    ASSERT_GE(back, 0);
    EXPECT_GE(window_.Find("icon 1", back), 0);
    EXPECT_TRUE(WaitFor([&] { return sim_->stats().intermediates >= 4; }));  // cycles run
    EXPECT_EQ(window_.Find("panel 8 E22: Cannot connect to PLC"), -1);
    EXPECT_TRUE(engine_->IsWorkerRunning());
}

// A dropped line gives E21 and a new series; a successful reconnection
// restores the full budget and restarts the numbering.
TEST_F(EngineTest, ReconnectionRestoresTheFullBudget) {
    pages_.lostconn = kPolicyTryKTimes;
    pages_.k = 3;
    const long online = ConnectOnline();
    ASSERT_GE(online, 0);
    sim_->DropLineAfter(3);
    const long lost = window_.WaitForCall("icon 3", online);
    ASSERT_GE(lost, 0);
    const long second = window_.WaitForCall("panel 0 Connecting..  2/3", lost);
    ASSERT_GE(second, 0);
    sim_->RestoreLine();
    const long back = window_.WaitForCall("panel 0 Online", second);
    ASSERT_GE(back, 0);

    sim_->SetDead(true);
    const long lostAgain = window_.WaitForCall("icon 3", back);
    ASSERT_GE(lostAgain, 0);
    const long e22 = window_.WaitForCall("panel 8 E22: Cannot connect to PLC", lostAgain);
    ASSERT_GE(e22, 0);
    EXPECT_EQ(window_.Count("panel 0 Connecting..  1/3", lostAgain), 1);
    EXPECT_EQ(window_.Count("panel 0 Connecting..  3/3", lostAgain), 1);
}

TEST_F(EngineTest, FailedLastSetUpStepShowsIcon2) {
    // Attach, timers, type and privilege are answered; the last set-up request is not.
    sim_->DropLineAfter(4);
    ASSERT_TRUE(engine_->Connect(pages_, true));
    const long e22 = window_.WaitForCall("panel 8 E22: Cannot connect to PLC");
    ASSERT_GE(e22, 0);
    ASSERT_TRUE(WaitFor([&] { return !engine_->IsWorkerRunning(); }));
    const long failed = window_.Find("icon 2");
    EXPECT_GE(failed, 0);
    EXPECT_LT(failed, e22);
    EXPECT_EQ(window_.Find("label Label_priv 2"), failed - 1 - 5);
    EXPECT_EQ(window_.Find("panel 0 Online"), -1);
    EXPECT_EQ(window_.Find("icon 2", e22), e22 + 1);
}

// A refused password is named once the link is up, which goes on at the
// level the controller keeps; any other refused set-up request fails the
// attempt as a missing reply does.
TEST_F(EngineTest, RefusedSetUpRequests) {
    sim_->RefuseService(0x21, 1);
    const long online = ConnectOnline();
    ASSERT_GE(online, 0);
    EXPECT_EQ(window_.Find("panel 8 W23: Password refused 05h/01h", online), online + 1);
    EXPECT_GE(window_.Find("label Label_priv 1"), 0);  // the level a fresh link has
    EXPECT_EQ(window_.Find("label Label_priv 2"), -1);
    DisconnectAndWait();

    for (const uint8_t service : {0x00, 0x43, 0x20}) {  // timers, type, completion
        sim_->RefuseService(service, 1);
        const size_t from = window_.Size();
        ASSERT_TRUE(engine_->Connect(pages_, true));
        EXPECT_GE(window_.WaitForCall("panel 8 E22: Cannot connect to PLC", from), 0) << +service;
        ASSERT_TRUE(WaitFor([&] { return !engine_->IsWorkerRunning(); }));
        EXPECT_EQ(window_.Find("panel 0 Online", from), -1) << +service;
    }
}

// While halted no area is read, but Run/Stop and manual writes are carried out.
TEST_F(EngineTest, HaltedCycleServesRunStopAndManualWrites) {
    TagDefinition total;
    ASSERT_TRUE(ParseTagDefinition("total", "%R100 DINT scale=0.5", &total, nullptr));
    pages_.tags = {total};
    pages_.areaEnabled[snp::kR] = true;  // a tag lies in the memory read
    pages_.areaTo[snp::kR] = 101;
    ASSERT_GE(ConnectOnline(), 0);
    size_t mark = window_.Size();
    engine_->PlcStop(0);  // "Enabled" selected: stop with I/O enabled
    ASSERT_GE(window_.WaitForCall("panel 2 Stop, I/O Enabled", mark), 0);
    EXPECT_EQ(sim_->plcState(), 6);
    ASSERT_GE(window_.WaitForCall("select 1", mark), 0);
    EXPECT_GE(window_.Find("panel 3 PLC Stopped", mark), 0);
    EXPECT_GE(window_.Find("enable RadioGroup_IOstatus 0", mark), 0);

    mark = window_.Size();
    engine_->PlcStop(1);  // the group now offers "Disabled"
    ASSERT_GE(window_.WaitForCall("panel 2 Stop, I/O Disabled", mark), 0);
    EXPECT_EQ(sim_->plcState(), 2);

    mark = window_.Size();
    window_.SetEditInputs({snp::kQ, 5, true, 0});
    engine_->ApplyEdit();
    long applied = window_.Find("enable Butt_UpdateMem 0", mark);
    ASSERT_GE(applied, 0);
    ASSERT_GE(window_.WaitForCall("enable Butt_UpdateMem 1", applied), 0);
    EXPECT_TRUE(sim_->GetBit(sim::kAreaQ, 5));
    EXPECT_EQ(EngineProbe(*engine_).flags().pendingEdit.load(), 0);

    // 65535 and -1 are the same word.
    mark = window_.Size();
    window_.SetEditInputs({snp::kR, 100, false, -1});
    engine_->ApplyEdit();
    applied = window_.Find("enable Butt_UpdateMem 0", mark);
    ASSERT_GE(applied, 0);
    ASSERT_GE(window_.WaitForCall("enable Butt_UpdateMem 1", applied), 0);
    EXPECT_EQ(sim_->GetWord(sim::kAreaR, 100), 0xFFFF);

    // A tag: both words in one request; a value it cannot take is refused.
    sim_->ClearRequests();
    EditInputs tagEdit;
    tagEdit.tagName = "TOTAL";
    tagEdit.tagValue = -3.5;  // raw -7
    mark = window_.Size();
    window_.SetEditInputs(tagEdit);
    engine_->ApplyEdit();
    ASSERT_GE(window_.WaitForCall("enable Butt_UpdateMem 1", mark + 1), 0);
    EXPECT_EQ(sim_->GetWord(sim::kAreaR, 100), 0xFFF9);
    EXPECT_EQ(sim_->GetWord(sim::kAreaR, 101), 0xFFFF);
    EXPECT_EQ(WriteLengths(), std::vector<int>{2});
    tagEdit.tagValue = 2e12;
    mark = window_.Size();
    window_.SetEditInputs(tagEdit);
    engine_->ApplyEdit();
    ASSERT_GE(window_.WaitForCall("panel 8 W26: total = 2e+12 does not fit DINT", mark), 0);
    EXPECT_GE(window_.WaitForCall("enable Butt_UpdateMem 1", mark + 1), 0);
    EXPECT_EQ(EngineProbe(*engine_).flags().pendingEdit.load(), 0);
    EXPECT_EQ(sim_->stats().writes, 3u);

    mark = window_.Size();
    engine_->PlcRun();
    ASSERT_GE(window_.WaitForCall("panel 2 Run, I/O Enabled", mark), 0);
    EXPECT_EQ(sim_->plcState(), 0);
    EXPECT_EQ(window_.Find("bits ", 0, true), -1);
    EXPECT_EQ(window_.Find("panel 6 ", 0, true), -1);
}

TEST_F(EngineTest, UnansweredManualWriteIsLostLinkAndRetriedAfterReconnection) {
    ASSERT_GE(ConnectOnline(), 0);
    sim_->IgnoreWrites(1);
    const size_t mark = window_.Size();
    window_.SetEditInputs({snp::kAQ, 3, false, 1234});
    engine_->ApplyEdit();
    const long lost = window_.WaitForCall("panel 8 E21: Lost connection with PLC", mark);
    ASSERT_GE(lost, 0);
    const long reenabled = window_.Find("enable Butt_UpdateMem 1", mark);
    EXPECT_GE(reenabled, 0);
    EXPECT_LT(reenabled, lost);
    ASSERT_GE(window_.WaitForCall("panel 0 Online", lost), 0);
    ASSERT_TRUE(WaitFor([&] { return sim_->GetWord(sim::kAreaAQ, 3) == 1234; }));
    ASSERT_TRUE(WaitFor([&] { return EngineProbe(*engine_).flags().pendingEdit.load() == 0; }));
}

// A controller that refuses a request is still on the line: a refused write
// or Run/Stop is named in the message panel and the link stays up; a refused
// read ends the cycle as a lost link, with the refused range in place of E21.
TEST_F(EngineTest, RefusalsAreNamedAndOnlyARefusedReadLosesTheLink) {
    pages_.areaEnabled = {false, false, false, false, true, false};
    pages_.areaFrom[snp::kR] = 1;
    pages_.areaTo[snp::kR] = 100;
    sim_->SetMemorySize(sim::kBitCount, 50);
    const long online = ConnectOnline();
    ASSERT_GE(online, 0);

    sim_->RefuseWrites(1);
    window_.SetEditInputs({snp::kAQ, 3, false, 1234});
    engine_->ApplyEdit();
    const long refused = window_.WaitForCall("panel 8 W21: %AQ3 write refused 05h/01h", online);
    ASSERT_GE(refused, 0);
    EXPECT_GE(window_.WaitForCall("enable Butt_UpdateMem 1", refused), 0);
    EXPECT_TRUE(WaitFor([&] { return EngineProbe(*engine_).flags().pendingEdit.load() == 0; }));
    // Not sent again: the next keep-alive passes go by without a write.
    const uint64_t seen = sim_->stats().intermediates;
    ASSERT_TRUE(WaitFor([&] { return sim_->stats().intermediates >= seen + 4; }));
    EXPECT_EQ(sim_->GetWord(sim::kAreaAQ, 3), 0);
    EXPECT_EQ(sim_->stats().writes, 0u);

    sim_->RefuseRunStop(1);
    engine_->PlcStop(0);
    const long stopRefused = window_.WaitForCall("panel 8 W22: Stop refused 05h/01h", refused);
    ASSERT_GE(stopRefused, 0);
    EXPECT_EQ(sim_->plcState(), 0);
    EXPECT_EQ(window_.Find("panel 0 Connecting..", online, true), -1);
    EXPECT_EQ(window_.Find("panel 8 E21: Lost connection with PLC"), -1);

    ASSERT_TRUE(engine_->StartTransmission());
    const long lost = window_.WaitForCall("icon 3", stopRefused);
    ASSERT_GE(lost, 0);
    EXPECT_EQ(
        Slice(window_.Calls(), lost - 4, 5),
        (std::vector<std::string>{"panel 0 Offline", "panel 8 E24: %R1..100 read error 04h/02h",
                                  "panel 2 ", "panel 3 ", "icon 3"}));
    EXPECT_EQ(window_.Find("panel 8 E21: Lost connection with PLC"), -1);
}

TEST_F(EngineTest, ApplyDisablesTheButtonBeforeItRaisesTheFlag) {
    int pendingAtDisable = -1;
    window_.onCall = [&](const std::string& line) {
        if (line == "enable Butt_UpdateMem 0")
            pendingAtDisable = EngineProbe(*engine_).flags().pendingEdit;
    };
    engine_->ApplyEdit();
    EXPECT_EQ(pendingAtDisable, 0);
    EXPECT_EQ(EngineProbe(*engine_).flags().pendingEdit.load(), 1);
}

// Apply pressed again while the worker writes the values of the first press:
// the first values are written, and the new ones in the next cycle.
TEST_F(EngineTest, ApplyDuringAWriteIsWrittenInTheNextCycle) {
    std::atomic<int> reads{0};
    window_.onReadEdit = [&] {
        if (reads.fetch_add(1) != 0) return;
        window_.SetEditInputs({snp::kR, 11, false, 222});
        engine_->ApplyEdit();
    };
    ASSERT_GE(ConnectOnline(), 0);
    window_.SetEditInputs({snp::kR, 10, false, 111});
    engine_->ApplyEdit();
    ASSERT_TRUE(WaitFor([&] { return sim_->GetWord(sim::kAreaR, 11) == 222; }));
    EXPECT_EQ(sim_->GetWord(sim::kAreaR, 10), 111);
    ASSERT_TRUE(WaitFor([&] { return EngineProbe(*engine_).flags().pendingEdit.load() == 0; }));
    EXPECT_EQ(reads.load(), 2);
}

TEST_F(EngineTest, FullCycleShowsEveryAreaOnceAndCounts) {
    pages_.areaEnabled = {true, false, false, false, true, false};
    pages_.areaFrom[snp::kI] = 1;
    pages_.areaTo[snp::kI] = 12;
    pages_.areaFrom[snp::kR] = 1;
    pages_.areaTo[snp::kR] = 3;
    sim_->SetBit(sim::kAreaI, 3, true);
    sim_->SetBit(sim::kAreaI, 12, true);
    sim_->SetWord(sim::kAreaR, 1, 0xFFFF);
    sim_->SetWord(sim::kAreaR, 3, 255);
    ASSERT_GE(ConnectOnline(), 0);
    ASSERT_TRUE(engine_->StartTransmission());
    const long first = window_.WaitForCall("panel 6 0x00");
    ASSERT_GE(first, 0);
    const auto calls = window_.Calls();
    const long bits = window_.Find("bits 0 1 12 001000000001");
    const long words = window_.Find("words 4 1 3 65535,0,255");
    EXPECT_GE(bits, 0);
    EXPECT_GT(words, bits);
    EXPECT_LT(words, first);
    // The sequence number follows each read.
    EXPECT_EQ(calls[bits - 1].rfind("panel 5 0x", 0), 0u);
    EXPECT_EQ(calls[words - 1].rfind("panel 5 0x", 0), 0u);
    ASSERT_GE(window_.WaitForCall("panel 6 0x01", first), 0);

    // Halting: from the next pass on only halted cycles run.
    engine_->HaltTransmission();
    sim_->ClearRequests();
    ASSERT_TRUE(WaitFor([&] {
        for (const auto& r : sim_->requests())
            if (r.frameType == 'I') return true;
        return false;
    }));
    const size_t settled = window_.Size();
    ASSERT_TRUE(WaitFor([&] { return window_.Size() > settled + 20; }));
    EXPECT_EQ(window_.Find("panel 6 ", settled, true), -1);
    EXPECT_EQ(window_.Find("bits ", settled, true), -1);
}

// The read requests the simulator has seen: selector, first address - 1
// (bytes for bits) and count, in order.
struct ReadRequest {
    uint8_t selector;
    uint16_t offset;
    uint16_t count;
    bool operator==(const ReadRequest&) const = default;
};
std::vector<ReadRequest> ReadRequests(const sim::PlcSimulator& sim) {
    std::vector<ReadRequest> reads;
    for (const auto& r : sim.requests()) {
        if (r.frameType != 'M' || r.serviceCode != 0x04) continue;
        reads.push_back({r.data[0], static_cast<uint16_t>(r.data[1] | r.data[2] << 8),
                         static_cast<uint16_t>(r.data[3] | r.data[4] << 8)});
    }
    return reads;
}
constexpr uint8_t kSelectorI = 0x10, kSelectorM = 0x16, kSelectorR = 0x08;

class ScanRateTest : public EngineTest {
  protected:
    // %I 1..16 and the slow areas %M 5..1000 (125 bytes) and %R 1..512
    // (1024 bytes), in parts of 64 bytes once a period is set. Td makes
    // every request wait longer than %I's period.
    void SetUp() override {
        EngineTest::SetUp();
        pages_.areaEnabled = {true, true, false, false, true, false};
        pages_.areaFrom = {1, 5, 1, 1, 1, 1};
        pages_.areaTo = {16, 1000, 48, 48, 512, 48};
        pages_.maxReadBytes = 64;
        pages_.Td = 2;
        sim_->SetBit(sim::kAreaM, 513, true);  // first bit of the second part
        sim_->SetWord(sim::kAreaR, 33, 33);    // first word of the second part
        sim_->SetWord(sim::kAreaR, 512, 512);
    }
    // Starts the full cycle and waits for the %R grid's second call.
    void TransmitUntilRIsShownTwice() {
        ASSERT_GE(ConnectOnline(), 0);
        ASSERT_TRUE(engine_->StartTransmission());
        const long first = window_.WaitForCall("words 4 ", 0, true);
        ASSERT_GE(first, 0);
        ASSERT_GE(window_.WaitForCall("words 4 ", first + 1, true), 0);
        engine_->HaltTransmission();
    }
};

// %I with a period is read between the parts of the slow areas, many times
// during each %R read, but never more than three times in a row: the slow areas keep
// one request in four. Each slow area reaches its grid once, whole, after
// its last part, and a 32-bit tag is never split between two parts.
TEST_F(ScanRateTest, FastAreaGoesBetweenTheSlowAreasParts) {
    pages_.scanMs[snp::kI] = 20;
    TagDefinition level;
    level.name = "level";
    level.area = snp::kR;
    level.address = 480;  // the last word of the 15th part of 32 words
    level.type = TagType::Dint;
    pages_.tags = {level};
    std::vector<size_t> rPartsAtShow;  // %R parts the simulator had seen at each %R grid call
    window_.onCall = [&](const std::string& line) {
        if (line.rfind("words 4 ", 0) != 0) return;
        size_t parts = 0;
        for (const ReadRequest& r : ReadRequests(*sim_)) parts += r.selector == kSelectorR;
        rPartsAtShow.push_back(parts);
    };
    TransmitUntilRIsShownTwice();
    DisconnectAndWait();
    window_.onCall = nullptr;

    const std::vector<ReadRequest> reads = ReadRequests(*sim_);
    std::vector<ReadRequest> slow;
    size_t fastMost = 0;  // most %I reads between two slow parts
    size_t fastRun = 1;
    for (const ReadRequest& r : reads) {
        if (r.selector == kSelectorI) {
            EXPECT_EQ(r, (ReadRequest{kSelectorI, 0, 2}));
            ++fastRun;
            continue;
        }
        if (!slow.empty()) fastMost = std::max(fastMost, fastRun);
        fastRun = 0;
        slow.push_back(r);
    }
    EXPECT_LE(fastMost, 3u);
    // The slow areas one after the other, each in its parts in order: %R's
    // 15th ends before the tag, which the next one reads whole.
    ASSERT_GE(slow.size(), 21u);
    EXPECT_EQ(slow[0], (ReadRequest{kSelectorM, 0, 64}));
    EXPECT_EQ(slow[1], (ReadRequest{kSelectorM, 64, 61}));
    for (uint16_t part = 0; part < 14; ++part)
        EXPECT_EQ(slow[2 + part], (ReadRequest{kSelectorR, static_cast<uint16_t>(32 * part), 32}));
    EXPECT_EQ(slow[16], (ReadRequest{kSelectorR, 448, 31}));
    EXPECT_EQ(slow[17], (ReadRequest{kSelectorR, 479, 32}));
    EXPECT_EQ(slow[18], (ReadRequest{kSelectorR, 511, 1}));
    EXPECT_EQ(slow[19], (ReadRequest{kSelectorM, 0, 64}));  // the next round

    ASSERT_GE(rPartsAtShow.size(), 2u);
    EXPECT_EQ(rPartsAtShow[0], 17u);
    EXPECT_EQ(rPartsAtShow[1], 34u);
    const auto calls = window_.Calls();
    const long firstR = window_.Find("words 4 ", 0, true);
    const long secondR = window_.Find("words 4 ", firstR + 1, true);
    const std::string& shown = calls[firstR];
    EXPECT_EQ(shown.rfind("words 4 1 512 0,", 0), 0u) << shown.substr(0, 40);
    EXPECT_NE(shown.find(",0,33,0,"), std::string::npos);
    EXPECT_EQ(shown.substr(shown.size() - 6), ",0,512");
    const long m = window_.Find("bits 1 ", 0, true);
    ASSERT_GE(m, 0);
    EXPECT_EQ(calls[m].size(), std::string("bits 1 5 1000 ").size() + 996);
    EXPECT_EQ(calls[m][std::string("bits 1 5 1000 ").size() + 513 - 5], '1');
    int fastShown = 0;
    for (long i = firstR; i < secondR; ++i) fastShown += calls[i].rfind("bits 0 1 16 ", 0) == 0;
    EXPECT_GE(fastShown, 1);  // %R takes 17 requests of 2 ms and more
    for (const std::string& call : calls) {
        if (call.rfind("bits 1 ", 0) != 0) continue;
        EXPECT_EQ(call.rfind("bits 1 5 1000 ", 0), 0u);
    }
    // A round is both slow areas read: counted with the %R grid call.
    const long counted = window_.Find("panel 6 ", firstR, true);
    EXPECT_GT(counted, firstR);
    EXPECT_LT(counted, window_.Find("bits ", firstR, true));

    const LinkStatsSnapshot stats = engine_->Statistics();
    EXPECT_GT(stats.areas[snp::kI].reads, stats.areas[snp::kR].reads);
    EXPECT_EQ(stats.areas[snp::kI].scanMs, 20u);
    EXPECT_FALSE(stats.areas[snp::kQ].enabled);
    EXPECT_EQ(stats.lastReadMs,
              std::min(stats.areas[snp::kM].lastReadMs,
                       std::min(stats.areas[snp::kI].lastReadMs, stats.areas[snp::kR].lastReadMs)));
}

// Every area fast with a long period: between its reads the line is never
// silent for half of T3' (200 ms here), and a round is one read of it.
TEST_F(EngineTest, AnIdleFullCycleKeepsTheLinkAlive) {
    pages_.areaEnabled = {false, false, false, false, true, false};
    pages_.areaTo[snp::kR] = 4;
    pages_.scanMs[snp::kR] = 20000;
    ASSERT_GE(ConnectOnline(), 0);
    ASSERT_TRUE(engine_->StartTransmission());
    ASSERT_GE(window_.WaitForCall("words 4 ", 0, true), 0);
    sim_->ClearRequests();
    const auto statusRequests = [&] {
        const auto requests = sim_->requests();
        return std::count_if(requests.begin(), requests.end(), [](const auto& r) {
            return r.frameType == 'M' && r.serviceCode == 0x00;
        });
    };
    ASSERT_TRUE(WaitFor([&] { return statusRequests() >= 5; }));
    EXPECT_EQ(static_cast<size_t>(statusRequests()), sim_->requests().size());
    EXPECT_EQ(window_.Count("panel 6 0x00"), 1);
    EXPECT_EQ(window_.Find("panel 6 0x01"), -1);
}

// With every period 0 nothing is split and every pass reads every area once,
// request for request as the cycle always did.
TEST_F(ScanRateTest, AllPeriodsZeroSendTheSameRequestsAsEver) {
    TransmitUntilRIsShownTwice();
    DisconnectAndWait();
    std::vector<ReadRequest> reads = ReadRequests(*sim_);
    ASSERT_GE(reads.size(), 6u);
    reads.resize(6);
    const std::vector<ReadRequest> pass = {
        {kSelectorI, 0, 2}, {kSelectorM, 0, 125}, {kSelectorR, 0, 512}};
    EXPECT_EQ(reads,
              (std::vector<ReadRequest>{pass[0], pass[1], pass[2], pass[0], pass[1], pass[2]}));
    EXPECT_EQ(window_.Count("panel 6 0x00"), 1);
    const long firstR = window_.Find("words 4 ", 0, true);
    EXPECT_EQ(window_.Find("panel 6 ", firstR, true), firstR + 1);  // one pass, every area
}

// Disconnect takes effect after the request on the line: a long pass (here
// every read waits Td first) is not run to its end.
TEST_F(EngineTest, DisconnectDuringFullCycleEndsAfterTheRequestOnTheLine) {
    pages_.Td = 300;  // each read waits 300 ms first: time to press Disconnect
    ASSERT_GE(ConnectOnline(), 0);
    ASSERT_TRUE(engine_->StartTransmission());
    const long readI = window_.WaitForCall("bits 0 ", 0, true);
    ASSERT_GE(readI, 0);
    const size_t pressed = window_.Size();
    DisconnectAndWait();
    const long disconnecting = window_.Find("panel 0 Disconnecting..", pressed);
    ASSERT_GE(disconnecting, 0);
    EXPECT_GE(window_.Find("panel 0 Offline", disconnecting), 0);
    // The pause before %M's read was cut short, and the read never went out.
    EXPECT_EQ(window_.Find("bits 1 ", disconnecting, true), -1);
    EXPECT_EQ(window_.Find("bits 0 ", disconnecting, true), -1);
}

// A Disconnect (or Halt) pressed while the worker runs its end sequence, here
// after E22, does nothing: the panel stays at "Offline", Start stays
// disabled, and no stop request outlives the worker.
TEST_F(EngineTest, CommandsDuringTheEndSequenceDoNothing) {
    sim_->DropLineAfter(4);  // the last set-up request goes unanswered: E22
    std::atomic<bool> ending{false};
    std::atomic<int> disconnected{-1};
    window_.onCall = [&](const std::string& line) {
        if (line == "enable SB_Offline 0") ending = true;
        if (ending && line == "panel 0 Offline" && disconnected < 0) {
            engine_->HaltTransmission();
            disconnected = engine_->Disconnect() ? 1 : 0;
        }
    };
    ASSERT_TRUE(engine_->Connect(pages_, true));
    ASSERT_GE(window_.WaitForCall("panel 8 E22: Cannot connect to PLC"), 0);
    ASSERT_TRUE(WaitFor([&] { return !engine_->IsWorkerRunning(); }));
    engine_->JoinWorker();
    window_.onCall = nullptr;

    EXPECT_EQ(disconnected, 0);
    const long offline = window_.Find("panel 0 Offline", window_.Find("enable SB_Offline 0"));
    ASSERT_GE(offline, 0);
    EXPECT_EQ(window_.Find("panel 0 ", offline + 1, true), -1);
    EXPECT_EQ(window_.Find("enable SB_Transmit_Start 1", offline), -1);
    EXPECT_EQ(EngineProbe(*engine_).flags().stopRequested.load(), 0);
    EXPECT_EQ(engine_->lastWorkerEnd(), WorkerEnd::AttemptsUsedUp);
}

TEST_F(EngineTest, CycleCounterWrapsAndSurvivesReconnect) {
    pages_.areaEnabled = {true, false, false, false, false, false};
    pages_.areaTo[snp::kI] = 8;
    ASSERT_GE(ConnectOnline(), 0);
    ASSERT_TRUE(engine_->StartTransmission());
    const long ff = window_.WaitForCall("panel 6 0xFF", 0, false, std::chrono::seconds(60));
    ASSERT_GE(ff, 0);
    const long wrapped = window_.WaitForCall("panel 6 0x00", ff);
    ASSERT_GE(wrapped, 0);
    EXPECT_EQ(window_.Find("panel 6 ", ff + 1, true), wrapped);
    DisconnectAndWait();
    const uint8_t next = engine_->cycleCounter();

    const size_t mark = window_.Size();
    ASSERT_GE(ConnectOnline(), 0);
    ASSERT_TRUE(engine_->StartTransmission());
    const long shown = window_.WaitForCall("panel 6 ", mark, true);
    ASSERT_GE(shown, 0);
    EXPECT_EQ(window_.Calls()[shown], "panel 6 " + HexByteText(next));
}

TEST_F(EngineTest, StartTransmissionNeedsAnEnabledArea) {
    pages_.areaEnabled = {false, false, false, false, false, false};
    ASSERT_GE(ConnectOnline(), 0);
    EXPECT_EQ(window_.Find("enable SB_Transmit_Start 1"), -1);
    EXPECT_FALSE(engine_->StartTransmission());
    EXPECT_EQ(EngineProbe(*engine_).flags().transmitting.load(), 0);
}

TEST_F(EngineTest, ShutdownWhileRunningEndsTheWorker) {
    pages_.Td = 5000;
    ASSERT_GE(ConnectOnline(), 0);
    // In a halted cycle first (a transmission started before the first cycle
    // would skip the intermediate frames altogether), then in a full one.
    ASSERT_TRUE(WaitFor([&] { return sim_->stats().intermediates >= 1; }));
    ASSERT_TRUE(engine_->StartTransmission());
    engine_->Shutdown();
    EXPECT_FALSE(engine_->IsWorkerRunning());
    EXPECT_EQ(window_.Calls().back(), "icon 0");
    const size_t after = window_.Size();
    engine_.reset();  // destroying an idle engine touches the window no more
    EXPECT_EQ(window_.Size(), after);
}

// Shutdown cuts a long break pause (T4) and a minute-long reply wait short;
// the next Connect opens the port without the abort. The time bound only
// guards against a hang.
TEST_F(EngineTest, ShutdownCutsLongPausesAndLineWaits) {
    const auto shutdownTakes = [&] {
        const auto start = std::chrono::steady_clock::now();
        engine_->Shutdown();
        return std::chrono::steady_clock::now() - start;
    };
    pages_.T4 = 60000;
    pages_.lostconn = kPolicyTryConstantly;
    EXPECT_TRUE(engine_->Connect(pages_, /*breakFree=*/false));
    ASSERT_GE(window_.WaitForCall("panel 0 Connecting..  (1)"), 0);  // the worker's attempt
    EXPECT_LT(shutdownTakes(), std::chrono::seconds(20));
    EXPECT_FALSE(engine_->IsWorkerRunning());
    EXPECT_EQ(engine_->lastWorkerEnd(), WorkerEnd::Requested);

    // Echoed by the simulator: acknowledgement and reply waits of 2400 steps.
    pages_.T4 = 10;
    pages_.T2 = 60000;
    pages_.T3b = 60000;
    const long online = ConnectOnline();
    ASSERT_GE(online, 0);
    sim_->SetDead(true);
    EXPECT_LT(shutdownTakes(), std::chrono::seconds(20));
    EXPECT_FALSE(engine_->IsWorkerRunning());
    EXPECT_EQ(window_.Find("panel 8 E21: Lost connection with PLC", online), -1);
    EXPECT_EQ(window_.Calls().back(), "icon 0");
}

// Connect's own checks: nothing outside is touched and no worker starts.
TEST_F(EngineTest, ConnectRefusesBadRangesAndPortTexts) {
    pages_.areaFrom[snp::kM] = 100;
    pages_.areaTo[snp::kM] = 10;
    EXPECT_FALSE(engine_->Connect(pages_, true));
    EXPECT_GE(window_.Find("box Error|Wrong memory range for %M: From 100 is above to 10"), 0);
    EXPECT_GE(window_.Find("panel 8 E23: Wrong memory range"), 0);
    EXPECT_EQ(window_.Find("grids"), -1);
    EXPECT_FALSE(engine_->IsWorkerRunning());

    // A disabled area's range is not read, so it is not refused.
    pages_.areaEnabled[snp::kM] = false;
    pages_.areaTo[snp::kAI] = 5000;  // above the word image
    pages_.areaEnabled[snp::kAI] = true;
    size_t mark = window_.Size();
    EXPECT_FALSE(engine_->Connect(pages_, true));
    EXPECT_GE(window_.Find("box Error|Wrong memory range for %AI: To 5000 is above 4096", mark), 0);
    pages_.areaEnabled[snp::kAI] = false;

    // A tag must lie inside the ranges read, both of its words.
    TagDefinition level;
    ASSERT_TRUE(ParseTagDefinition("level", "%M48", &level, nullptr));
    pages_.tags = {level};
    mark = window_.Size();
    EXPECT_FALSE(engine_->Connect(pages_, true));
    EXPECT_GE(window_.Find(
                  "box Error|Tag level (%M48) lies outside the memory read: %M is not read", mark),
              0);
    ASSERT_TRUE(ParseTagDefinition("level", "%R16 REAL", &level, nullptr));
    pages_.tags = {level};
    pages_.areaEnabled[snp::kR] = true;
    mark = window_.Size();
    EXPECT_FALSE(engine_->Connect(pages_, true));
    EXPECT_GE(window_.Find("box Error|Tag level (%R16..%R17) lies outside the memory read: the "
                           "range read is %R1..%R16",
                           mark),
              0);
    EXPECT_GE(window_.Find("panel 8 E25: Tag outside the memory read", mark), 0);
    EXPECT_EQ(window_.Find("grids", mark), -1);
    pages_.areaEnabled[snp::kR] = false;
    pages_.tags.clear();

    pages_.dbEnabled = true;
    for (const char* text : {"33o6", "", "70000", "-1"}) {
        pages_.portNum = text;
        mark = window_.Size();
        EXPECT_FALSE(engine_->Connect(pages_, true)) << text;
        EXPECT_GE(window_.Find("panel 8 E13: Wrong database port number", mark), 0) << text;
        EXPECT_GE(window_.Find("box Error|", mark, true), 0) << text;
    }
    // The history outlives every Connect only in a database of its own.
    pages_.portNum = "0";
    pages_.historyDb = pages_.dbName;
    mark = window_.Size();
    EXPECT_FALSE(engine_->Connect(pages_, true));
    EXPECT_GE(window_.Find("panel 8 E26: Wrong history database", mark), 0);
    pages_.historyDb.clear();
    EXPECT_FALSE(EngineProbe(*engine_).port().IsOpen());

    // A port that does not exist: the port's own box, then E1-1.
    pages_.dbEnabled = false;
    pages_.port = -1;
    mark = window_.Size();
    EXPECT_FALSE(engine_->Connect(pages_, true));
    EXPECT_GE(window_.Find("box Error|", mark, true), 0);
    EXPECT_GE(window_.Find("panel 8 E1-1: Openning COM port error", mark), 0);
    EXPECT_EQ(window_.Calls().back(), "connected 0");
    EXPECT_FALSE(engine_->IsWorkerRunning());
    EXPECT_EQ(sim_->stats().attaches, 0u);
}

}  // namespace
}  // namespace tarnlight::test
