// Benchmark of the mirror database against a real server, both writers in
// the same run: one statement per row and value (mirrorEachValue=1) and the
// fast mirror (the default). It times building the tables at Connect and the
// database work of one full cycle (the values of every enabled area, the end
// of the cycle and the write-back queue with no request pending), and prints
// a Markdown table with the medians and the ratio of the two. A second table
// times the fast mirror's cycle with 0, 100 and 1,000 tags whose words change
// every cycle, and with 1,000 history tags the journal's cost per cycle and
// the rows per second the history writer catches up while the cycle runs.
//
//   tarnlight-bench-db [--runs N] [--each-runs N] [--tags-only] DIR
//
// DIR as left by scripts/mariadb-private start. --runs: repetitions of each
// fast case (default 11); --each-runs: of each one-statement-per-value case
// (default 3; at the largest ranges it sends tens of thousands of statements
// per run).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "db/connection_params.h"
#include "db/mirror_connection.h"
#include "db/plc_mirror_db.h"
#include "snp/plc_writer.h"
#include "snp/tag_image.h"
#include "types/notifier.h"

namespace {

using namespace tarnlight;
using Clock = std::chrono::steady_clock;

class AcceptingWriter : public snp::PlcWriter {
  public:
    snp::WriteResult WriteBit(uint16_t, uint8_t, int) override { return snp::WriteResult::Written; }
    snp::WriteResult WriteWord(uint16_t, uint16_t, int) override {
        return snp::WriteResult::Written;
    }
    snp::WriteResult WriteWords(uint16_t, const uint16_t*, int, int) override {
        return snp::WriteResult::Written;
    }
};

std::string FirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

void Configure(LinkConfig& config, bool largest) {
    for (int type = 0; type < kAreaCount; ++type) {
        const bool bits = snp::IsBitArea(type);
        config.areaFrom[type] = 1;
        if (largest) {
            config.areaEnabled[type] = true;
            config.areaTo[type] = bits ? snp::kMaxBitAddress : snp::kMaxWordAddress;
        } else {  // the settings' defaults
            config.areaEnabled[type] = bits;
            config.areaTo[type] = bits ? 48 : 16;
        }
    }
}

double Median(std::vector<double> v) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// How the memory image changes from one cycle to the next.
enum class Change { Every, OnePercent, None };

// How often the value of address a has changed by the given cycle: every
// cycle; once per 100 cycles, each time for another 1 % of the addresses;
// never.
int Changes(uint32_t a, int cycle, Change change) {
    switch (change) {
        case Change::Every:
            return cycle;
        case Change::OnePercent:
            return (cycle + 100 - static_cast<int>(a % 100)) / 100;
        case Change::None:
            break;
    }
    return 0;
}

// The words the tags lie in: %R1..2000, two per tag.
constexpr uint32_t kTagWords = 2000;

void Fill(snp::MemoryImage& image, int cycle, Change change, bool tagWordsChange = false) {
    for (int area = 0; area < snp::kBitAreaCount; ++area)
        for (uint32_t a = 1; a <= snp::kMaxBitAddress; ++a)
            image.bits[area][a] = static_cast<uint8_t>((a + Changes(a, cycle, change)) & 1);
    for (int area = 0; area < snp::kWordAreaCount; ++area)
        for (uint32_t a = 1; a <= snp::kMaxWordAddress; ++a) {
            const bool tagWord = tagWordsChange && area == snp::kR - snp::kAI && a <= kTagWords;
            image.words[area][a] =
                static_cast<uint16_t>(a * 7 + (tagWord ? cycle : Changes(a, cycle, change)));
        }
}

// count tags over %R1..2000, two words each: DINT, REAL and scaled UDINT in
// turn (a REAL's bits change with every cycle too).
std::vector<TagDefinition> Tags(int count, bool history) {
    static const char* const kTypes[] = {"DINT", "REAL", "UDINT scale=0.01 offset=-5"};
    std::vector<TagDefinition> tags;
    for (int i = 0; i < count; ++i) {
        TagDefinition tag;
        const std::string text =
            "%R" + std::to_string(2 * i + 1) + " " + kTypes[i % 3] + (history ? " history" : "");
        if (!ParseTagDefinition("tag_" + std::to_string(i), text, &tag, nullptr)) std::abort();
        tags.push_back(tag);
    }
    return tags;
}

class Bench {
  public:
    explicit Bench(const std::string& dir)
        : mirror_(connection_, config_, flags_, image_, writer_) {
        config_.dbEnabled = true;
        config_.addressIP = "127.0.0.1";
        config_.username = "root";
        config_.dbPassword = FirstLine(dir + "/password");
        config_.portNum = std::atoi(FirstLine(dir + "/port").c_str());
        config_.dbName = "tl_bench_db";
        config_.dropBefore = true;
    }
    void SetTags(int count, bool history) {
        config_.tags = Tags(count, history);
        config_.historyDb = history ? "tl_bench_history" : "";
    }

