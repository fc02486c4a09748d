#include "engine/mirror_worker.h"

#include <algorithm>

#include "snp/tag_image.h"

namespace tarnlight {

MirrorWorker::MirrorWorker(db::PlcMirrorDb& mirror, db::MirrorConnection& connection,
                           const LinkConfig& config, EngineFlags& flags, LinkStats& stats)
    : mirror_(mirror),
      connection_(connection),
      config_(config),
      flags_(flags),
      stats_(stats),
      published_(std::make_unique<snp::MemoryImage>()),
      values_(std::make_unique<snp::MemoryImage>()) {}

MirrorWorker::~MirrorWorker() {
    Stop();
}

void MirrorWorker::Start(ShowMessage show, ClearWarning clear, std::function<void()> wakeLine,
                         const std::atomic<uint8_t>* plcState) {
    Stop();
    show_ = std::move(show);
    clear_ = std::move(clear);
    wakeLine_ = std::move(wakeLine);
    plcState_ = plcState;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = urgent_ = fresh_ = false;
        areas_.fill(Published{});
        nextSeq_ = 0;
        queue_.clear();
        served_.clear();
        outstanding_ = 0;
        cpuId_.reset();
        linkChanges_ = 0;
        linkWentDown_ = false;
    }
    storedSeq_.fill(0);
    countedSeq_.fill(0);
    unsent_.clear();
    epoch_ = connection_.Epoch();
    alive_ = true;
    warningShown_ = false;
    thread_ = std::thread([this] { Run(); });
}

void MirrorWorker::Stop() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void MirrorWorker::Run() {
    using Clock = std::chrono::steady_clock;
    Clock::time_point lastCadence{};  // the first round pings at once
    Clock::time_point lastRound{};
    for (;;) {
        bool stopping = false;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            for (;;) {
                if (stop_ || urgent_) break;
                const Clock::time_point now = Clock::now();
                const Clock::time_point cadenceAt = lastCadence + kCadence;
                const Clock::time_point soonAt = lastRound + kSoonest;
                if (now >= cadenceAt || (fresh_ && now >= soonAt)) break;
                wake_.wait_until(lock, fresh_ ? std::min(cadenceAt, soonAt) : cadenceAt);
            }
            stopping = stop_;
            urgent_ = false;
        }
        const Clock::time_point now = Clock::now();
        const bool cadence = stopping || now - lastCadence >= kCadence;
        if (cadence) lastCadence = now;
        lastRound = now;
        Round(cadence);
        if (stopping) return;
    }
}

void MirrorWorker::Round(bool cadence) {
    if (!config_.dbEnabled) return;
    // The ping and the re-open only on the cadence: a server that is away
    // costs a failed check once a second, not one per read.
    if (cadence) alive_ = CheckServer();
    if (!alive_) return;
    std::optional<std::string> cpuId;
    int linkChanges = 0;
    bool wentDown = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cpuId.swap(cpuId_);
        linkChanges = linkChanges_;
        wentDown = linkWentDown_;
        linkChanges_ = 0;
        linkWentDown_ = false;
    }
    if (cpuId) mirror_.UpdateInfoCpuId(*cpuId);
    if (cadence && plcState_ != nullptr) mirror_.UpdateInfoPlcState(plcState_->load());
    // The reads completed before the link went down are stored before the
    // rows that say it did.
    StoreValues(cadence && linkChanges == 0);
    if (linkChanges != 0) {
        if (wentDown)
            mirror_.WriteLinkDown();
        else
            mirror_.WriteLinkStats(true);
    }
    SendFlags();
    FetchRequests();
}

bool MirrorWorker::CheckServer() {
    // Pings, and re-opens a session the server dropped. Only the database's
    // own warning is taken back when it answers again: a message shown
    // since stays until the next one.
    if (mirror_.CheckConnection()) {
        if (warningShown_ && clear_) clear_();
        warningShown_ = false;
        return true;
    }
    if (show_) show_("W13: No connection with database");
    warningShown_ = true;
    return false;
}

