#pragma once
// Several controllers on one serial line (an RS-485 pair, each controller
// selected by its SNP ID): every station has a settings file of its own, as a
// controller alone has, and the first file names the others in the file-only
// key [RS232] stations (base names in the same folder, separated by commas).
// The line's own settings (port, baudRate, parity, stopBits in [RS232], T1
// and T4 in [Connection]) come from the first file; every station file must
// agree with it, so that each one still works alone in the window.
#include <string>
#include <vector>

#include "settings/settings.h"
#include "settings/settings_file.h"

namespace tarnlight {

struct LineStation {
    std::string name;  // base name of its file: "line2" for <folder>/line2.ini
    std::string path;
    Settings settings;
};

// Splits a stations value into base names: separated by commas, blanks
// around each name ignored, a trailing ".ini" dropped. An empty value gives
// no names. False, with *problem saying why, for an empty name between two
// commas or one holding a '/' (the stations live beside the first file).
bool ParseStationNames(const std::string& text, std::vector<std::string>* names,
                       std::string* problem);

// Loads the line whose first file is `path`: stations[0] is that file, the
// others follow in the order its stations key names them (a file without
// the key gives a line of one). NotFound when the first file is missing.
// Invalid, with `stations` left as it was and *problem naming the file and
// the key, when any station file is missing or unloadable, names stations
// of its own (only the first file of a line does), differs from the first
// file in port, baudRate, parity, stopBits, T1 or T4, or when a line of
// several has an empty CPU_ID, two stations whose attach would carry the
// same SNP ID (its first 7 characters), or two stations with the database
// enabled whose dbName is the same or is the other's historyDb.
LoadResult LoadLine(const std::string& path, std::vector<LineStation>& stations,
                    std::string* problem = nullptr);

}  // namespace tarnlight
