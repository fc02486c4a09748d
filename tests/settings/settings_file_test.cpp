#include "settings/settings_file.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "settings/settings.h"
#include "settings/settings_directory.h"
#include "tests/support/settings_samples.h"
#include "tests/support/temp_config_home.h"

namespace tarnlight {
namespace {

namespace fs = std::filesystem;

const char kDefaultFileText[] =
    "[RS232]\n"
    "port=0\n"
    "baudRate=6\n"
    "parity=0\n"
    "stopBits=0\n"
    "\n"
    "[PLC_Info]\n"
    "CPU_ID=\n"
    "Password=\n"
    "\n"
    "[PLC_Memory]\n"
    "%I_enabled=1\n"
    "%M_enabled=1\n"
    "%Q_enabled=1\n"
    "%AI_enabled=0\n"
    "%R_enabled=0\n"
    "%AQ_enabled=0\n"
    "%I_from=1\n"
    "%I_to=48\n"
    "%M_from=1\n"
    "%M_to=48\n"
    "%Q_from=1\n"
    "%Q_to=48\n"
    "%AI_from=1\n"
    "%AI_to=16\n"
    "%R_from=1\n"
    "%R_to=16\n"
    "%AQ_from=1\n"
    "%AQ_to=16\n"
    "%I_scan=0\n"
    "%M_scan=0\n"
    "%Q_scan=0\n"
    "%AI_scan=0\n"
    "%R_scan=0\n"
    "%AQ_scan=0\n"
    "maxReadBytes=512\n"
    "\n"
    "[Connection]\n"
    "T1=5\n"
    "T2=1000\n"
    "T3'=5000\n"
    "T4=150\n"
    "Td=0\n"
    "k=5\n"
    "lostconn=1\n"
    "\n"
    "[MySQL]\n"
    "dbEnabled=1\n"
    "addressIP=localhost\n"
    "portNum=0\n"
    "username=root\n"
    "Password=\n"
    "dbName=plc_memory\n"
    "dropAfter=1\n"
    "dropBefore=1\n"
    "mirrorEachValue=0\n"
    "sslMode=DISABLED\n"
    "sslCa=\n"
    "sslCert=\n"
    "sslKey=\n"
    "historyDb=\n"
    "historyDays=30\n"
    "historyJournal=\n"
    "historyJournalMB=256\n";

// Each test gets its own configuration home, so the settings directory is a
// fresh, not yet existing folder inside a temporary directory.
class SettingsFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(configHome_.ok());
        home_ = configHome_.path();
    }

    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }
    static void Write(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    // A file in the settings directory with the given text; returns its path.
    std::string FileWith(const std::string& text) {
        EXPECT_TRUE(EnsureSettingsDirectory());
        const std::string path = SettingsFilePath("case");
        Write(path, text);
        return path;
    }
    static Settings LoadText(SettingsFileTest* self, const std::string& text) {
        Settings s;
        EXPECT_EQ(LoadSettings(self->FileWith(text), s), LoadResult::Ok);
        return s;
    }
    static mode_t Mode(const std::string& path) {
        struct stat st {};
        EXPECT_EQ(::stat(path.c_str(), &st), 0);
        return st.st_mode & 07777;
    }

    test::TempConfigHome configHome_{"tl-settings"};

    std::string home_;
};

using test::NonDefaultSettings;

TEST_F(SettingsFileTest, DefaultsIntoFreshFileGiveTheFiveSectionsInOrder) {
    const std::string path = SettingsFilePath("tarnlight");
    EXPECT_EQ(path, home_ + "/tarnlight/tarnlight.ini");
    ASSERT_FALSE(fs::exists(SettingsDirectory()));

    std::string error = "untouched";
    ASSERT_EQ(SaveSettings(DefaultSettings(), path, &error), SaveResult::Ok);
    EXPECT_EQ(error, "untouched");
    EXPECT_EQ(Read(path), kDefaultFileText);

    // Two plain-text passwords: private file in a private directory.
    EXPECT_EQ(Mode(path), 0600u);
    EXPECT_EQ(Mode(SettingsDirectory()), 0700u);
    // Only the file itself is left behind, no temporary.
    EXPECT_EQ(std::distance(fs::directory_iterator(SettingsDirectory()), {}), 1);
}

