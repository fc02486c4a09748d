// Benchmark of the mirror database against a real server: building the
// tables at Connect and the database work of one full cycle (one UPDATE per
// address of every enabled area and the six request-table SELECTs), at the
// default ranges and at the largest. Prints a Markdown table.
//
//   tarnlight-bench-db DIR     DIR as left by scripts/mariadb-private start
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "db/mirror_connection.h"
#include "db/plc_mirror_db.h"
#include "snp/plc_writer.h"
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
};

std::string FirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

struct Case {
    const char* name;
    bool largest;
};

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
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const char* dirEnv = std::getenv("TARNLIGHT_TEST_DB_DIR");
    const std::string dir = argc > 1 ? argv[1] : (dirEnv != nullptr ? dirEnv : "");
    if (dir.empty()) {
        std::fprintf(stderr, "usage: %s DIR (a server started by scripts/mariadb-private)\n",
                     argv[0]);
        return 2;
    }
    LinkConfig config;
    config.dbEnabled = true;
    config.addressIP = "127.0.0.1";
    config.username = "root";
    config.dbPassword = FirstLine(dir + "/password");
    config.portNum = std::atoi(FirstLine(dir + "/port").c_str());
    config.dbName = "tl_bench_db";
    config.dropBefore = true;

    EngineFlags flags;
    auto image = std::make_unique<snp::MemoryImage>();
    AcceptingWriter writer;
    StreamNotifier notifier;
    db::MirrorConnection connection;
    db::PlcMirrorDb mirror(connection, config, flags, *image, writer);

    std::printf("| operation | ranges | statements | time (median) | per statement |\n");
    std::printf("|---|---|---:|---:|---:|\n");
    for (const Case c : {Case{"default (%I %M %Q 1..48; words 1..16 off)", false},
                         Case{"largest (3 x 1..8192 bits, 3 x 1..4096 words, all on)", true}}) {
        Configure(config, c.largest);
        // Connect's database steps: drop, create, select, 13 tables, rows.
        unsigned rows = 0;
        for (int type = 0; type < kAreaCount; ++type) {
            const unsigned floor = snp::IsBitArea(type) ? 1024 : 256;
            rows += std::max<unsigned>(floor, config.areaTo[type]);
        }
        const unsigned buildStatements = 2 + 13 + 1 + 2 * rows;
        std::vector<double> build;
        for (int run = 0; run < (c.largest ? 1 : 3); ++run) {
            const auto t0 = Clock::now();
            if (db::ConnectMirrorDatabase(connection, mirror, config, notifier) !=
                db::DbConnectResult::Ok)
                return 1;
            build.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
        }
        const double b = Median(build);
        std::printf("| Connect: build the mirror database | %s | %u | %.2f s | %.1f us |\n", c.name,
                    buildStatements, b, b * 1e6 / buildStatements);

        // One full cycle's database work.
        unsigned updates = 0;
        for (int type = 0; type < kAreaCount; ++type)
            if (config.areaEnabled[type])
                updates += config.areaTo[type] - config.areaFrom[type] + 1u;
        const unsigned cycleStatements = updates + 6;
        std::vector<double> cycle;
        for (int run = 0; run < (c.largest ? 3 : 30); ++run) {
            const auto t0 = Clock::now();
            for (int area = 0; area < snp::kBitAreaCount; ++area) {
                if (!config.areaEnabled[area]) continue;
                for (unsigned a = config.areaFrom[area]; a <= config.areaTo[area]; ++a)
                    mirror.MirrorBitValue(area, static_cast<uint16_t>(a),
                                          static_cast<uint8_t>((a + run) & 1));
            }
            for (int area = 0; area < snp::kWordAreaCount; ++area) {
                if (!config.areaEnabled[area + snp::kAI]) continue;
                for (unsigned a = config.areaFrom[area + snp::kAI];
                     a <= config.areaTo[area + snp::kAI]; ++a)
                    mirror.MirrorWordValue(area, static_cast<uint16_t>(a),
                                           static_cast<int16_t>(a * 7 + run));
            }
            if (!mirror.ServeWriteQueue()) return 1;
            cycle.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
        }
        const double m = Median(cycle);
        std::printf("| Full cycle: mirror + 6 request SELECTs | %s | %u | %.1f ms | %.1f us |\n",
                    c.name, cycleStatements, m * 1e3, m * 1e6 / cycleStatements);
        std::fflush(stdout);
    }
    mirror.DropMirrorDatabase();
    return 0;
}