void MirrorWorker::StoreValues(bool statsNow) {
    // A new session, or a statement that failed since: the tables may have
    // lost anything, so the last complete read of every area goes again.
    if (connection_.Epoch() != epoch_) {
        storedSeq_.fill(0);
        epoch_ = connection_.Epoch();
    }
    std::array<Published, kAreaCount> reads{};
    std::array<bool, kAreaCount> storing{};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        fresh_ = false;
        reads = areas_;
        for (int type = 0; type < kAreaCount; ++type) {
            if (reads[type].seq == 0 || reads[type].seq == storedSeq_[type]) continue;
            storing[type] = true;
            const uint16_t from = config_.areaFrom[type];
            const uint16_t to = config_.areaTo[type];
            if (snp::IsBitArea(type)) {
                std::copy(&published_->bits[type][from], &published_->bits[type][to] + 1,
                          &values_->bits[type][from]);
            } else {
                const int area = type - snp::kAI;
                std::copy(&published_->words[area][from], &published_->words[area][to] + 1,
                          &values_->words[area][from]);
            }
        }
    }
    for (int type = 0; type < kAreaCount; ++type) {
        if (!storing[type]) continue;
        for (uint32_t a = config_.areaFrom[type]; a <= config_.areaTo[type]; ++a) {
            const auto address = static_cast<uint16_t>(a);
            if (snp::IsBitArea(type))
                mirror_.MirrorBitValue(type, address, values_->bits[type][a] != 0 ? 1 : 0);
            else
                mirror_.MirrorWordValue(type - snp::kAI, address,
                                        static_cast<int16_t>(values_->words[type - snp::kAI][a]));
        }
        // Counted before the transaction that carries area_stats: the row
        // describes the values stored with it. A read stored again after a
        // failure is not counted twice.
        if (reads[type].seq > countedSeq_[type]) {
            stats_.MarkAreaStored(type, reads[type].atMs, reads[type].durationMs);
            countedSeq_[type] = reads[type].seq;
        }
    }
    for (std::size_t i = 0; i < config_.tags.size(); ++i) {
        const TagDefinition& tag = config_.tags[i];
        if (tag.area >= 0 && tag.area < kAreaCount && storing[static_cast<size_t>(tag.area)])
            mirror_.MirrorTag(static_cast<int>(i), snp::TagRawFromImage(tag, *values_),
                              reads[static_cast<size_t>(tag.area)].atMs);
    }
    const bool stored = mirror_.EndCycle(statsNow);
    if (!stored || connection_.Epoch() != epoch_) return;  // all again next round
    for (int type = 0; type < kAreaCount; ++type)
        if (storing[type]) storedSeq_[type] = reads[type].seq;
}

void MirrorWorker::SendFlags() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        unsent_.insert(unsent_.end(), served_.begin(), served_.end());
        served_.clear();
    }
    if (unsent_.empty()) return;
    // Kept until stored: a flag lost with the server would have its row
    // written again.
    if (!mirror_.SendFlagChanges(unsent_)) return;
    std::lock_guard<std::mutex> lock(mutex_);
    outstanding_ -= std::min(outstanding_, unsent_.size());
    unsent_.clear();
}

void MirrorWorker::FetchRequests() {
    if (flags_.transmitting.load() == 0 || stats_.state() != LinkState::Online) return;
    {
        // A row read again before its flag is stored would be written twice.
        std::lock_guard<std::mutex> lock(mutex_);
        if (outstanding_ != 0 || !unsent_.empty()) return;
    }
    std::vector<db::WriteRequest> rows = mirror_.FetchRequests();
    if (rows.empty()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        outstanding_ = rows.size();
        queue_.assign(rows.begin(), rows.end());
    }
    if (wakeLine_) wakeLine_();
}

void MirrorWorker::AreaRead(int type, const snp::MemoryImage& image, int64_t atMs,
                            uint64_t durationMs) {
    if (type < 0 || type >= kAreaCount) return;
    const uint16_t from = config_.areaFrom[type];
    const uint16_t to = config_.areaTo[type];
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (snp::IsBitArea(type)) {
            std::copy(&image.bits[type][from], &image.bits[type][to] + 1,
                      &published_->bits[type][from]);
        } else {
            const int area = type - snp::kAI;
            std::copy(&image.words[area][from], &image.words[area][to] + 1,
                      &published_->words[area][from]);
        }
        areas_[type] = {++nextSeq_, atMs, durationMs};
        fresh_ = true;
    }
    wake_.notify_all();
}

void MirrorWorker::LinkStateChanged(bool wentDown) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++linkChanges_;
        linkWentDown_ = linkWentDown_ || wentDown;
        urgent_ = true;
    }
    wake_.notify_all();
}

void MirrorWorker::CpuId(const std::string& id) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        cpuId_ = id;
        urgent_ = true;
    }
    wake_.notify_all();
}

bool MirrorWorker::HasWrites() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !queue_.empty();
}

std::optional<db::WriteRequest> MirrorWorker::TakeWrite() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (queue_.empty()) return std::nullopt;
    db::WriteRequest request = std::move(queue_.front());
    queue_.pop_front();
    return request;
}

void MirrorWorker::Served(const db::ServedRequest& served) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        served_.push_back(served);
        fresh_ = true;
    }
    wake_.notify_all();
}

void MirrorWorker::DropWrites() {
    std::lock_guard<std::mutex> lock(mutex_);
    outstanding_ -= std::min(outstanding_, queue_.size());
    queue_.clear();
}

}  // namespace tarnlight