TEST_F(SettingsFileTest, SaveChangeLoadRestoresEveryField) {
    const std::string path = SettingsFilePath("tarnlight");
    const Settings saved = NonDefaultSettings();
    ASSERT_EQ(SaveSettings(saved, path, nullptr), SaveResult::Ok);

    Settings s = DefaultSettings();
    s.k = 99;
    s.lostconn = 0;
    s.portNum = "1";
    ASSERT_EQ(LoadSettings(path, s), LoadResult::Ok);
    EXPECT_EQ(s, saved);
    EXPECT_EQ(s.k, 17);
    EXPECT_EQ(s.lostconn, 2);
    EXPECT_EQ(s.portNum, "3307");
    EXPECT_EQ(s.dbPassword, "  spaced \"quoted\" ");

    // Saving the loaded values again changes nothing in the file.
    const std::string first = Read(path);
    ASSERT_EQ(SaveSettings(s, path, nullptr), SaveResult::Ok);
    EXPECT_EQ(Read(path), first);

    // And back to the defaults.
    ASSERT_EQ(SaveSettings(DefaultSettings(), path, nullptr), SaveResult::Ok);
    EXPECT_EQ(Read(path), kDefaultFileText);
}

TEST_F(SettingsFileTest, MissingKeysTakeDefaultsNotCurrentValues) {
    Settings s = NonDefaultSettings();
    ASSERT_EQ(LoadSettings(FileWith("[RS232]\nbaudRate=9\n"), s), LoadResult::Ok);
    Settings expected = DefaultSettings();
    expected.baudRate = 9;
    EXPECT_EQ(s, expected);

    s = NonDefaultSettings();
    ASSERT_EQ(LoadSettings(FileWith(""), s), LoadResult::Ok);
    EXPECT_EQ(s, DefaultSettings());
}

TEST_F(SettingsFileTest, LoadAppliesTheControlRules) {
    const Settings s = LoadText(this,
                                "[RS232]\nport=32\nbaudRate=-1\nparity=-3\nstopBits=5\n"
                                "[PLC_Memory]\n%I_to=9000\n%AI_to=5000\n%M_from=0\n%Q_from=4097\n"
                                "[Connection]\nT1=300\nT2=70000\nT3'=-5\nT4=65001\nTd=60001\n"
                                "k=0\nlostconn=7\n");
    EXPECT_EQ(s.port, -1);      // outside the list: no selection
    EXPECT_EQ(s.baudRate, -1);  // likewise
    EXPECT_EQ(s.parity, -1);    // below 0: no item
    EXPECT_EQ(s.stopBits, 1);   // above the last: the last item
    EXPECT_EQ(s.areaTo[0], 8192);
    EXPECT_EQ(s.areaTo[3], 4096);
    EXPECT_EQ(s.areaFrom[1], 1);
    EXPECT_EQ(s.areaFrom[2], 4096);
    EXPECT_EQ(s.T1, 255);
    EXPECT_EQ(s.T2, 65000);
    EXPECT_EQ(s.T3b, 0);
    EXPECT_EQ(s.T4, 65000);
    EXPECT_EQ(s.Td, 60000);
    EXPECT_EQ(s.k, 1);
    EXPECT_EQ(s.lostconn, 2);  // "try to connect constantly"
}

