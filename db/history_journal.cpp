#include "db/history_journal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "types/link_stats.h"

namespace tarnlight::db {

namespace {

constexpr uint64_t kSegmentMaxBytes = 4u << 20;
constexpr uint64_t kSegmentMinBytes = 64u << 10;
constexpr const char* kSegmentSuffix = ".jrn";

std::string SystemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// mkdir -p; true when the folder exists afterwards.
bool MakeFolders(const std::string& path) {
    std::string partial;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = path.find('/', start);
        partial = path.substr(0, slash == std::string::npos ? path.size() : slash);
        if (!partial.empty() && ::mkdir(partial.c_str(), 0750) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A database name as a folder name: letters, digits, '_', '-' and '.' as
// they are, anything else (a '/' above all) as %XX.
std::string FolderName(const std::string& source) {
    std::string out;
    for (const unsigned char c : source) {
        if (std::isalnum(c) || c == '_' || c == '-' || (c == '.' && !out.empty())) {
            out += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out.empty() ? "%" : out;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Writes text to path through a synced temporary file and a rename, so the
// file is either the old or the new one after any crash.
bool ReplaceFile(const std::string& path, const std::string& text, int dir) {
    const std::string temporary = path + ".new";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0640);
    if (fd < 0) return false;
    const bool ok = WriteAll(fd, text.data(), text.size()) && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok || ::rename(temporary.c_str(), path.c_str()) != 0) return false;
    if (dir >= 0) ::fsync(dir);
    return true;
}

std::string ReadFirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string NewJournalId() {
    std::random_device random;
    const uint64_t id = (static_cast<uint64_t>(random()) << 32) ^ random() ^
                        static_cast<uint64_t>(NowMs()) * 0x9E3779B97F4A7C15ull;
    char text[20];
    std::snprintf(text, sizeof text, "%016" PRIx64, id);
    return text;
}

template <class Number>
bool ParseNumber(std::string_view text, Number* value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return ec == std::errc() && end == text.data() + text.size();
}

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (start < line.size()) {
        std::size_t space = line.find(' ', start);
        if (space == std::string_view::npos) space = line.size();
        fields.push_back(line.substr(start, space - start));
        start = space + 1;
    }
    return fields;
}

}  // namespace

std::string DefaultJournalFolder() {
    const auto env = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0' ? std::string(value) : std::string();
    };
    // systemd hands a unit with StateDirectory= its folder here (a list
    // when it names several: the first).
    std::string state = env("STATE_DIRECTORY");
    if (!state.empty()) return state.substr(0, state.find(':')) + "/journal";
    state = env("XDG_STATE_HOME");
    if (!state.empty()) return state + "/tarnlight/journal";
    return env("HOME") + "/.local/state/tarnlight/journal";
}

std::string HistoryJournal::RowLine(const JournalRow& row) {
    char text[128];
    int n = std::snprintf(text, sizeof text, "%" PRIu64 " %" PRId64 " ", row.seq, row.atMs);
    std::string line(text, static_cast<std::size_t>(n));
    if (row.offsetMs) {
        line += std::to_string(*row.offsetMs);
    } else {
        line += '-';
    }
    line += ' ';
    line += row.name;
    line += ' ';
    if (row.value) {
        // Shortest text that reads back as the same double.
        char number[32];
        const auto [end, ec] = std::to_chars(number, number + sizeof number, *row.value);
        (void)ec;
        line.append(number, end);
    } else {
        line += 'N';
    }
    line += '\n';
    return line;
}

bool HistoryJournal::ParseRowLine(const std::string& line, JournalRow* row) {
    std::string_view text(line);
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    const std::vector<std::string_view> f = Fields(text);
    if (f.size() != 5 || f[3].empty()) return false;
    JournalRow parsed;
    if (!ParseNumber(f[0], &parsed.seq) || parsed.seq == 0 || !ParseNumber(f[1], &parsed.atMs))
        return false;
    if (f[2] != "-") {
        int64_t offset = 0;
        if (!ParseNumber(f[2], &offset)) return false;
        parsed.offsetMs = offset;
    }
    parsed.name = std::string(f[3]);
    if (f[4] != "N") {
        double value = 0;
        if (!ParseNumber(f[4], &value)) return false;
        parsed.value = value;
    }
    *row = std::move(parsed);
    return true;
}

std::string HistoryJournal::DefinitionText(const TagDefinition& tag) {
    std::string text = TagAddressText(tag) + " " + TagTypeName(tag.type);
    char number[32];
    for (const double v : {tag.scale, tag.offset}) {
        const auto [end, ec] = std::to_chars(number, number + sizeof number, v);
        (void)ec;
        text += ' ';
        text.append(number, end);
    }
    return text;
}

std::string HistoryJournal::SegmentPath(uint64_t firstSeq) const {
    char name[40];
    std::snprintf(name, sizeof name, "/%020" PRIu64 "%s", firstSeq, kSegmentSuffix);
    return path_ + name;
}

JournalOpen HistoryJournal::Open(const std::string& folder, const std::string& source,
                                 uint64_t limitBytes, const std::vector<TagDefinition>& historyTags,
                                 std::string* error) {
    Close();
    path_ = (folder.empty() ? DefaultJournalFolder() : folder) + "/" + FolderName(source);
    const auto fail = [&](const std::string& why) {
        if (error != nullptr) *error = why;
        Unlock();
        return JournalOpen::Failed;
    };
    if (!MakeFolders(path_)) return fail(SystemError(path_));
    lock_ = ::open((path_ + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0640);
    if (lock_ < 0) return fail(SystemError(path_ + "/lock"));
    if (::flock(lock_, LOCK_EX | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK;
        if (error != nullptr) *error = busy ? path_ + " is in use" : SystemError(path_ + "/lock");
        Unlock();
        return busy ? JournalOpen::Busy : JournalOpen::Failed;
    }
    dir_ = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_ < 0) return fail(SystemError(path_));
    id_ = ReadFirstLine(path_ + "/id");
    if (id_.empty()) {
        id_ = NewJournalId();
        if (!ReplaceFile(path_ + "/id", id_ + "\n", dir_)) return fail(SystemError(path_ + "/id"));
    }
    limitBytes_ = limitBytes;
    marks_.clear();
    queued_.clear();
    queuedRows_ = 0;
    lastCycleMs_ = 0;
    offsetMs_.reset();
    dropped_ = 0;
    setAside_ = 0;
    changed_.clear();
    segments_.clear();

    uint64_t stateSeq = 0;
    if (!ReadState(&stateSeq)) return fail("cannot read " + path_ + "/state");
    {
        uint64_t delivered = 0;
        ParseNumber(ReadFirstLine(path_ + "/delivered"), &delivered);
        delivered_ = delivered;
    }
    DIR* listing = ::opendir(path_.c_str());
    if (listing == nullptr) return fail(SystemError(path_));
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        uint64_t first = 0;
        const std::size_t suffix = std::strlen(kSegmentSuffix);
        if (name.size() > suffix &&
            name.compare(name.size() - suffix, suffix, kSegmentSuffix) == 0 &&
            ParseNumber(std::string_view(name).substr(0, name.size() - suffix), &first))
            segments_.push_back({first, 0, 0, 0});
    }
    ::closedir(listing);
    std::sort(segments_.begin(), segments_.end(),
              [](const Segment& a, const Segment& b) { return a.firstSeq < b.firstSeq; });
    uint64_t lastSeq = std::max(stateSeq, delivered_.load());
    uint64_t rows = 0;
    uint64_t bytes = 0;
    for (std::size_t i = 0; i < segments_.size(); ++i) {
        if (!ScanSegment(segments_[i], stateSeq, i + 1 == segments_.size()))
            return fail(SystemError(SegmentPath(segments_[i].firstSeq)));
        lastSeq = std::max(lastSeq, segments_[i].lastSeq);
        rows += segments_[i].rows;
        bytes += segments_[i].bytes;
    }
    fileRows_ = rows;
    fileBytes_ = bytes;
    nextSeq_ = lastSeq + 1;
    cursorSegment_ = 0;
    cursorOffset_ = 0;
    batchEnds_.clear();
    DropDeliveredSegments();

    // The crash gap: what a cycle left as a value was never ended.
    std::vector<std::string> open;
    for (const auto& [name, mark] : marks_)
        if (mark.value) open.push_back(name);
    for (const std::string& name : open) Append(lastCycleMs_, name, std::nullopt);
    // The definitions the values were read under: another one starts anew.
    std::map<std::string, Mark> kept;
    for (const TagDefinition& tag : historyTags) {
        Mark mark = marks_.count(tag.name) != 0 ? marks_[tag.name] : Mark{};
        const std::string definition = DefinitionText(tag);
        if (!mark.definition.empty() && mark.definition != definition) changed_.push_back(tag.name);
        mark.definition = definition;
        kept[tag.name] = mark;
    }
    marks_ = std::move(kept);
    syncDue_ = true;
    if (!Flush(true)) return fail(SystemError(path_));
    return JournalOpen::Ok;
}

bool HistoryJournal::ReadState(uint64_t* stateSeq) {
    std::ifstream in(path_ + "/state");
    if (!in) return errno == ENOENT;
    std::string line;
    while (std::getline(in, line)) {
        const std::vector<std::string_view> f = Fields(line);
        if (f.size() == 2 && f[0] == "seq") {
            ParseNumber(f[1], stateSeq);
        } else if (f.size() == 2 && f[0] == "cycle") {
            ParseNumber(f[1], &lastCycleMs_);
        } else if (f.size() == 2 && f[0] == "offset") {
            int64_t offset = 0;
            if (ParseNumber(f[1], &offset)) offsetMs_ = offset;
        } else if (f.size() >= 3 && f[0] == "tag") {
            Mark& mark = marks_[std::string(f[1])];
            mark.value = f[2] == "V";
            // The definition: everything after the third field.
            std::size_t pos = 0;
            for (int i = 0; i < 3 && pos != std::string::npos; ++i) pos = line.find(' ', pos + 1);
            mark.definition = pos == std::string::npos ? "" : line.substr(pos + 1);
        }
    }
    return true;
}

bool HistoryJournal::WriteState(const std::map<std::string, Mark>& marks, uint64_t seq,
                                int64_t cycle, std::optional<int64_t> offset) {
    std::ostringstream out;
    out << "seq " << seq << "\ncycle " << cycle << "\n";
    if (offset) out << "offset " << *offset << "\n";
    for (const auto& [name, mark] : marks)
        out << "tag " << name << ' ' << (mark.value ? 'V' : 'N') << ' ' << mark.definition << "\n";
    return ReplaceFile(path_ + "/state", out.str(), dir_);
}

bool HistoryJournal::ScanSegment(Segment& segment, uint64_t stateSeq, bool last) {
    const std::string path = SegmentPath(segment.firstSeq);
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string line;
    uint64_t good = 0;  // bytes up to the end of the last whole row
    while (std::getline(in, line)) {
        if (in.eof()) break;  // no newline: torn by a crash
        JournalRow row;
        if (!ParseRowLine(line, &row)) break;
        good += line.size() + 1;
        ++segment.rows;
        segment.lastSeq = row.seq;
        // Rows the state file had not caught up with.
        if (row.seq > stateSeq) {
            marks_[row.name].value = row.value.has_value();
            lastCycleMs_ = std::max(lastCycleMs_, row.atMs);
            if (row.offsetMs) offsetMs_ = row.offsetMs;
        }
    }
    segment.bytes = good;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    // Whatever follows the last whole row is a torn write: cut off, so
    // appends (to the last segment) follow whole rows.
    (void)last;
    if (static_cast<uint64_t>(st.st_size) != good) {
        if (::truncate(path.c_str(), static_cast<off_t>(good)) != 0) return false;
    }
    return true;
}

void HistoryJournal::Unlock() {
    if (segmentFile_ >= 0) ::close(segmentFile_);
    segmentFile_ = -1;
    if (dir_ >= 0) ::close(dir_);
    dir_ = -1;
    if (lock_ >= 0) ::close(lock_);  // closing the last descriptor releases the flock
    lock_ = -1;
}

void HistoryJournal::Close() {
    if (dir_ < 0) {
        Unlock();
        return;
    }
    syncDue_ = true;
    Flush(true);
    Unlock();
}

bool HistoryJournal::Append(int64_t atMs, const std::string& name, std::optional<double> value) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (dir_ < 0) return false;
    JournalRow row{nextSeq_, atMs, offsetMs_, name, value};
    std::string line = RowLine(row);
    if (fileBytes_.load() + queued_.size() + line.size() > limitBytes_) {
        ++dropped_;
        return false;
    }
    ++nextSeq_;
    queued_ += line;
    ++queuedRows_;
    Mark& mark = marks_[name];
    mark.value = value.has_value();
    return true;
}

bool HistoryJournal::HasRoom(std::size_t rows, std::size_t nameLength) const {
    std::lock_guard<std::mutex> lock(mutex_);
    // A row's line is at most this long: numbers of 20, 14 and 20 digits, a
    // double of 24 characters, four blanks and the newline.
    const uint64_t need = rows * (nameLength + 83);
    return fileBytes_.load() + queued_.size() + need <= limitBytes_;
}

void HistoryJournal::CountDropped() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++dropped_;
}

