#pragma once
// A mirror database of its own on the test run's private server, with a
// recording stand-in for the controller's write requests and a second client
// that plays the other programs.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "db/mirror_connection.h"
#include "db/plc_mirror_db.h"
#include "snp/plc_writer.h"
#include "tests/support/private_db.h"
#include "types/notifier.h"

namespace tarnlight::db::test {

// The controller side of the write-back queue: records every write, fails
// the write with the index failAt (0 = the first) and refuses the writes
// whose indexes are in refuse.
class RecordingWriter : public snp::PlcWriter {
  public:
    struct Write {
        bool bit;
        uint16_t address;
        uint16_t value;
        int area;
        int count = 1;      // words of one request (WriteWords)
        uint16_t high = 0;  // the second word of a request of two
        bool operator==(const Write&) const = default;
    };
    std::vector<Write> writes;
    int failAt = -1;
    std::vector<int> refuse;
    std::function<void(const Write&)> onWrite;  // runs while the write is "on the line"

    snp::WriteResult WriteBit(uint16_t address, uint8_t value, int area) override {
        return Record({true, address, value, area});
    }
    snp::WriteResult WriteWord(uint16_t address, uint16_t value, int area) override {
        return Record({false, address, value, area});
    }
    snp::WriteResult WriteWords(uint16_t address, const uint16_t* words, int count,
                                int area) override {
        return Record({false, address, words[0], area, count, count > 1 ? words[1] : uint16_t{0}});
    }

  private:
    snp::WriteResult Record(const Write& w) {
        const int index = static_cast<int>(writes.size());
        writes.push_back(w);
        if (onWrite) onWrite(w);
        if (index == failAt) return snp::WriteResult::Failed;
        if (std::find(refuse.begin(), refuse.end(), index) != refuse.end())
            return snp::WriteResult::Refused;
        return snp::WriteResult::Written;
    }
};

inline std::ostream& operator<<(std::ostream& os, const RecordingWriter::Write& w) {
    return os << (w.bit ? "bit" : "word") << "(area " << w.area << ", address " << w.address
              << ", value " << w.value << (w.count > 1 ? ", high " + std::to_string(w.high) : "")
              << ")";
}

class RecordingNotifier : public Notifier {
  public:
    std::vector<std::pair<std::string, std::string>> boxes;  // text, caption
    void ShowMessageBox(const std::string& text, const std::string& caption) override {
        boxes.emplace_back(text, caption);
    }
};

// One full cycle's mirror calls, as the worker makes them: every address of
// every enabled area's range in ascending order, then the end of the cycle.
inline bool MirrorCycle(PlcMirrorDb& mirror, const LinkConfig& config,
                        const snp::MemoryImage& image) {
    for (int type = 0; type < kAreaCount; ++type) {
        if (!config.areaEnabled[type]) continue;
        for (uint32_t a = config.areaFrom[type]; a <= config.areaTo[type]; ++a) {
            const auto address = static_cast<uint16_t>(a);
            if (snp::IsBitArea(type))
                mirror.MirrorBitValue(type, address, image.bits[type][a]);
            else
                mirror.MirrorWordValue(type - snp::kAI, address,
                                       static_cast<int16_t>(image.words[type - snp::kAI][a]));
        }
    }
    return mirror.EndCycle();
}

// Names the cases of a suite run in both forms (the bool: mirrorEachValue).
inline std::string FormName(const ::testing::TestParamInfo<bool>& info) {
    return info.param ? "EachValue" : "Batched";
}

class MirrorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!tarnlight::test::PrivateDbAvailable())
            GTEST_SKIP() << "TARNLIGHT_TEST_DB_DIR not set: no test server";
        params_ = tarnlight::test::PrivateDbParams();
        config_.dbEnabled = true;
        config_.addressIP = params_.host;
        config_.username = params_.user;
        config_.dbPassword = params_.password;
        config_.portNum = static_cast<int32_t>(params_.port);
        config_.dbName = tarnlight::test::UniqueDbName("mirror");
        config_.dropBefore = true;
        config_.dropAfter = true;
        for (int type = 0; type < kAreaCount; ++type) {
            config_.areaEnabled[type] = false;
            config_.areaFrom[type] = 1;
            config_.areaTo[type] = 48;
        }
        other_ = std::make_unique<tarnlight::test::OtherClient>(params_);
        ASSERT_TRUE(other_->ok()) << other_->Error();
    }

    void TearDown() override {
        if (other_)
            other_->Exec("DROP DATABASE IF EXISTS " +
                         PlcMirrorDb::DatabaseIdentifier(config_.dbName));
    }

    DbConnectResult Connect() {
        return ConnectMirrorDatabase(connection_, mirror_, config_, notifier_);
    }

    tarnlight::test::OtherClient& other() { return *other_; }
    // "<database>.<table>" for the other client's statements.
    std::string T(const std::string& table) const {
        return PlcMirrorDb::DatabaseIdentifier(config_.dbName) + "." + table;
    }
    long Count(const std::string& table, const std::string& where = "") {
        return other_->Number("SELECT COUNT(*) FROM " + T(table) +
                              (where.empty() ? "" : " WHERE " + where));
    }
    std::string Cell(const std::string& table, const std::string& column, long id) {
        return other_->Scalar("SELECT " + column + " FROM " + T(table) +
                              " WHERE id=" + std::to_string(id));
    }
    // The whole table, ordered by id.
    Rows Dump(const std::string& table, const std::string& database = "") {
        const std::string name =
            database.empty() ? T(table) : PlcMirrorDb::DatabaseIdentifier(database) + "." + table;
        return other_->Rows("SELECT * FROM " + name + " ORDER BY id");
    }
    void Request(const std::string& table, long id, long value) {
        ASSERT_TRUE(other_->Exec("UPDATE " + T(table) + " SET value=" + std::to_string(value) +
                                 ", flag=1 WHERE id=" + std::to_string(id)))
            << other_->Error();
    }
    // Statements this test's mirror connection sent since EnableLog (the log
    // is server-wide and may have been on already).
    std::vector<std::string> Sent() {
        std::vector<std::string> sent = other_->LoggedStatements(connection_.ThreadId());
        if (connection_.ThreadId() == markThread_)
            sent.erase(sent.begin(),
                       sent.begin() + static_cast<long>(std::min(markCount_, sent.size())));
        return sent;
    }
    void EnableLog() {
        ASSERT_TRUE(other_->EnableGeneralLog()) << other_->Error();
        markThread_ = connection_.ThreadId();
        markCount_ = markThread_ != 0 ? other_->LoggedStatements(markThread_).size() : 0;
    }

    ConnectionParams params_;
    LinkConfig config_;
    EngineFlags flags_;
    snp::MemoryImage image_{};
    RecordingWriter writer_;
    RecordingNotifier notifier_;
    MirrorConnection connection_;
    PlcMirrorDb mirror_{connection_, config_, flags_, image_, writer_};
    std::unique_ptr<tarnlight::test::OtherClient> other_;
    unsigned long markThread_ = 0;
    size_t markCount_ = 0;
};

}  // namespace tarnlight::db::test