TEST_F(SettingsFileTest, NumbersAndBooleansAreParsedLikeLoadReadsThem) {
    const Settings s = LoadText(this,
                                "[PLC_Memory]\n%I_to=0x20\n%M_to=0X1f\n%Q_to=0x\n%AI_to=12abc\n"
                                "%R_to=+7\n%AQ_to=99999999999\n"
                                "%I_enabled=0\n%M_enabled=yes\n%AI_enabled=2\n%R_enabled=0x0\n"
                                "%AQ_enabled=-1\n"
                                "[Connection]\nT1=\n");
    EXPECT_EQ(s.areaTo[0], 32);
    EXPECT_EQ(s.areaTo[1], 31);
    EXPECT_EQ(s.areaTo[2], 48);  // "0x" alone is no number: default
    EXPECT_EQ(s.areaTo[3], 16);
    EXPECT_EQ(s.areaTo[4], 7);
    EXPECT_EQ(s.areaTo[5], 16);  // beyond int: default
    EXPECT_FALSE(s.areaEnabled[0]);
    EXPECT_TRUE(s.areaEnabled[1]);  // not a number: default (true)
    EXPECT_TRUE(s.areaEnabled[3]);
    EXPECT_FALSE(s.areaEnabled[4]);
    EXPECT_TRUE(s.areaEnabled[5]);
    EXPECT_EQ(s.T1, 5);

    int v = 0;
    EXPECT_TRUE(ParseSettingsInteger("-2147483648", &v));
    EXPECT_EQ(v, -2147483648LL);
    EXPECT_FALSE(ParseSettingsInteger("2147483648", &v));
    EXPECT_FALSE(ParseSettingsInteger("-", &v));
    EXPECT_FALSE(ParseSettingsInteger("0xg", &v));
    EXPECT_TRUE(ParseSettingsInteger(" 0x7FFFFFFF ", &v));
    EXPECT_EQ(v, 2147483647);
}

TEST_F(SettingsFileTest, ReadingToleratesLooseLayout) {
    const Settings s = LoadText(this,
                                "port=9\r\n"  // before any section: no section
                                "; comment\r\n"
                                "  [ rs232 ]  \r\n"
                                "BAUDRATE = 3 \r\n"
                                "parity\t=\t1\r\n"
                                "parity=2\r\n"  // duplicate: the first counts
                                "[MySQL]\r\n"
                                "username =  operator  \r\n"
                                "dbName=\"quoted name\"\r\n"
                                "[RS232]\r\nstopBits=1\r\n");  // a second RS232 is not read
    EXPECT_EQ(s.port, 0);
    EXPECT_EQ(s.baudRate, 3);
    EXPECT_EQ(s.parity, 1);
    EXPECT_EQ(s.stopBits, 0);
    EXPECT_EQ(s.username, "operator");
    EXPECT_EQ(s.dbName, "quoted name");

    // A byte-order mark before the first section header.
    EXPECT_EQ(LoadText(this, "\xEF\xBB\xBF[RS232]\nbaudRate=9\n").baudRate, 9);
}

TEST_F(SettingsFileTest, LongTextsAreCutOnReading) {
    Settings saved;
    saved.dbName = std::string(3000, 'n');
    saved.cpuId = std::string(2047, 'c');
    const std::string path = SettingsFilePath("long");
    ASSERT_EQ(SaveSettings(saved, path, nullptr), SaveResult::Ok);
    Settings s;
    ASSERT_EQ(LoadSettings(path, s), LoadResult::Ok);
    EXPECT_EQ(s.dbName, std::string(2047, 'n'));
    EXPECT_EQ(s.cpuId, saved.cpuId);
}

TEST_F(SettingsFileTest, LineBreaksInTextsCannotForgeKeys) {
    Settings saved;
    saved.cpuId = "A\n[MySQL]\nPassword=forged";
    const std::string path = SettingsFilePath("inject");
    ASSERT_EQ(SaveSettings(saved, path, nullptr), SaveResult::Ok);
    Settings s;
    ASSERT_EQ(LoadSettings(path, s), LoadResult::Ok);
    EXPECT_EQ(s.cpuId, "A [MySQL] Password=forged");
    EXPECT_EQ(s.dbPassword, "");
}

TEST_F(SettingsFileTest, MissingFileLeavesSettingsAlone) {
    Settings s = NonDefaultSettings();
    EXPECT_EQ(LoadSettings(SettingsFilePath("nothing"), s), LoadResult::NotFound);
    EXPECT_EQ(s, NonDefaultSettings());

    // A directory where the file should be is no settings file either.
    ASSERT_TRUE(fs::create_directories(SettingsFilePath("folder")));
    EXPECT_EQ(LoadSettings(SettingsFilePath("folder"), s), LoadResult::NotFound);
    EXPECT_EQ(s, NonDefaultSettings());
}

