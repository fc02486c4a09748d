#pragma once
// The database's side of a connection, on a thread of its own, so that
// neither a long request on the line nor a slow or locked database holds up
// the other. At least once a second while the worker runs (kCadence), and
// soon after each complete read, it:
//   - pings the server (re-opening a session it lost) and writes the
//     controller's state into info;
//   - stores the values of the areas whose reads completed since, with their
//     tags, the history rows and the link_stats and area_stats rows, in one
//     transaction; after a failure or a new session the last complete read
//     of every area is stored again, so the tables never lag behind what
//     area_stats says;
//   - sends the flags of the write requests the line has served;
//   - reads the request tables for new rows once every row read before has
//     been served and its flag stored.
// The line's worker hands it complete reads and takes write requests from it
// one at a time; it writes the link's state changes at once.
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "db/mirror_connection.h"
#include "db/plc_mirror_db.h"
#include "snp/memory.h"
#include "types/engine_flags.h"
#include "types/link_config.h"
#include "types/link_stats.h"

namespace tarnlight {

class MirrorWorker {
  public:
    // What the worker shows: a message, and taking back the database's own
    // warning (empty text) once the server answers again.
    using ShowMessage = std::function<void(const std::string& text)>;
    using ClearWarning = std::function<void()>;

    MirrorWorker(db::PlcMirrorDb& mirror, db::MirrorConnection& connection,
                 const LinkConfig& config, EngineFlags& flags, LinkStats& stats);
    ~MirrorWorker();  // Stop()
    MirrorWorker(const MirrorWorker&) = delete;
    MirrorWorker& operator=(const MirrorWorker&) = delete;

    // Starts the thread for a new connection (nothing read, no request
    // pending). wakeLine is called when write requests arrive.
    void Start(ShowMessage show, ClearWarning clear, std::function<void()> wakeLine,
               const std::atomic<uint8_t>* plcState);
    // A last round (values, flags, the link's state), then the thread ends.
    void Stop();
    bool running() const { return thread_.joinable(); }

    // --- from the line's worker ---
    // The area's read completed at atMs (system clock) after durationMs; the
    // values from..to of the area are copied out of image.
    void AreaRead(int type, const snp::MemoryImage& image, int64_t atMs, uint64_t durationMs);
    // The link's state changed (stats hold the new one); wentDown: it was
    // online. Written at once.
    void LinkStateChanged(bool wentDown);
    // The controller's CPU ID, for info.
    void CpuId(const std::string& id);
    // Write requests read from the tables and not yet taken.
    bool HasWrites() const;
    std::optional<db::WriteRequest> TakeWrite();
    // What became of a request taken; the flag goes to the table soon.
    void Served(const db::ServedRequest& served);
    // The link is lost or ends: requests not taken stay pending in their
    // tables (flag 1) and are read again later.
    void DropWrites();

    // How often the worker writes at the least, and how soon after a read at
    // the earliest.
    static constexpr std::chrono::milliseconds kCadence{1000};
    static constexpr std::chrono::milliseconds kSoonest{100};

  private:
    struct Published {
        uint64_t seq = 0;  // 0: never read
        int64_t atMs = 0;
        uint64_t durationMs = 0;
    };
    void Run();
    // One round; cadence: ping and the info row as well.
    void Round(bool cadence);
    bool CheckServer();
    void StoreValues(bool cadence);
    void SendFlags();
    void FetchRequests();

    db::PlcMirrorDb& mirror_;
    db::MirrorConnection& connection_;
    const LinkConfig& config_;
    EngineFlags& flags_;
    LinkStats& stats_;
    ShowMessage show_;
    ClearWarning clear_;
    std::function<void()> wakeLine_;
    const std::atomic<uint8_t>* plcState_ = nullptr;
    std::thread thread_;

    // Shared with the line's worker.
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    bool urgent_ = false;                          // a link state change: write now
    bool fresh_ = false;                           // something to store since the last round
    std::unique_ptr<snp::MemoryImage> published_;  // complete reads, by area
    std::array<Published, kAreaCount> areas_{};
    uint64_t nextSeq_ = 0;
    std::deque<db::WriteRequest> queue_;
    std::vector<db::ServedRequest> served_;
    size_t outstanding_ = 0;  // read from the tables, flag not yet stored
    std::optional<std::string> cpuId_;
    int linkChanges_ = 0;
    bool linkWentDown_ = false;

    // The worker's own.
    std::unique_ptr<snp::MemoryImage> values_;       // copies of the reads being stored
    std::array<uint64_t, kAreaCount> storedSeq_{};   // read stored, by area
    std::array<uint64_t, kAreaCount> countedSeq_{};  // read counted as stored
    std::vector<db::ServedRequest> unsent_;          // flags still to store
    unsigned long epoch_ = 0;
    bool alive_ = true;
    bool warningShown_ = false;
};

}  // namespace tarnlight
