// A line of several controllers: the first settings file names the others.
#include "settings/settings_line.h"

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "settings/settings_directory.h"
#include "tests/support/temp_config_home.h"

namespace tarnlight {
namespace {

class SettingsLineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(configHome_.ok());
        ASSERT_TRUE(EnsureSettingsDirectory());
    }
    // A station file: the line keys, its SNP ID and database, and extra lines.
    static std::string Station(const std::string& name, const std::string& id,
                               const std::string& extra = "") {
        const std::string path = SettingsFilePath(name);
        std::ofstream(path) << "[RS232]\nport=2\nbaudRate=5\n"
                            << extra << "\n[PLC_Info]\nCPU_ID=" << id << "\n[MySQL]\ndbName=db_"
                            << name << "\n";
        return path;
    }
    // The problem LoadLine reports for the line whose first file is line1.
    static std::string Problem() {
        std::vector<LineStation> stations;
        std::string problem;
        EXPECT_EQ(LoadLine(SettingsFilePath("line1"), stations, &problem), LoadResult::Invalid);
        EXPECT_TRUE(stations.empty());
        return problem;
    }
    test::TempConfigHome configHome_{"tl-line"};
};

TEST_F(SettingsLineTest, FirstFileNamesTheOtherStations) {
    const std::string first = Station("line1", "PLC1", "stations = line2 , line3.ini");
    Station("line2", "PLC2");
    Station("line3", "PLC3", "[MySQL]\ndbEnabled=0\n[Tags]\nlevel=%R1");
    std::vector<LineStation> stations;
    ASSERT_EQ(LoadLine(first, stations), LoadResult::Ok);
    ASSERT_EQ(stations.size(), 3u);
    EXPECT_EQ(stations[0].name, "line1");
    EXPECT_EQ(stations[2].path, SettingsFilePath("line3"));
    EXPECT_EQ(stations[1].settings.cpuId, "PLC2");
    EXPECT_EQ(stations[2].settings.tags.size(), 1u);

    // Without the key a file is a line of one, whatever its SNP ID.
    Station("alone", "");
    ASSERT_EQ(LoadLine(SettingsFilePath("alone"), stations), LoadResult::Ok);
    EXPECT_EQ(stations.size(), 1u);
    EXPECT_EQ(LoadLine(SettingsFilePath("none"), stations), LoadResult::NotFound);
}

TEST_F(SettingsLineTest, StationsThatCannotShareTheLineMakeItUnloadable) {
    const auto line = [](const std::string& list) { Station("line1", "PLC1", "stations=" + list); };
    Station("line2", "PLC2");
    line("line2,,line3");
    EXPECT_EQ(Problem(),
              "line1.ini: [RS232] stations=line2,,line3: an empty name between two commas");
    line("line2, line1");
    EXPECT_EQ(Problem(),
              "line1.ini: [RS232] stations names the station line1 twice (the first file is a "
              "station too)");
    line("line2, gone");
    EXPECT_EQ(Problem(), "gone.ini: no such settings file (" + SettingsFilePath("gone") +
                             "), named by [RS232] stations in line1.ini");

    line("line2, line3");
    Station("line3", "PLC3", "[Connection]\nT4=40");
    EXPECT_EQ(
        Problem(),
        "line3.ini: [Connection] T4=40 differs from 150 in line1.ini (one line has one value)");
    Station("line3", "PLC3", "parity=1");
    EXPECT_EQ(Problem(),
              "line3.ini: [RS232] parity=1 differs from 0 in line1.ini (one line has one value)");
    Station("line3", "PLC3", "stations=line2");
    EXPECT_EQ(Problem(),
              "line3.ini: [RS232] stations=line2: only the first file of a line names the stations "
              "(line1.ini)");
    Station("line3", "", "");
    EXPECT_EQ(Problem(),
              "line3.ini: [PLC_Info] CPU_ID is empty: on a line of several controllers each "
              "station needs its own SNP ID");
    Station("line3", "PLC2xyz9");
    Station("line2", "PLC2xyz1");
    EXPECT_EQ(Problem(),
              "line3.ini: [PLC_Info] CPU_ID=PLC2xyz9 selects the same controller as "
              "CPU_ID=PLC2xyz1 in line2.ini (an attach carries 7 characters)");
    Station("line3", "PLC3");
    Station("line2", "PLC2", "[MySQL]\ndbName=db_line1");
    EXPECT_EQ(Problem(), "line2.ini: [MySQL] dbName=db_line1 is the database of line1.ini too");
    Station("line2", "PLC2", "[MySQL]\nhistoryDb=db_line1");
    EXPECT_EQ(Problem(),
              "line2.ini: [MySQL] historyDb=db_line1 is the mirror database of line1.ini");
    Station("line2", "PLC2", "[MySQL]\ndbEnabled=0\ndbName=db_line1");  // no database: no clash
    Station("line3", "PLC3", "[Tags]\nbad=%X1");  // a station file that does not load
    EXPECT_EQ(Problem().rfind("line3.ini: line ", 0), 0u);
}

}  // namespace
}  // namespace tarnlight