    bool Connect() {
        return db::ConnectMirrorDatabase(connection_, mirror_, config_, notifier_) ==
               db::DbConnectResult::Ok;
    }

    // Statements this session has sent so far (the server's count).
    long Questions() {
        db::Rows rows;
        if (!connection_.FetchRows("SHOW SESSION STATUS LIKE 'Questions'", rows) || rows.empty())
            return 0;
        return std::atol(rows[0][1].c_str());
    }

    // One full cycle's database work.
    bool Cycle() {
        for (int type = 0; type < kAreaCount; ++type) {
            if (!config_.areaEnabled[type]) continue;
            for (uint32_t a = config_.areaFrom[type]; a <= config_.areaTo[type]; ++a) {
                if (snp::IsBitArea(type))
                    mirror_.MirrorBitValue(type, static_cast<uint16_t>(a), image_.bits[type][a]);
                else
                    mirror_.MirrorWordValue(type - snp::kAI, static_cast<uint16_t>(a),
                                            static_cast<int16_t>(image_.words[type - snp::kAI][a]));
            }
        }
        for (std::size_t i = 0; i < config_.tags.size(); ++i)
            mirror_.ReadTag(static_cast<int>(i), snp::TagRawFromImage(config_.tags[i], image_));
        return mirror_.EndCycle() && mirror_.ServeWriteQueue();
    }

    struct Result {
        double seconds;
        long statements;  // per run
    };

    // Median of `runs` builds at Connect.
    Result Build(bool eachValue, bool largest, int runs) {
        config_.mirrorEachValue = eachValue;
        Configure(config_, largest);
        std::vector<double> times;
        long statements = 0;
        for (int run = 0; run < runs; ++run) {
            const auto t0 = Clock::now();
            if (!Connect()) return {-1, 0};
            times.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
            statements = Questions() - 1;
        }
        return {Median(times), statements};
    }

    // Median of `runs` cycles after a build and one cycle that stores
    // every value (the fast mirror's first cycle writes them all).
    Result Cycles(bool eachValue, bool largest, Change change, int runs,
                  bool tagWordsChange = false) {
        // The tables are built the fast way for both: the build is timed on
        // its own, and one statement per row takes minutes at the largest
        // ranges with the server's default flushing.
        config_.mirrorEachValue = false;
        Configure(config_, largest);
        if (!Connect()) return {-1, 0};
        config_.mirrorEachValue = eachValue;
        Fill(image_, 1, change, tagWordsChange);
        if (!Cycle()) return {-1, 0};
        std::vector<double> times;
        long statements = 0;
        for (int run = 0; run < runs; ++run) {
            Fill(image_, run + 2, change, tagWordsChange);
            const long before = Questions();
            const auto t0 = Clock::now();
            if (!Cycle()) return {-1, 0};
            times.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
            statements = Questions() - before - 1;
        }
        return {Median(times), statements};
    }