TEST_F(SettingsFileTest, EmptyNameMeansDotIni) {
    const std::string path = SettingsFilePath("");
    EXPECT_EQ(path, SettingsDirectory() + ".ini");
    Settings s = NonDefaultSettings();
    EXPECT_EQ(LoadSettings(path, s), LoadResult::NotFound);
    ASSERT_EQ(SaveSettings(DefaultSettings(), path, nullptr), SaveResult::Ok);
    EXPECT_EQ(LoadSettings(path, s), LoadResult::Ok);
    EXPECT_EQ(s, DefaultSettings());
    // Nothing trimmed: blanks are part of the name.
    EXPECT_EQ(SettingsFilePath(" a "), SettingsDirectory() + " a .ini");
}

TEST_F(SettingsFileTest, SavingOverAFileKeepsWhatItDoesNotKnow) {
    const std::string path = FileWith(
        "; written by hand\n"
        "[Extra]\n"
        "keep=me\n"
        "\n"
        "[RS232]\n"
        "stopBits = 1\n"
        "custom=x\n"
        "port=5\n"
        "\n"
        "# about the controller\n"
        "[PLC_Info]\n"
        "Password=old\n");
    Settings s;
    s.port = 3;
    s.cpuPassword = "new";
    ASSERT_EQ(SaveSettings(s, path, nullptr), SaveResult::Ok);

    const std::string expected =
        std::string(
            "; written by hand\n"
            "[Extra]\n"
            "keep=me\n"
            "\n"
            "[RS232]\n"
            "stopBits=0\n"
            "custom=x\n"
            "port=3\n"
            "baudRate=6\n"
            "parity=0\n"
            "\n"
            "# about the controller\n"
            "[PLC_Info]\n"
            "Password=new\n"
            "CPU_ID=\n") +
        std::string(kDefaultFileText).substr(std::string(kDefaultFileText).find("\n[PLC_Memory]"));
    EXPECT_EQ(Read(path), expected);
}

// The keys without a control on the pages: Load reads them; Save writes the
// values in force into a file that lacks them (so saving under another name
// keeps TLS) and leaves them where they stand (a hand edit wins).
TEST_F(SettingsFileTest, FileOnlyKeysAreWrittenWhereTheFileLacksThem) {
    EXPECT_TRUE(LoadText(this, "[MySQL]\nmirrorEachValue = 0x1\n").mirrorEachValue);
    EXPECT_FALSE(LoadText(this, "[MySQL]\nmirrorEachValue=yes\n").mirrorEachValue);
    Settings s = LoadText(this,
                          "[RS232]\nstations = line3, line4\n"
                          "[PLC_Memory]\n%I_scan=500\nmaxReadBytes=0x100\n"
                          "[MySQL]\nmirrorEachValue=1\nsslMode = verify_identity\n"
                          "sslCa=/ca.pem\nsslKey=k\nhistoryDb=hist\nhistoryDays=7\n"
                          "[Tags]\nflow=%AI3 INT scale=0.01 history deadband=0.5\npump=%Q5\n");
    EXPECT_EQ(s.dbTls, (DbTls{SslMode::VerifyIdentity, "/ca.pem", "", "k"}));
    EXPECT_EQ(s.scanMs[0], 500);
    EXPECT_EQ(s.maxReadBytes, 256);
    EXPECT_EQ(s.historyDb, "hist");
    EXPECT_EQ(s.historyDays, 7);
    EXPECT_EQ(s.stations, "line3, line4");
    ASSERT_EQ(s.tags.size(), 2U);
    EXPECT_EQ(s.tags[0].name, "flow");

    // Saved under a new name: everything in force arrives and loads back.
    const std::string line2 = SettingsFilePath("line2");
    ASSERT_EQ(SaveSettings(s, line2, nullptr), SaveResult::Ok);
    const std::string saved = Read(line2);
    EXPECT_NE(saved.find("sslMode=VERIFY_IDENTITY\nsslCa=/ca.pem\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("stopBits=0\nstations=line3, line4\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\n[Tags]\nflow=%AI3 INT scale=0.01 history deadband=0.5\n"
                         "pump=%Q5 BOOL\n"),
              std::string::npos)
        << saved;
    Settings again;
    ASSERT_EQ(LoadSettings(line2, again), LoadResult::Ok);
    EXPECT_EQ(again, s);

    // A file holding the keys keeps them as they stand, [Tags] as a whole.
    const std::string edited =
        FileWith("[MySQL]\nsslMode=REQUIRED\nmirrorEachValue=0\n[Tags]\n; none yet\n");
    ASSERT_EQ(SaveSettings(s, edited, nullptr), SaveResult::Ok);
    const std::string kept = Read(edited);
    EXPECT_NE(kept.find("sslMode=REQUIRED\nmirrorEachValue=0\n"), std::string::npos) << kept;
    EXPECT_NE(kept.find("[Tags]\n; none yet\n"), std::string::npos) << kept;
    EXPECT_EQ(kept.find("flow="), std::string::npos) << kept;
    EXPECT_NE(kept.find("historyDb=hist\n"), std::string::npos) << kept;
    Write(edited, "[RS232]\nstations=line9\n");
    ASSERT_EQ(SaveSettings(s, edited, nullptr), SaveResult::Ok);
    EXPECT_NE(Read(edited).find("stations=line9\n"), std::string::npos);
}

