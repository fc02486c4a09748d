#pragma once
// One pending row of a request table (new_i ... new_aq, new_tags) as it was
// read, and what became of it. The engine reads the rows on its database
// thread, writes them on the line one by one between its reads, and sends
// the flags back on the database thread: the row travels as this value.
#include <cstdint>
#include <optional>
#include <string>

#include "types/link_config.h"

namespace tarnlight::db {

// The "type" of a new_tags row, after the six MemoryTypes.
inline constexpr int kTagRequests = kAreaCount;

struct WriteRequest {
    int type = 0;  // MemoryType 0..5, or kTagRequests
    // The columns as the server returned them (nullopt for SQL NULL): the id
    // (new_tags: the name) and the value. The flag changes compare the row
    // with these, so a row changed meanwhile keeps its flag.
    std::optional<std::string> id;
    std::optional<std::string> value;
    bool operator==(const WriteRequest&) const = default;
};

// What became of one request row.
enum class RequestOutcome {
    Rejected,       // malformed or outside the memory held: flag 2
    AlreadyStored,  // a read after Tarnlight's last write shows the value: flag 0, no write
    Written,        // the controller answered the write: flag 0
    Refused,        // the controller refused the write: flag 3, never tried again
    Failed          // no answer: the link is lost, the row keeps flag 1
};

struct ServedRequest {
    WriteRequest request;
    RequestOutcome outcome = RequestOutcome::Failed;
    // Raw tables: the address and value as parsed (the flag changes name
    // the row by them).
    uint16_t address = 0;
    long value = 0;
};

// Sent no request on the line: decided from the row and the image alone.
inline bool DecidedWithoutWrite(RequestOutcome outcome) {
    return outcome == RequestOutcome::Rejected || outcome == RequestOutcome::AlreadyStored;
}

}  // namespace tarnlight::db
