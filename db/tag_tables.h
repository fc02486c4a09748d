#pragma once
// The tables of the tags beside the raw ones:
//
//   tags      name (primary key), address ("%R100"), type ("REAL"), value
//             (DOUBLE, NULL while unknown and for a REAL whose bits are NaN
//             or infinity), raw (hexadecimal, high word first), changed_at
//             (DATETIME(3), the server's clock: when the value that last
//             changed was read), scale and offset (the definition the value
//             follows), quality ("good", "stale", "none": types/tag_quality.h)
//   new_tags  name (primary key), value (DOUBLE), flag: requests to write a
//             tag, with the flags of the raw request tables
//
// Both are built at Connect with the other tables; tags is rebuilt to the
// definitions of the link (a tag removed from the settings is gone, a new
// one appears, one whose address, type, scale or offset changed starts
// unknown), new_tags gets a row for every tag it lacks. Each pass, the tags
// whose raw bits differ from what the table holds are written in the cycle's
// transaction.
//
// As the fast value writer, it never believes a row stored that may not be:
// what it remembers is forgotten (and every tag written again) when the
// connection changed or a statement failed, when the tables were built, and
// once per refresh interval. changed_at moves only when the value or raw
// bits differ from the row's, so writing a tag again keeps it.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "db/mirror_connection.h"
#include "db/statement_batch.h"
#include "types/link_config.h"
#include "types/tag_quality.h"

namespace tarnlight::db {

class TagTable {
  public:
    TagTable(MirrorConnection& connection, const LinkConfig& config);

    // CREATE TABLE of both (a kept one stays), its rows rebuilt to
    // config.tags. Results not examined, as for the other tables.
    void Create();
    void Forget();
    // Connect: no tag read yet.
    void Start();

    // The raw bits of tag index, read at readAtMs (system clock) in this pass.
    void Hold(int index, uint32_t raw, int64_t readAtMs);
    // Read since Start.
    bool EverRead(int index) const;
    // The quality each tag has now; sent with the next QualityChanges.
    void SetQuality(const std::vector<TagQuality>& quality);
    // The UPDATEs of the tags whose quality differs from the table's, one per
    // quality.
    std::vector<std::string> QualityChanges();
    // The statements of QualityChanges were committed (ok) or not.
    void QualityStored(bool ok);
    // The held tags whose raw bits differ from the table's: one multi-row
    // INSERT ... ON DUPLICATE KEY UPDATE per statement limit, or with
    // eachValue one UPDATE per tag. True when every statement succeeded.
    bool SendChanges(const StatementBatch::Send& send, bool eachValue);
    // The statements of SendChanges were committed (ok) or not.
    void Stored(bool ok);

    void SetRefreshInterval(std::chrono::milliseconds interval) { refreshInterval_ = interval; }

  private:
    static constexpr int64_t kUnknown = -1;
    void Size();
    std::string Row(int index, uint32_t raw) const;     // "('name','%R1','INT',5,'0005',...)"
    std::string Update(int index, uint32_t raw) const;  // one tag's UPDATE

    MirrorConnection& connection_;
    const LinkConfig& config_;
    std::vector<int64_t> stored_;   // by tag; kUnknown when not known
    std::vector<int64_t> pending_;  // by tag; kUnknown when none held
    std::vector<int64_t> readAt_;   // by tag: when the held bits were read
    std::vector<bool> everRead_;
    std::vector<TagQuality> quality_;
    std::vector<int> storedQuality_;  // by tag; -1 when not known
    std::vector<int> sendingQuality_;
    unsigned long qualityEpoch_ = 0;
    unsigned long epoch_ = 0;
    bool forgotten_ = true;
    std::chrono::milliseconds refreshInterval_{60'000};
    std::chrono::steady_clock::time_point lastFullWrite_{};
    std::chrono::steady_clock::time_point sendStart_{};
};

}  // namespace tarnlight::db
