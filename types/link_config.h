#pragma once
// The snapshot of the configuration that one connection works from, taken by
// Connect. The worker, the SNP layer and the database mirror read only this
// snapshot, so editing the settings while connected changes nothing until the
// next Connect.
#include <array>
#include <cstdint>
#include <string>

#include <vector>

#include "types/db_tls.h"
#include "types/tag.h"

namespace tarnlight {

inline constexpr int kAreaCount = 6;

struct LinkConfig {
    bool breakFree = false;     // no line break before the attach
    bool giveUp = false;        // lost-connection policy "give up"
    bool retryForever = false;  // lost-connection policy "try to connect constantly"
    uint8_t attemptBudget = 1;  // attempts per series

    int32_t port = 0;      // 0..31 for COM1..COM32
    int32_t baudRate = 6;  // index into baudRateTable; -1 means 19200
    int32_t parity = 0;    // 0 odd, 1 even, 2 none
    int32_t stopBits = 0;  // 0 one, 1 two

    bool dropBefore = true;
    bool dropAfter = true;

    // Per MemoryType (%I %M %Q %AI %R %AQ): read in the full cycle, and the
    // inclusive 1-based address range.
    std::array<bool, kAreaCount> areaEnabled{};
    std::array<uint16_t, kAreaCount> areaFrom{};
    std::array<uint16_t, kAreaCount> areaTo{};
    // Scan period per area in milliseconds; 0: read in every pass.
    std::array<uint32_t, kAreaCount> scanMs{};
    // Longest read request in data bytes once any area has a period.
    uint16_t maxReadBytes = 512;
    // The [Tags] section, in its order; every tag lies inside the ranges read.
    std::vector<TagDefinition> tags;

    bool dbEnabled = false;
    int32_t portNum = 0;  // 0: the client library's default port
    std::string addressIP;
    std::string username;
    std::string dbPassword;
    std::string dbName;
    // One statement per row and value, as the mirror always did (for sites
    // whose triggers or logs rely on those statements); false: the fast
    // writer, build and write-back queue.
    bool mirrorEachValue = false;
    // TLS to the server, used by every connect of the link, reconnects too.
    DbTls dbTls;
    // Database of the tag history; empty: no history.
    std::string historyDb;
    int32_t historyDays = 30;  // rows older than that are deleted
    // Folder of the history's journals (empty: the default one, see
    // db/history_journal.h) and its bound in MiB.
    std::string historyJournal;
    int32_t historyJournalMB = 256;

    uint16_t T1 = 5;  // milliseconds; starting value of the link's t1
    uint16_t T2 = 1000;
    uint16_t T3b = 5000;
    uint16_t T4 = 150;        // wait after the line break
    uint16_t Td = 0;          // pause before each request of the cycle
    std::string CPU_ID;       // at most 7 characters are sent
    std::string cpuPassword;  // at most 8 characters are sent
};

// Items of the "If connection is lost:" choice.
enum LostConnectionItem : int {
    kPolicyGiveUp = 0,
    kPolicyTryKTimes = 1,
    kPolicyTryConstantly = 2,
};

// Sets giveUp, retryForever and attemptBudget from the selected item (-1 when
// nothing is selected) and the value of k. giveUp is cleared first; with no
// item selected retryForever and attemptBudget keep their values.
void ApplyLostConnectionPolicy(LinkConfig& config, int item, int k);

}  // namespace tarnlight