    struct CatchUp {
        double cycleWaiting = -1;    // median cycle while the rows wait behind a locked table
        double cycleCatchUp = -1;    // median cycle while the writer catches up
        double journalPerCycle = 0;  // mean time of a cycle's 1,000 journal rows
        double cycleAfter = 0;
        long rows = 0;
        double rowsPerSecond = 0;
    };
    // 1,000 history tags changing every cycle while tag_history is locked
    // (a dump), then the cycles go on with the tags steady while the
    // writer sends what waited.
    CatchUp HistoryCatchUp(int cycles) {
        CatchUp result;
        SetTags(1000, true);
        config_.historyJournal = "/tmp/tl-bench-journal";
        Configure(config_, true);
        mirror_.SetLinkStats(&stats_);
        if (!Connect()) return result;
        const auto waiting = [&] { return mirror_.historyJournal().figures().waiting; };
        const auto settle = [&] {
            for (int i = 0; i < 6000 && waiting() != 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        };
        Fill(image_, 1, Change::OnePercent, true);
        if (!Cycle()) return result;
        settle();
        db::MirrorConnection locker;
        db::ConnectionParams params = db::MirrorConnectionParams(config_);
        if (!locker.Open(params) || !locker.Query("LOCK TABLES tl_bench_history.tag_history READ"))
            return result;
        std::vector<double> times;
        double journal = 0;
        for (int run = 0; run < cycles; ++run) {
            Fill(image_, run + 2, Change::OnePercent, true);
            const auto t0 = Clock::now();
            for (std::size_t i = 0; i < config_.tags.size(); ++i)
                mirror_.ReadTag(static_cast<int>(i), snp::TagRawFromImage(config_.tags[i], image_));
            journal += std::chrono::duration<double>(Clock::now() - t0).count();
            if (!mirror_.EndCycle() || !mirror_.ServeWriteQueue()) return result;
            times.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
        }
        result.cycleWaiting = Median(times);
        result.journalPerCycle = journal / cycles;
        const auto count = [&] {
            db::Rows rows;
            connection_.FetchRows("SELECT COUNT(*) FROM tl_bench_history.tag_history", rows);
            return rows.empty() ? 0L : std::atol(rows[0][0].c_str());
        };
        const long before = count();
        times.clear();
        locker.Query("UNLOCK TABLES");
        const auto t0 = Clock::now();
        // The tags keep their last value: every row sent is one that waited.
        for (int run = 0; waiting() != 0 && run < 100000; ++run) {
            Fill(image_, cycles + 1, Change::OnePercent, true);
            const auto c0 = Clock::now();
            if (!Cycle()) return result;
            times.push_back(std::chrono::duration<double>(Clock::now() - c0).count());
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        result.cycleCatchUp = Median(times);
        // The same cycles once nothing waits: what the catch-up costs them.
        times.clear();
        for (int run = 0; run < 50; ++run) {
            const auto c0 = Clock::now();
            if (!Cycle()) return result;
            times.push_back(std::chrono::duration<double>(Clock::now() - c0).count());
        }
        result.cycleAfter = Median(times);
        result.rows = count() - before;
        result.rowsPerSecond = seconds > 0 ? static_cast<double>(result.rows) / seconds : 0;
        mirror_.CloseHistory();
        std::filesystem::remove_all(config_.historyJournal);
        return result;
    }

    std::string Flushing() {
        db::Rows rows;
        connection_.FetchRows("SELECT @@innodb_flush_log_at_trx_commit", rows);
        return rows.empty() ? "?" : rows[0][0];
    }
    void Drop() {
        mirror_.DropMirrorDatabase();
        connection_.Query("DROP DATABASE IF EXISTS tl_bench_history");
    }

  private:
    LinkConfig config_;
    EngineFlags flags_;
    snp::MemoryImage image_{};
    AcceptingWriter writer_;
    StreamNotifier notifier_;
    LinkStats stats_;
    db::MirrorConnection connection_;
    db::PlcMirrorDb mirror_;
};

std::string Time(double seconds) {
    char text[32];
    if (seconds < 0) return "failed";
    if (seconds >= 1)
        std::snprintf(text, sizeof text, "%.2f s", seconds);
    else
        std::snprintf(text, sizeof text, "%.2f ms", seconds * 1e3);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 11;
    int eachRuns = 3;
    bool tagsOnly = false;     // the tags' tables only
    bool historyOnly = false;  // the history's catch-up only
    std::string dir;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--each-runs") == 0 && i + 1 < argc)
            eachRuns = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--tags-only") == 0)
            tagsOnly = true;
        else if (std::strcmp(argv[i], "--history-only") == 0)
            tagsOnly = historyOnly = true;
        else
            dir = argv[i];
    }
    if (dir.empty() && std::getenv("TARNLIGHT_TEST_DB_DIR") != nullptr)
        dir = std::getenv("TARNLIGHT_TEST_DB_DIR");
    if (dir.empty()) {
        std::fprintf(stderr,
                     "usage: %s [--runs N] [--each-runs N] DIR (a server started by "
                     "scripts/mariadb-private)\n",
                     argv[0]);
        return 2;
    }

    Bench bench(dir);
    if (!bench.Connect()) return 1;
    std::printf(
        "Server flushing: innodb_flush_log_at_trx_commit=%s; medians of %d runs "
        "(one statement per value) and %d runs (fast).\n\n",
        bench.Flushing().c_str(), eachRuns, runs);
    if (!tagsOnly) {
        std::printf("| case | one statement per value | fast mirror | ratio |\n");
        std::printf("|---|---:|---:|---:|\n");
    }

    struct Case {
        const char* name;
        std::function<Bench::Result(bool eachValue, int runs)> run;
    };
    const Case cases[] = {
        {"build the tables, largest ranges",
         [&](bool each, int n) { return bench.Build(each, true, n); }},
        {"cycle, largest ranges, every value changed",
         [&](bool each, int n) { return bench.Cycles(each, true, Change::Every, n); }},
        {"cycle, largest ranges, 1 % of values changed",
         [&](bool each, int n) { return bench.Cycles(each, true, Change::OnePercent, n); }},
        {"cycle, default ranges, every value changed",
         [&](bool each, int n) { return bench.Cycles(each, false, Change::Every, n); }},
        {"cycle, default ranges, nothing changed",
         [&](bool each, int n) { return bench.Cycles(each, false, Change::None, n); }},
    };
    for (const Case& c : cases) {
        if (tagsOnly) break;
        // The fast mirror first: after tens of thousands of single-statement
        // commits the server is busy in the background for a while.
        const Bench::Result fast = c.run(false, runs);
        const Bench::Result each = c.run(true, eachRuns);
        std::printf("| %s | %s (%ld statements) | %s (%ld statements) | %.0f × |\n", c.name,
                    Time(each.seconds).c_str(), each.statements, Time(fast.seconds).c_str(),
                    fast.statements, fast.seconds > 0 ? each.seconds / fast.seconds : 0.0);
        std::fflush(stdout);
    }

    // Tags: the fast mirror's cycle at the largest ranges, with the words
    // of %R1..2000 changing every cycle in every case, so each case writes
    // the same raw values and the difference is what the tags add.
    if (!historyOnly) {
        std::printf(
            "\n| fast mirror cycle, largest ranges, %%R1..2000 changing | 0 tags | 100 tags | "
            "1,000 tags | 1,000 tags add |\n");
        std::printf("|---|---:|---:|---:|---:|\n");
    }
    for (const Change change : {Change::Every, Change::OnePercent}) {
        if (historyOnly) break;
        double seconds[3] = {};
        long statements[3] = {};
        const int counts[3] = {0, 100, 1000};
        for (int i = 0; i < 3; ++i) {
            bench.SetTags(counts[i], false);
            const Bench::Result r = bench.Cycles(false, true, change, runs, true);
            seconds[i] = r.seconds;
            statements[i] = r.statements;
        }
        std::printf("| %s | %s (%ld) | %s (%ld) | %s (%ld) | %+.1f %% |\n",
                    change == Change::Every ? "every other value changed"
                                            : "1 % of the other values changed",
                    Time(seconds[0]).c_str(), statements[0], Time(seconds[1]).c_str(),
                    statements[1], Time(seconds[2]).c_str(), statements[2],
                    seconds[0] > 0 ? (seconds[2] / seconds[0] - 1) * 100 : 0.0);
        std::fflush(stdout);
    }
    // The history: 1,000 history tags, every one changing every cycle, its
    // rows waiting behind a locked table, then the writer catching up while
    // the cycles go on.
    const Bench::CatchUp history = bench.HistoryCatchUp(100);
    std::printf(
        "\n| 1,000 history tags (largest ranges, 1 %% of the other values changed) | cycle while "
        "rows wait | cycle during catch-up | cycle after it | journal per cycle | rows caught up "
        "| catch-up rows per second |\n|---|---:|---:|---:|---:|---:|---:|\n| fast mirror | %s | "
        "%s | %s | %s | %ld | %.0f |\n",
        Time(history.cycleWaiting).c_str(), Time(history.cycleCatchUp).c_str(),
        Time(history.cycleAfter).c_str(), Time(history.journalPerCycle).c_str(), history.rows,
        history.rowsPerSecond);
    bench.SetTags(0, false);
    bench.Drop();
    return 0;
}