void HistoryJournal::NoteCycle(int64_t atMs) {
    std::lock_guard<std::mutex> lock(mutex_);
    lastCycleMs_ = std::max(lastCycleMs_, atMs);
}

void HistoryJournal::SetOffset(int64_t offsetMs) {
    std::lock_guard<std::mutex> lock(mutex_);
    offsetMs_ = offsetMs;
}

std::optional<int64_t> HistoryJournal::Offset() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return offsetMs_;
}

bool HistoryJournal::Flush(bool sync) {
    // The files are held only to write: the syncs (of the segment, of a
    // segment just left, of the state) run after, so the cycle's own write
    // (WriteQueued) never waits for the disk to sync.
    State state;
    std::vector<int> retired;
    int current = -1;
    bool ok = true;
    {
        std::lock_guard<std::mutex> files(fileMutex_);
        ok = FlushLocked(sync ? &state : nullptr);
        retired.swap(retired_);
        if (ok && sync && syncDue_) {
            syncDue_ = false;
            current = segmentFile_ >= 0 ? ::dup(segmentFile_) : -1;
        } else {
            sync = false;
        }
    }
    for (const int fd : retired) {
        if (::fsync(fd) != 0) ok = false;
        ::close(fd);
    }
    if (!sync) return ok;
    bool synced = ok;
    if (current >= 0) {
        synced = ::fsync(current) == 0 && synced;
        ::close(current);
    }
    // The state may only describe rows that are on the disk: taken with the
    // queue, written after its rows were synced.
    synced = synced && WriteState(state.marks, state.seq, state.cycle, state.offset);
    if (!synced) {
        std::lock_guard<std::mutex> files(fileMutex_);
        syncDue_ = true;
    }
    return synced;
}

