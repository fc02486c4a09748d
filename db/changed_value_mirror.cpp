#include "db/changed_value_mirror.h"

#include <algorithm>
#include <climits>
#include <string>

#include "db/statement_batch.h"
#include "db/table_names.h"
#include "snp/memory.h"

namespace tarnlight::db {

namespace {

constexpr int32_t kUnknown = INT32_MIN;

}  // namespace

ChangedValueMirror::ChangedValueMirror(MirrorConnection& connection) : connection_(connection) {
    for (int type = 0; type < kAreaCount; ++type) {
        const std::size_t size =
            (snp::IsBitArea(type) ? snp::kMaxBitAddress : snp::kMaxWordAddress) + 1u;
        areas_[type].stored.assign(size, kUnknown);
        areas_[type].pending.assign(size, kUnknown);
    }
}

void ChangedValueMirror::MirrorBitValue(int area, uint16_t address, uint8_t value) {
    if (area < 0 || area >= snp::kBitAreaCount) return;
    Hold(area, address, value == 1 ? 1 : 0);
}

void ChangedValueMirror::MirrorWordValue(int area, uint16_t address, int16_t value) {
    if (area < 0 || area >= snp::kWordAreaCount) return;
    Hold(area + snp::kAI, address, value);
}

void ChangedValueMirror::Hold(int type, uint16_t address, int32_t value) {
    Area& a = areas_[type];
    if (address == 0 || address >= a.pending.size()) return;
    a.pending[address] = value;
    a.low = std::min<uint32_t>(a.low, address);
    a.high = std::max<uint32_t>(a.high, address);
}

void ChangedValueMirror::Forget() {
    for (Area& a : areas_) std::fill(a.stored.begin(), a.stored.end(), kUnknown);
    forgotten_ = true;
}

bool ChangedValueMirror::EndCycle() {
    Transaction transaction(connection_);
    SendCycle(transaction);
    const bool ok = transaction.Commit();
    CycleStored(ok);
    return ok;
}

void ChangedValueMirror::SendCycle(Transaction& transaction) {
    cycleStart_ = std::chrono::steady_clock::now();
    if (connection_.Epoch() != epoch_ || cycleStart_ - lastFullWrite_ >= refreshInterval_) Forget();
    // A statement that fails does not stop the rest, as with one statement
    // per value: a table another program broke must not stop the others.
    const StatementBatch::Send send = transaction.Sender();

    std::string item;
    for (int type = 0; type < kAreaCount; ++type) {
        Area& a = areas_[type];
        if (a.low > a.high) continue;
        const std::string table(kValueTable[type]);
        if (snp::IsBitArea(type)) {
            StatementBatch ones("UPDATE " + table + " SET value = 1 WHERE id IN (", ")", send);
            StatementBatch zeros("UPDATE " + table + " SET value = 0 WHERE id IN (", ")", send);
            for (uint32_t address = a.low; address <= a.high; ++address) {
                const int32_t value = a.pending[address];
                if (value == kUnknown || value == a.stored[address]) continue;
                a.stored[address] = value;
                item.clear();
                AppendNumber(item, address);
                (value != 0 ? ones : zeros).Add(item);
            }
            ones.Flush();
            zeros.Flush();
        } else {
            // Only rows that exist are changed, as one UPDATE per value would.
            ValueUpdateBatch rows(table, send);
            for (uint32_t address = a.low; address <= a.high; ++address) {
                const int32_t value = a.pending[address];
                if (value == kUnknown || value == a.stored[address]) continue;
                a.stored[address] = value;
                rows.Add(address, value);
            }
            rows.Flush();
        }
        std::fill(a.pending.begin() + a.low, a.pending.begin() + a.high + 1, kUnknown);
        a.low = UINT32_MAX;
        a.high = 0;
    }
}

void ChangedValueMirror::CycleStored(bool ok) {
    if (!ok) {
        // Some of it may be stored, some not, and after a lost connection
        // nobody knows whether the commit arrived: nothing is believed.
        Forget();
        return;
    }
    epoch_ = connection_.Epoch();
    if (forgotten_) {
        forgotten_ = false;
        lastFullWrite_ = cycleStart_;
    }
}

}  // namespace tarnlight::db
