#include "engine/link_snapshot.h"

#include <algorithm>
#include <cctype>

#include "snp/memory.h"

namespace tarnlight {
namespace {

uint16_t ToU16(int value) {
    return static_cast<uint16_t>(std::clamp(value, 0, 0xFFFF));
}

std::string Trim(const std::string& text) {
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    auto first = std::find_if_not(text.begin(), text.end(), blank);
    auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
    return first < last ? std::string(first, last) : std::string();
}

}  // namespace

LinkConfig TakeLinkSnapshot(const Settings& pages, bool breakFree, const LinkConfig& last) {
    LinkConfig config;
    config.breakFree = breakFree;
    config.retryForever = last.retryForever;
    config.attemptBudget = last.attemptBudget;
    // k as its spin edit allows it.
    ApplyLostConnectionPolicy(config, pages.lostconn, std::clamp(pages.k, 1, 255));

    config.port = pages.port;
    config.baudRate = pages.baudRate;
    config.parity = pages.parity;
    config.stopBits = pages.stopBits;

    config.dropBefore = pages.dropBefore;
    config.dropAfter = pages.dropAfter;
    for (int type = 0; type < kAreaCount; ++type) {
        config.areaEnabled[type] = pages.areaEnabled[type];
        config.areaFrom[type] = ToU16(pages.areaFrom[type]);
        config.areaTo[type] = ToU16(pages.areaTo[type]);
        config.scanMs[type] = static_cast<uint32_t>(std::clamp(pages.scanMs[type], 0, kScanMsMax));
    }
    config.maxReadBytes =
        static_cast<uint16_t>(std::clamp(pages.maxReadBytes, kMaxReadBytesMin, kMaxReadBytesMax));
    config.tags = pages.tags;

    config.dbEnabled = pages.dbEnabled;
    // A port text that is no number stays 0 here; CheckDatabasePort refuses it.
    config.portNum = config.dbEnabled ? ParseDatabasePort(pages.portNum).value_or(0) : 0;
    config.addressIP = pages.addressIP;
    config.username = pages.username;
    config.dbPassword = pages.dbPassword;
    config.dbName = pages.dbName;
    config.mirrorEachValue = pages.mirrorEachValue;
    config.dbTls = pages.dbTls;
    config.historyDb = pages.historyDb;
    config.historyDays = pages.historyDays;
    config.historyJournal = pages.historyJournal;
    config.historyJournalMB = std::clamp(pages.historyJournalMB, 1, kHistoryJournalMBMax);

    config.T1 = ToU16(pages.T1);
    config.T2 = ToU16(pages.T2);
    config.T3b = ToU16(pages.T3b);
    config.T4 = ToU16(pages.T4);
    config.Td = ToU16(pages.Td);
    config.CPU_ID = pages.cpuId;
    config.cpuPassword = pages.cpuPassword;
    return config;
}

std::optional<int> ParseDatabasePort(const std::string& text) {
    const std::string digits = Trim(text);
    const bool numeric = !digits.empty() && digits.size() <= 5 &&
                         std::all_of(digits.begin(), digits.end(),
                                     [](unsigned char c) { return std::isdigit(c) != 0; });
    if (!numeric) return std::nullopt;
    const int value = std::stoi(digits);
    if (value > 65535) return std::nullopt;
    return value;
}

std::optional<SnapshotProblem> CheckAreaRanges(const LinkConfig& config) {
    // A read range is refused rather than guessed at: the grids, the reads and
    // the mirror all need first <= last within the memory image.
    for (int type = snp::kI; type <= snp::kAQ; ++type) {
        if (!config.areaEnabled[type]) continue;
        const int from = config.areaFrom[type];
        const int to = config.areaTo[type];
        const int max = snp::IsBitArea(type) ? snp::kMaxBitAddress : snp::kMaxWordAddress;
        std::string problem;
        if (from > to) {
            problem = "From " + std::to_string(from) + " is above to " + std::to_string(to);
        } else if (from < 1) {
            problem = "From " + std::to_string(from) + " is below 1";
        } else if (to > max) {
            problem = "To " + std::to_string(to) + " is above " + std::to_string(max);
        }
        if (!problem.empty())
            return SnapshotProblem{
                "Wrong memory range for " + std::string(snp::AreaSymbol(type)) + ": " + problem,
                "Error", "E23: Wrong memory range"};
    }
    return std::nullopt;
}

std::optional<SnapshotProblem> CheckTagRanges(const LinkConfig& config) {
    for (const TagDefinition& tag : config.tags) {
        const int type = tag.area;
        const int last = tag.address + TagWordCount(tag.type) - 1;
        const std::string symbol(snp::AreaSymbol(type));
        std::string range = symbol + " is not read";
        if (config.areaEnabled[type]) {
            if (tag.address >= config.areaFrom[type] && last <= config.areaTo[type]) continue;
            range = "the range read is " + symbol + std::to_string(config.areaFrom[type]) + ".." +
                    symbol + std::to_string(config.areaTo[type]);
        }
        std::string where = TagAddressText(tag);
        if (last != tag.address) where += ".." + symbol + std::to_string(last);
        return SnapshotProblem{
            "Tag " + tag.name + " (" + where + ") lies outside the memory read: " + range, "Error",
            "E25: Tag outside the memory read"};
    }
    return std::nullopt;
}

std::optional<SnapshotProblem> CheckHistoryDatabase(const LinkConfig& config) {
    if (!config.dbEnabled || config.historyDb.empty() || config.historyDb != config.dbName)
        return std::nullopt;
    return SnapshotProblem{"historyDb names the mirror database " + config.dbName +
                               ": the history needs a database of its own, which is never dropped",
                           "Error", "E26: Wrong history database"};
}

std::optional<SnapshotProblem> CheckDatabasePort(const LinkConfig& config,
                                                 const std::string& portText) {
    if (!config.dbEnabled || ParseDatabasePort(portText)) return std::nullopt;
    return SnapshotProblem{"'" + portText + "' is not a valid database port number (0..65535)",
                           "Error", "E13: Wrong database port number"};
}

}  // namespace tarnlight