bool HistoryJournal::WriteQueued() {
    std::lock_guard<std::mutex> files(fileMutex_);
    return FlushLocked(nullptr);
}

bool HistoryJournal::FlushLocked(State* state) {
    if (dir_ < 0) return false;
    std::string data;
    uint64_t rows = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        data.swap(queued_);
        rows = queuedRows_;
        queuedRows_ = 0;
        if (state != nullptr) {
            state->marks = marks_;
            state->seq = nextSeq_ - 1;
            state->cycle = lastCycleMs_;
            state->offset = offsetMs_;
        }
    }
    const uint64_t segmentLimit =
        std::clamp<uint64_t>(limitBytes_ / 8, kSegmentMinBytes, kSegmentMaxBytes);
    std::size_t done = 0;
    bool ok = true;
    while (done < data.size()) {
        // A new segment when there is none or the last one is full; each
        // starts at a whole row.
        if (segmentFile_ < 0 || segments_.empty() || segments_.back().bytes >= segmentLimit) {
            // Synced and closed by Flush, outside the files' lock.
            if (segmentFile_ >= 0) retired_.push_back(segmentFile_);
            segmentFile_ = -1;
            if (segments_.empty() || segments_.back().bytes >= segmentLimit) {
                JournalRow first;
                ParseRowLine(data.substr(done, data.find('\n', done) - done), &first);
                segments_.push_back({first.seq, 0, 0, 0});
            }
            segmentFile_ = ::open(SegmentPath(segments_.back().firstSeq).c_str(),
                                  O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0640);
            if (segmentFile_ < 0) {
                ok = false;
                break;
            }
            ::fsync(dir_);
        }
        // Up to the segment's limit, in whole rows.
        Segment& segment = segments_.back();
        std::size_t end = done;
        uint64_t count = 0;
        uint64_t last = segment.lastSeq;
        while (end < data.size() && (end == done || segment.bytes + (end - done) < segmentLimit)) {
            const std::size_t newline = data.find('\n', end);
            JournalRow row;
            ParseRowLine(data.substr(end, newline - end), &row);
            last = row.seq;
            end = newline + 1;
            ++count;
        }
        if (!WriteAll(segmentFile_, data.data() + done, end - done)) {
            // Whatever part went in is cut off again: the rows stay queued whole.
            ::ftruncate(segmentFile_, static_cast<off_t>(segment.bytes));
            ok = false;
            break;
        }
        segment.bytes += end - done;
        segment.rows += count;
        segment.lastSeq = last;
        fileBytes_ += end - done;
        fileRows_ += count;
        rows -= count;
        done = end;
        syncDue_ = true;
    }
    if (done < data.size()) {
        // Back to the front of the queue, before what came meanwhile.
        std::lock_guard<std::mutex> lock(mutex_);
        queued_.insert(0, data, done, std::string::npos);
        queuedRows_ += rows;
    }
    return ok;
}

