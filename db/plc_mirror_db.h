#pragma once
// The mirror database: schema and lifecycle, value mirroring and the
// write-back queue that turns flagged request rows into controller writes.
#include <chrono>
#include <cstdint>
#include <string>

#include "db/mirror_connection.h"
#include "db/value_mirror.h"
#include "engine/engine_flags.h"
#include "engine/link_config.h"
#include "serial/notifier.h"
#include "snp/memory.h"
#include "snp/plc_writer.h"

namespace tarnlight::db {

class PlcMirrorDb : public ValueMirror {
public:
    PlcMirrorDb(MirrorConnection& connection, const LinkConfig& config, EngineFlags& flags,
                const snp::MemoryImage& image, snp::PlcWriter& writer);

    // --- schema and lifecycle ---
    void DropMirrorDatabase();
    void CreateMirrorDatabase();
    void CreateMirrorTables();
    void UpdateInfoCpuId(const std::string& cpuId);  // only when dbEnabled and dbAlive
    void UpdateInfoPlcState(unsigned plcState);      // only when dbEnabled and dbAlive

    // --- value mirroring (ValueMirror) ---
    void MirrorBitValue(int area, uint16_t address, uint8_t value) override;
    void MirrorWordValue(int area, uint16_t address, int16_t value) override;

    // --- write-back queue ---
    // Resets the flag only while the row still requests the value written.
    void ClearRequestFlag(int type, uint16_t id, long value);
    int ServeBitRequests(int area);   // 1 done; anything else: a write failed
    int ServeWordRequests(int area);  // as above
    bool ServeWriteQueue();           // true unless a controller write failed

    // The worker's database check at the start of each pass: pings, and when
    // the ping fails re-opens the connection with the same parameters (at
    // most every reconnectInterval) and selects the database. Sets dbAlive.
    bool CheckConnection();
    void SetReconnectInterval(std::chrono::milliseconds interval) { reconnectInterval_ = interval; }

private:
    MirrorConnection& connection_;
    const LinkConfig& config_;
    EngineFlags& flags_;
    const snp::MemoryImage& image_;
    snp::PlcWriter& writer_;
    std::chrono::milliseconds reconnectInterval_{5000};
    std::chrono::steady_clock::time_point lastReconnect_{};
};

enum class DbConnectResult { Ok, ConnectFailed, SelectFailed };

// The database steps of Connect: connect, drop when configured, create,
// select, build the tables. On failure shows the "Database error" box with the
// client's error text through notifier and closes the connection; the caller
// shows "E11: Connecting to database error" or "E12: Selecting database error".
DbConnectResult ConnectMirrorDatabase(MirrorConnection& connection, PlcMirrorDb& mirror,
                                      const LinkConfig& config, Notifier& notifier);

}  // namespace tarnlight::db
