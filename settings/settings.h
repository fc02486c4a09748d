#pragma once
// Everything the operator configures: serial line, controller identity and
// memory ranges, SNP timers and lost-connection policy, database access. The
// configuration pages hold these values; Save and Load move them to and from
// a settings file (settings_file.h); Connect takes its LinkConfig from them.
//
// Not in here on purpose: the Break-Free SNP switch (never saved, loaded or
// reset to default), the fixed data bits, and the name of the settings file
// (the main window's name box; kDefaultSettingsName is its default).
#include <array>
#include <string>

#include <vector>

#include "types/db_tls.h"
#include "types/tag.h"

namespace tarnlight {

// Areas in MemoryType order: 0 %I, 1 %M, 2 %Q, 3 %AI, 4 %R, 5 %AQ.
inline constexpr int kSettingsAreaCount = 6;
inline constexpr int kSettingsBitAreaCount = 3;  // %I %M %Q come first

// Base name of the settings file the name box starts with.
inline constexpr const char* kDefaultSettingsName = "tarnlight";

// Control ranges. Combo boxes and radio groups hold an item index, -1 meaning
// nothing selected.
inline constexpr int kPortItems = 32;      // "COM1" .. "COM32"
inline constexpr int kBaudRateItems = 10;  // 300 .. 115200
inline constexpr int kParityItems = 3;     // odd, even, none
inline constexpr int kStopBitsItems = 2;   // one, two
inline constexpr int kLostConnItems = 3;   // give up, k times, constantly
inline constexpr int kAreaFromMax = 4096;
inline constexpr int kBitAreaToMax = 8192;
inline constexpr int kWordAreaToMax = 4096;
inline constexpr int kT1Max = 255;
inline constexpr int kTimerMax = 65000;  // T2, T3', T4
inline constexpr int kTdMax = 60000;
inline constexpr int kKMin = 1;
inline constexpr int kKMax = 255;
inline constexpr int kScanMsMax = 3600000;
inline constexpr int kMaxReadBytesMin = 64;
inline constexpr int kMaxReadBytesMax = 8192;
inline constexpr int kMaxReadBytesDefault = 512;
inline constexpr int kHistoryDaysDefault = 30;
inline constexpr int kHistoryDaysMax = 36500;
inline constexpr int kHistoryJournalMBDefault = 256;
inline constexpr int kHistoryJournalMBMax = 100000;

// Maximum lengths the text boxes accept when typing (a longer text set from
// outside, e.g. by Load, is kept whole).
inline constexpr int kCpuIdMaxLength = 7;
inline constexpr int kCpuPasswordMaxLength = 8;
inline constexpr int kDbTextMaxLength = 64;

struct Settings {
    // [RS232]
    int port = 0;      // combo 0..31 (COM1..COM32), -1 no selection
    int baudRate = 6;  // combo 0..9 (19200), -1 no selection
    int parity = 0;    // radio 0 odd, 1 even, 2 none; -1 no item
    int stopBits = 0;  // radio 0 one, 1 two; -1 no item
    // File-only key stations: the other stations' settings files when this
    // file is the first of a line of several controllers (settings_line.h);
    // empty for a controller alone on its port. Kept as written.
    std::string stations;

    // [PLC_Info]
    std::string cpuId;        // key CPU_ID
    std::string cpuPassword;  // key Password

    // [PLC_Memory], per area in MemoryType order
    std::array<bool, kSettingsAreaCount> areaEnabled{true, true, true, false, false, false};
    std::array<int, kSettingsAreaCount> areaFrom{1, 1, 1, 1, 1, 1};  // spin 1..4096
    // spin 1..8192 for the bit areas, 1..4096 for the word areas
    std::array<int, kSettingsAreaCount> areaTo{48, 48, 48, 16, 16, 16};
    // File-only keys %I_scan .. %AQ_scan (ms, 0 every pass) and maxReadBytes.
    std::array<int, kSettingsAreaCount> scanMs{};
    int maxReadBytes = kMaxReadBytesDefault;

    // [Connection], timers in milliseconds
    int T1 = 5;        // spin 0..255
    int T2 = 1000;     // spin 0..65000
    int T3b = 5000;    // key T3', spin 0..65000
    int T4 = 150;      // spin 0..65000
    int Td = 0;        // spin 0..60000
    int k = 5;         // spin 1..255
    int lostconn = 1;  // radio 0 give up, 1 k times, 2 constantly; -1 no item

    // [MySQL]
    bool dbEnabled = true;
    std::string addressIP = "localhost";
    std::string portNum = "0";  // text; converted at Connect, 0 = library default
    std::string username = "root";
    std::string dbPassword;  // key Password
    std::string dbName = "plc_memory";
    bool dropAfter = true;
    bool dropBefore = true;
    // The keys below have no control on the pages ("file-only"): Load reads
    // them, Save writes one only when the target file lacks it (with the
    // value in force here) and otherwise leaves it as it stands, All Default
    // leaves them alone.
    //
    // Key mirrorEachValue: 1 sends one statement per row and value as the
    // mirror always did, 0 the fast mirror.
    bool mirrorEachValue = false;
    // Keys sslMode, sslCa, sslCert, sslKey: TLS to the server (a bad sslMode
    // makes the file unloadable).
    DbTls dbTls;
    // File-only keys historyDb (empty: no history) and historyDays.
    std::string historyDb;
    int historyDays = kHistoryDaysDefault;
    // File-only keys historyJournal (the journal's folder; empty: the
    // default one) and historyJournalMB (its bound, 1..100000 MiB).
    std::string historyJournal;
    int historyJournalMB = kHistoryJournalMBDefault;

    // [Tags], file only, in the order of the file.
    std::vector<TagDefinition> tags;
};

bool operator==(const Settings& a, const Settings& b);

// The values All Default puts into the pages (same as a default Settings{});
// mirrorEachValue and dbTls, which have no control there, keep their values.
Settings DefaultSettings();

// SettingsDirectory() + name + ".ini"; the name is used as given, nothing
// trimmed or checked (an empty name gives "<dir>/.ini").
std::string SettingsFilePath(const std::string& name);

// Control rules applied when a value is set from outside (Load, All Default):
// a spin edit clamps to [min, max].
int ClampSpin(int value, int min, int max);
// A radio group with `items` items: above the last index -> the last item,
// below 0 -> -1 (no item).
int ClampRadio(int index, int items);
// A drop-down list with `items` items: an index outside the list -> -1
// (no selection).
int ClampCombo(int index, int items);

// Upper end of the "to" spin edit of an area (8192 bit areas, 4096 word areas).
int AreaToMax(int area);

// Applies all control rules above to every field of `s`.
void ClampToControls(Settings& s);

}  // namespace tarnlight
