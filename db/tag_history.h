#pragma once
// The change history of the tags marked `history`, the cycle's side: which
// row each reading makes, handed to the journal (db/history_journal.h) at
// once, the database being there or not. The history writer
// (db/history_writer.h) moves the journal into tag_history of historyDb.
//
// A tag appends a row when its value differs by more than its deadband from
// the last row journalled (any change with deadband 0; the first value of a
// link always), at the time its area's read completed. NULL rows ("no data
// from here on") mark every gap: a value that is NaN or infinity, the link
// lost or ended, a crash (found by the journal at the next start), a full
// journal (at the time rows were first dropped, before the first row that
// finds room again), and a tag whose definition changed (before its first
// value under the new one).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "db/history_journal.h"
#include "types/link_config.h"

namespace tarnlight::db {

class TagHistory {
  public:
    TagHistory(const LinkConfig& config, HistoryJournal& journal);

    // A history database is configured (the journal may still be closed).
    bool Enabled() const { return config_.dbEnabled && !config_.historyDb.empty(); }
    // A new Connect: nothing journalled under this link yet; the tags the
    // journal found redefined start with a NULL row.
    void Start(const std::vector<std::string>& redefined);

    // The value of tag index read at readAtMs (nothing: NaN or infinity).
    void Hold(int index, std::optional<double> value, int64_t readAtMs);
    // The link went down or ended at atMs: a NULL row for every tag whose
    // last row is a value.
    void LinkDown(int64_t atMs);
    // The journal is full and rows were dropped since (W28 due once).
    bool TakeFullWarning();

  private:
    enum class Last : uint8_t { Nothing, NoData, Value };
    struct Journalled {
        Last last = Last::Nothing;
        double value = 0.0;
        bool redefined = false;  // a NULL row goes before the next value
    };
    void Size();
    bool Due(const TagDefinition& tag, const Journalled& j,
             const std::optional<double>& value) const;
    // Appends; on a full journal starts the gap at atMs.
    bool Append(std::size_t index, std::optional<double> value, int64_t atMs);
    // The gap's NULL rows, when the journal has room for them and one row more.
    bool CloseGap();

    const LinkConfig& config_;
    HistoryJournal& journal_;
    std::vector<Journalled> journalled_;  // by tag
    int64_t gapSinceMs_ = 0;              // 0: no rows dropped
    bool fullWarning_ = false;
};

}  // namespace tarnlight::db
