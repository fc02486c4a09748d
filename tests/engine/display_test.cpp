// Texts the engine puts on screen: grid cells and rows, panel texts, and the
// controls the controller state allows.
#include <gtest/gtest.h>

#include "engine/grid_format.h"
#include "engine/plc_status.h"
#include "snp/memory.h"
#include "tests/engine/recording_window.h"

namespace tarnlight {
namespace {

TEST(GridFormat, CellTexts) {
    EXPECT_EQ(BitCellText(1), "  1");
    EXPECT_EQ(BitCellText(0), "  0");
    EXPECT_EQ(BitCellText(7), "  1");
    EXPECT_EQ(SignedCellText(0xFFFF), "  -1");
    EXPECT_EQ(UnsignedCellText(0xFFFF), "  65535");
    EXPECT_EQ(HexCellText(0xFFFF), "  0xFFFF");
    EXPECT_EQ(HexCellText(255), "  0x00FF");
    EXPECT_EQ(SignedCellText(0x8000), "  -32768");
    EXPECT_EQ(HexByteText(0), "0x00");
    EXPECT_EQ(HexByteText(0xAB), "0xAB");
}

TEST(GridFormat, BitGridLayout) {
    // %I 1..48: header plus rows 0_ .. 4_.
    EXPECT_EQ(BitGridRowCount(1, 48), 6);
    EXPECT_EQ(BitGridRow(1, 1), 1);
    EXPECT_EQ(BitGridColumn(1), 2);
    EXPECT_EQ(BitGridRow(47, 1), 5);
    EXPECT_EQ(BitGridColumn(47), 8);
    EXPECT_EQ(BitGridRowLabel(47), " 4_");
    EXPECT_EQ(BitGridHeaderText(8), " __7");
    EXPECT_EQ(BitGridCornerText(1), " %M");
    // %M 15..24: rows 1_ and 2_.
    EXPECT_EQ(BitGridRowCount(15, 24), 3);
    EXPECT_EQ(BitGridRow(24, 15), 2);
    // An inverted range has no body rows.
    EXPECT_EQ(BitGridRowCount(100, 10), 1);
}

TEST(GridFormat, WordGridLayout) {
    EXPECT_EQ(WordGridRowCount(1, 16), 17);
    EXPECT_EQ(WordGridRow(16, 1), 16);
    EXPECT_EQ(WordGridRowLabel(4, 1), "  %R_1");
    EXPECT_EQ(WordGridRowLabel(3, 200), "  %AI_200");
    EXPECT_EQ(WordGridHeaderText(0), "  Address:");
    EXPECT_EQ(WordGridHeaderText(3), "  Hex");
    EXPECT_EQ(WordGridRowCount(9, 8), 1);
}

TEST(PlcStatus, SweepTexts) {
    EXPECT_EQ(SweepText(123), "Sweep= 12,3ms");
    EXPECT_EQ(SweepText(5), "Sweep= 0,5ms");
    EXPECT_EQ(SweepText(0), "PLC Stopped");
    EXPECT_EQ(SweepText(65535), "Sweep= 6553,5ms");
}

// The control table: what each state enables and selects, in call order.
TEST(PlcStatus, ControlsByState) {
    struct Case {
        unsigned state;
        std::vector<std::string> controls;
    };
    const std::vector<Case> cases = {
        {0, {"enable Butt_PlcRun 0", "enable Butt_PlcStop 1", "enable RadioGroup_IOstatus 1"}},
        {1,
         {"enable Butt_PlcRun 1", "enable Butt_PlcStop 1", "enable RadioGroup_IOstatus 1",
          "select 0"}},
        {2,
         {"enable Butt_PlcRun 1", "enable Butt_PlcStop 1", "enable RadioGroup_IOstatus 0",
          "select 0"}},
        {6,
         {"enable Butt_PlcRun 1", "enable Butt_PlcStop 1", "enable RadioGroup_IOstatus 0",
          "select 1"}},
        {3, {}},
        {4, {}},
        {5, {}},
        {7, {}},
        {12, {}},
    };
    for (const Case& c : cases) {
        test::RecordingWindow window;
        ShowPlcStatus(window, c.state, c.state == 2 || c.state == 6 ? 0 : 123);
        std::vector<std::string> expected = {
            "panel 2 " + std::string(snp::PlcStateName(c.state)),
            c.state == 2 || c.state == 6 ? "panel 3 PLC Stopped" : "panel 3 Sweep= 12,3ms"};
        expected.insert(expected.end(), c.controls.begin(), c.controls.end());
        EXPECT_EQ(window.Calls(), expected) << "state " << c.state;
    }
    test::RecordingWindow window;
    ShowPlcStatus(window, 2, 0);
    EXPECT_EQ(window.Calls()[0], "panel 2 Stop, I/O Disabled");
    test::RecordingWindow unknown;
    ShowPlcStatus(unknown, 9, 0);
    EXPECT_EQ(unknown.Calls()[0], "panel 2 unknown");
}

}  // namespace
}  // namespace tarnlight
