#pragma once
// The fast value writer. It remembers the value it last stored for every
// address of every area and, when the cycle's reads are done, sends only the
// values that differ: bits as one UPDATE ... WHERE id IN (...) per area for
// the ids that became 1 and one for those that became 0, words as
// UPDATE ... SET value = CASE id ... END WHERE id IN (...), all of a cycle in
// one transaction with one commit. It changes the rows that one UPDATE per
// value would change and nothing else.
//
// It never believes a value stored that may not be: everything it remembers
// is forgotten, so the next cycle writes every value again, when the
// connection was opened, closed or re-opened or any statement on it failed
// (MirrorConnection::Epoch), when Forget is called (the tables were rebuilt),
// and once per refresh interval, which also puts right within that interval a
// value row another program changed.
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "db/mirror_connection.h"
#include "db/statement_batch.h"
#include "db/value_mirror.h"
#include "types/link_config.h"

namespace tarnlight::db {

class ChangedValueMirror : public ValueMirror {
  public:
    explicit ChangedValueMirror(MirrorConnection& connection);

    // Held until EndCycle; a later value for the same address replaces it.
    void MirrorBitValue(int area, uint16_t address, uint8_t value) override;
    void MirrorWordValue(int area, uint16_t address, int16_t value) override;
    // Sends the held values that differ from those stored, in one transaction.
    // True when there was nothing to send or the commit succeeded; false (and
    // everything forgotten) when any statement failed.
    bool EndCycle() override;
    // EndCycle in two halves, for a cycle whose transaction carries more
    // (the tags, the link_stats row): the values into transaction, then
    // whether the whole transaction succeeded.
    void SendCycle(Transaction& transaction);
    void CycleStored(bool ok);

    void Forget();
    void SetRefreshInterval(std::chrono::milliseconds interval) { refreshInterval_ = interval; }
    static constexpr std::chrono::milliseconds kRefreshInterval{60'000};

  private:
    struct Area {
        std::vector<int32_t> stored;   // by address; kUnknown when not known
        std::vector<int32_t> pending;  // by address; kUnknown when none held
        uint32_t low = UINT32_MAX;     // held addresses lie in [low, high]
        uint32_t high = 0;
    };
    void Hold(int type, uint16_t address, int32_t value);

    MirrorConnection& connection_;
    std::array<Area, kAreaCount> areas_;
    unsigned long epoch_ = 0;  // connection epoch of what `stored` says
    bool forgotten_ = true;    // nothing stored since the last Forget
    std::chrono::milliseconds refreshInterval_ = kRefreshInterval;
    std::chrono::steady_clock::time_point lastFullWrite_{};
    std::chrono::steady_clock::time_point cycleStart_{};
};

}  // namespace tarnlight::db