// Values no default may stand in for make the file unloadable, and the
// problem names the key or the line.
TEST_F(SettingsFileTest, BadFileOnlyValuesMakeTheFileUnloadable) {
    const std::pair<const char*, const char*> cases[] = {
        {"[MySQL]\nsslMode=ON\n",
         "[MySQL] sslMode=ON: not one of DISABLED, PREFERRED, REQUIRED, VERIFY_CA, "
         "VERIFY_IDENTITY"},
        {"[PLC_Memory]\n%R_scan=-5\n",
         "[PLC_Memory] %R_scan=-5: not a whole number from 0 to 3600000"},
        {"[PLC_Memory]\n%AQ_scan=3600001\n",
         "[PLC_Memory] %AQ_scan=3600001: not a whole number from 0 to 3600000"},
        {"[PLC_Memory]\nmaxReadBytes=fast\n",
         "[PLC_Memory] maxReadBytes=fast: not a whole number from 64 to 8192"},
        {"[MySQL]\nhistoryDays=0\n", "[MySQL] historyDays=0: not a whole number from 1 to 36500"},
        {"[Tags]\nlevel=%R100 REAL\nLEVEL=%R1\n",
         "line 3, [Tags] LEVEL=%R1: the name LEVEL is used twice"},
        {"[RS232]\n\n[Tags]\ntotal=%R10 DINT fast\n",
         "line 4, [Tags] total=%R10 DINT fast: unknown word 'fast'"},
    };
    for (const auto& [text, expected] : cases) {
        Settings s = NonDefaultSettings();
        std::string problem;
        EXPECT_EQ(LoadSettings(FileWith(text), s, &problem), LoadResult::Invalid) << text;
        EXPECT_EQ(problem, expected);
        EXPECT_EQ(s, NonDefaultSettings()) << "nothing taken from an unloadable file";
    }
}

TEST_F(SettingsFileTest, CrlfFileKeepsCrlf) {
    const std::string path = FileWith("[RS232]\r\nport=2\r\n");
    ASSERT_EQ(SaveSettings(DefaultSettings(), path, nullptr), SaveResult::Ok);
    const std::string text = Read(path);
    EXPECT_EQ(text.rfind("[RS232]\r\nport=0\r\nbaudRate=6\r\n", 0), 0u);
    std::size_t lf = 0, crlf = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n') continue;
        ++lf;
        if (i > 0 && text[i - 1] == '\r') ++crlf;
    }
    EXPECT_EQ(lf, crlf);
}

TEST_F(SettingsFileTest, ExistingFileModeIsTightenedNeverLoosened) {
    const std::string path = FileWith("[RS232]\n");
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    ASSERT_EQ(SaveSettings(DefaultSettings(), path, nullptr), SaveResult::Ok);
    EXPECT_EQ(Mode(path), 0600u);

    ASSERT_EQ(::chmod(path.c_str(), 0400), 0);
    ASSERT_EQ(SaveSettings(DefaultSettings(), path, nullptr), SaveResult::Ok);
    EXPECT_EQ(Mode(path), 0400u);
}