void HistoryJournal::ReadBatch(std::size_t max, std::vector<JournalRow>& rows) {
    std::lock_guard<std::mutex> files(fileMutex_);
    rows.clear();
    batchEnds_.clear();
    // Past the end of a segment that is not written to any more: the next one.
    while (cursorSegment_ + 1 < segments_.size() &&
           cursorOffset_ >= segments_[cursorSegment_].bytes) {
        ++cursorSegment_;
        cursorOffset_ = 0;
    }
    if (cursorSegment_ >= segments_.size()) return;
    const Segment& segment = segments_[cursorSegment_];
    if (cursorOffset_ >= segment.bytes) return;
    std::ifstream in(SegmentPath(segment.firstSeq), std::ios::binary);
    in.seekg(static_cast<std::streamoff>(cursorOffset_));
    uint64_t offset = cursorOffset_;
    std::string line;
    batchSegment_ = cursorSegment_;
    while (rows.size() < max && offset < segment.bytes && std::getline(in, line)) {
        offset += line.size() + 1;
        JournalRow row;
        if (!ParseRowLine(line, &row)) continue;
        if (row.seq <= delivered_.load()) {
            // Delivered before a crash: the cursor moves past it at once.
            cursorOffset_ = offset;
            continue;
        }
        batchEnds_.emplace_back(row.seq, offset);
        rows.push_back(std::move(row));
    }
}

