#pragma once
// The snapshot a connection works from, taken from the pages' settings, and
// the checks Connect makes on it before anything outside the program is
// touched. Plain functions: no engine state, no window.
#include <optional>
#include <string>

#include "settings/settings.h"
#include "types/link_config.h"

namespace tarnlight {

// The LinkConfig for one connection. Only the lost-connection policy looks
// at last (the snapshot of the previous Connect): with no item selected on
// the page, its "try constantly" and attempt budget carry over.
LinkConfig TakeLinkSnapshot(const Settings& pages, bool breakFree, const LinkConfig& last);

// The database port as the page's text gives it: decimal 0..65535, blanks
// around it allowed; nothing for any other text.
std::optional<int> ParseDatabasePort(const std::string& text);

// What a Connect check found wrong: the box's text and caption, and the
// message for the message panel.
struct SnapshotProblem {
    std::string boxText;
    std::string boxCaption;
    std::string message;
};

// The first enabled area whose range the grids, the reads and the mirror
// cannot use (E23).
std::optional<SnapshotProblem> CheckAreaRanges(const LinkConfig& config);
// The first tag that does not lie inside the enabled ranges read, both words
// of a 32-bit tag (E25): the ranges are never widened for a tag.
std::optional<SnapshotProblem> CheckTagRanges(const LinkConfig& config);
// A history database that is the mirror database itself (E26): dropBefore
// and dropAfter would take the history with it.
std::optional<SnapshotProblem> CheckHistoryDatabase(const LinkConfig& config);
// A database port text that is no port number (E13); nothing to check while
// the database is off.
std::optional<SnapshotProblem> CheckDatabasePort(const LinkConfig& config,
                                                 const std::string& portText);

}  // namespace tarnlight