TEST_F(SettingsFileTest, SavingThroughALinkUpdatesItsTarget) {
    ASSERT_TRUE(EnsureSettingsDirectory());
    const std::string target = home_ + "/elsewhere.ini";
    Write(target, "[Extra]\nkeep=me\n");
    const std::string link = SettingsFilePath("linked");
    fs::create_symlink(target, link);
    ASSERT_EQ(SaveSettings(DefaultSettings(), link, nullptr), SaveResult::Ok);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Read(target), std::string("[Extra]\nkeep=me\n\n") + kDefaultFileText);
}

TEST_F(SettingsFileTest, UnwritablePathGivesTheErrorAndChangesNothing) {
    // A regular file as parent directory stops even root.
    const std::string blocker = home_ + "/plain";
    Write(blocker, "not a directory");
    const std::string path = blocker + "/tarnlight.ini";
    std::string error;
    EXPECT_EQ(SaveSettings(DefaultSettings(), path, &error), SaveResult::WriteFailed);
    EXPECT_EQ(error, "Unable to write to " + path);
    EXPECT_EQ(Read(blocker), "not a directory");

    // A directory standing at the path is neither replaced nor written into.
    const std::string folder = home_ + "/folder.ini";
    ASSERT_TRUE(fs::create_directory(folder));
    Write(folder + "/inside", "x");
    error.clear();
    EXPECT_EQ(SaveSettings(DefaultSettings(), folder, &error), SaveResult::WriteFailed);
    EXPECT_EQ(error, "Unable to write to " + folder);
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(Read(folder + "/inside"), "x");
    // No temporary left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(home_), {}), 2);

    EXPECT_EQ(SaveSettings(DefaultSettings(), "", &error), SaveResult::WriteFailed);
    EXPECT_EQ(error, "Unable to write to ");
}

// The file is plain INI: another reader finds the same sections, keys and values.
TEST_F(SettingsFileTest, AnotherIniReaderUnderstandsTheFile) {
    if (std::system("python3 -c 'import configparser' >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "python3 with configparser not available";
    }
    const std::string path = SettingsFilePath("tarnlight");
    ASSERT_EQ(SaveSettings(NonDefaultSettings(), path, nullptr), SaveResult::Ok);
    const std::string script =
        "import configparser,sys\n"
        "c=configparser.ConfigParser(interpolation=None)\n"
        "c.optionxform=str\n"
        "c.read(sys.argv[1])\n"
        "print(','.join(c.sections()))\n"
        "print(c['Connection'][\"T3'\"], c['PLC_Memory']['%I_to'], c['PLC_Info']['Password'],"
        " c['MySQL']['portNum'], len(c['PLC_Memory']))\n";
    const std::string scriptPath = home_ + "/check.py";
    Write(scriptPath, script);
    FILE* p = ::popen(("python3 " + scriptPath + " " + path + " 2>&1").c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[256];
    while (std::fgets(buf, sizeof buf, p) != nullptr) out += buf;
    EXPECT_EQ(::pclose(p), 0) << out;
    EXPECT_EQ(out, "RS232,PLC_Info,PLC_Memory,Connection,MySQL\n1200 8192 pa=ss;# 3307 25\n");
}

}  // namespace
}  // namespace tarnlight

namespace tarnlight {
namespace {

// The example file shipped for operators documents every key with its default.
TEST(SettingsExample, ShippedExampleHoldsEveryKeyAtItsDefault) {
    const std::string path = std::string(TARNLIGHT_SOURCE_DIR) + "/docs/tarnlight.ini.example";
    Settings loaded = DefaultSettings();
    loaded.T1 = 0;  // a value the file must set back
    ASSERT_EQ(LoadSettings(path, loaded), LoadResult::Ok);
    EXPECT_TRUE(loaded == DefaultSettings());
}

}  // namespace
}  // namespace tarnlight