void HistoryJournal::Delivered(uint64_t seq) {
    std::lock_guard<std::mutex> files(fileMutex_);
    for (const auto& [rowSeq, end] : batchEnds_) {
        if (rowSeq > seq) break;
        cursorSegment_ = batchSegment_;
        cursorOffset_ = end;
    }
    if (seq > delivered_.load()) delivered_ = seq;
    WriteDelivered();
    DropDeliveredSegments();
}

void HistoryJournal::SkipDelivered(uint64_t seq) {
    std::lock_guard<std::mutex> files(fileMutex_);
    if (seq <= delivered_.load()) return;
    delivered_ = seq;
    WriteDelivered();
    DropDeliveredSegments();
}

void HistoryJournal::WriteDelivered() {
    // Not synced: the table's own position row is what counts after a crash;
    // this one covers a table that was dropped meanwhile.
    const std::string path = path_ + "/delivered";
    const std::string temporary = path + ".new";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0640);
    if (fd < 0) return;
    const std::string text = std::to_string(delivered_.load()) + "\n";
    const bool ok = WriteAll(fd, text.data(), text.size());
    ::close(fd);
    if (ok) ::rename(temporary.c_str(), path.c_str());
}

void HistoryJournal::DropDeliveredSegments() {
    // Every segment but the one written to goes once its last row is delivered.
    std::size_t drop = 0;
    while (drop + 1 < segments_.size() && segments_[drop].lastSeq <= delivered_.load()) ++drop;
    if (drop == 0) return;
    for (std::size_t i = 0; i < drop; ++i) {
        ::unlink(SegmentPath(segments_[i].firstSeq).c_str());
        fileBytes_ -= segments_[i].bytes;
        fileRows_ -= segments_[i].rows;
    }
    segments_.erase(segments_.begin(), segments_.begin() + static_cast<long>(drop));
    if (cursorSegment_ >= drop) {
        cursorSegment_ -= drop;
    } else {
        cursorSegment_ = 0;
        cursorOffset_ = 0;
    }
    batchSegment_ = batchSegment_ >= drop ? batchSegment_ - drop : 0;
}

void HistoryJournal::SetAside(const JournalRow& row, const std::string& error) {
    std::string line = RowLine(row);
    line.back() = '\t';
    std::string why = error;
    std::replace(why.begin(), why.end(), '\n', ' ');
    line += why + "\n";
    const int fd =
        ::open((path_ + "/set-aside").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0640);
    if (fd >= 0) {
        WriteAll(fd, line.data(), line.size());
        ::fsync(fd);
        ::close(fd);
    }
    ++setAside_;
}

HistoryJournal::Figures HistoryJournal::figures() const {
    Figures f;
    std::lock_guard<std::mutex> lock(mutex_);
    f.rows = fileRows_.load() + queuedRows_;
    f.bytes = fileBytes_.load() + queued_.size();
    const uint64_t last = nextSeq_ - 1;
    f.waiting = last > delivered_.load() ? last - delivered_.load() : 0;
    f.setAside = setAside_.load();
    f.dropped = dropped_;
    return f;
}

}  // namespace tarnlight::db
