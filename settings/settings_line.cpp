#include "settings/settings_line.h"

#include <cctype>
#include <filesystem>
#include <string_view>

namespace tarnlight {
namespace {

namespace fs = std::filesystem;

// Characters of the SNP ID an attach request carries.
constexpr std::size_t kAttachIdChars = 7;

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool EndsWithIni(std::string_view s) {
    if (s.size() < 4) return false;
    std::string tail(s.substr(s.size() - 4));
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".ini";
}

std::string FileName(const LineStation& s) {
    return fs::path(s.path).filename().string();
}

bool Fail(std::string* problem, std::string text) {
    if (problem != nullptr) *problem = std::move(text);
    return false;
}

// The line's own settings: every station must agree with the first file.
bool SameLine(const LineStation& first, const LineStation& station, std::string* problem) {
    struct Key {
        const char* section;
        const char* name;
        int Settings::*field;
    };
    static const Key kLineKeys[] = {
        {"RS232", "port", &Settings::port},     {"RS232", "baudRate", &Settings::baudRate},
        {"RS232", "parity", &Settings::parity}, {"RS232", "stopBits", &Settings::stopBits},
        {"Connection", "T1", &Settings::T1},    {"Connection", "T4", &Settings::T4},
    };
    for (const Key& key : kLineKeys) {
        const int value = station.settings.*key.field;
        const int expected = first.settings.*key.field;
        if (value == expected) continue;
        return Fail(problem, FileName(station) + ": [" + key.section + "] " + key.name + "=" +
                                 std::to_string(value) + " differs from " +
                                 std::to_string(expected) + " in " + FileName(first) +
                                 " (one line has one value)");
    }
    return true;
}

// SNP IDs and databases of a line of several.
bool DistinctStations(const std::vector<LineStation>& line, std::string* problem) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        const Settings& s = line[i].settings;
        const std::string file = FileName(line[i]);
        if (s.cpuId.empty()) {
            return Fail(problem, file +
                                     ": [PLC_Info] CPU_ID is empty: on a line of several "
                                     "controllers each station needs its own SNP ID");
        }
        for (std::size_t j = 0; j < i; ++j) {
            const Settings& other = line[j].settings;
            const std::string otherFile = FileName(line[j]);
            if (s.cpuId.substr(0, kAttachIdChars) == other.cpuId.substr(0, kAttachIdChars)) {
                return Fail(problem, file + ": [PLC_Info] CPU_ID=" + s.cpuId +
                                         " selects the same controller as CPU_ID=" + other.cpuId +
                                         " in " + otherFile + " (an attach carries 7 characters)");
            }
            if (!s.dbEnabled || !other.dbEnabled) continue;
            if (s.dbName == other.dbName) {
                return Fail(problem, file + ": [MySQL] dbName=" + s.dbName +
                                         " is the database of " + otherFile + " too");
            }
            if (s.dbName == other.historyDb || s.historyDb == other.dbName) {
                const bool mine = s.historyDb == other.dbName;
                return Fail(problem, file + ": [MySQL] " +
                                         (mine ? "historyDb=" + s.historyDb + " is the mirror"
                                               : "dbName=" + s.dbName + " is the history") +
                                         " database of " + otherFile);
            }
        }
    }
    return true;
}

}  // namespace

bool ParseStationNames(const std::string& text, std::vector<std::string>* names,
                       std::string* problem) {
    names->clear();
    if (TrimBlanks(text).empty()) return true;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::size_t end = comma == std::string::npos ? text.size() : comma;
        std::string_view name = TrimBlanks(std::string_view(text).substr(start, end - start));
        if (EndsWithIni(name)) name.remove_suffix(4);
        if (name.empty()) return Fail(problem, "an empty name between two commas");
        if (name.find('/') != std::string_view::npos) {
            return Fail(problem, std::string(name) +
                                     ": a base name of a file in the same folder, without '/'");
        }
        names->emplace_back(name);
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

LoadResult LoadLine(const std::string& path, std::vector<LineStation>& stations,
                    std::string* problem) {
    LineStation first;
    first.path = path;
    const fs::path firstPath(path);
    first.name = EndsWithIni(path) ? firstPath.stem().string() : firstPath.filename().string();
    std::string why;
    const LoadResult loaded = LoadSettings(path, first.settings, &why);
    if (loaded == LoadResult::NotFound) return LoadResult::NotFound;
    const std::string firstFile = FileName(first);
    if (loaded != LoadResult::Ok) {
        // As for a file alone: the message before it names the file.
        Fail(problem, why);
        return LoadResult::Invalid;
    }

    std::vector<std::string> names;
    if (!ParseStationNames(first.settings.stations, &names, &why)) {
        Fail(problem, firstFile + ": [RS232] stations=" + first.settings.stations + ": " + why);
        return LoadResult::Invalid;
    }
    std::vector<LineStation> line;
    line.reserve(names.size() + 1);
    line.push_back(std::move(first));
    const fs::path folder = firstPath.parent_path();
    for (const std::string& name : names) {
        for (const LineStation& known : line) {
            if (known.name == name) {
                Fail(problem, firstFile + ": [RS232] stations names the station " + name +
                                  " twice (the first file is a station too)");
                return LoadResult::Invalid;
            }
        }
        LineStation& station = line.emplace_back();
        station.name = name;
        station.path = (folder / (name + ".ini")).string();
        const std::string file = FileName(station);
        const LoadResult result = LoadSettings(station.path, station.settings, &why);
        if (result == LoadResult::NotFound) {
            Fail(problem, file + ": no such settings file (" + station.path +
                              "), named by [RS232] stations in " + firstFile);
            return LoadResult::Invalid;
        }
        if (result != LoadResult::Ok) {
            Fail(problem, file + ": " + why);
            return LoadResult::Invalid;
        }
        // One list per line, in one place: a second list would say which
        // gateway serves which station in two ways.
        if (!station.settings.stations.empty()) {
            Fail(problem, file + ": [RS232] stations=" + station.settings.stations +
                              ": only the first file of a line names the stations (" + firstFile +
                              ")");
            return LoadResult::Invalid;
        }
        if (!SameLine(line.front(), station, problem)) return LoadResult::Invalid;
    }
    if (line.size() > 1 && !DistinctStations(line, problem)) return LoadResult::Invalid;
    stations = std::move(line);
    return LoadResult::Ok;
}

}  // namespace tarnlight
