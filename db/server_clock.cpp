#include "db/server_clock.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "types/link_stats.h"

namespace tarnlight::db {

namespace {

// Days since 1970-01-01 of a civil date (proleptic Gregorian), and back:
// the C library's timegm is not portable and gmtime_r would do for one way
// only.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

}  // namespace

std::optional<int64_t> MeasureServerOffset(MirrorConnection& connection) {
    const int64_t before = NowMs();
    Rows rows;
    if (!connection.FetchRows("SELECT UTC_TIMESTAMP(3)", rows) || rows.empty() || rows[0].empty())
        return std::nullopt;
    const int64_t after = NowMs();
    const std::optional<int64_t> server = ParseDateTime(rows[0][0]);
    if (!server) return std::nullopt;
    const int64_t offset = *server - (before + (after - before) / 2);
    // Within the measurement's own uncertainty (half the round trip and the
    // clocks' millisecond) the clocks agree: taken as equal, so two rows of
    // one millisecond never part by a measurement's jitter.
    return std::abs(offset) <= (after - before) / 2 + 1 ? 0 : offset;
}

std::string DateTimeLiteral(int64_t ms) {
    const std::time_t seconds = static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    const int milli = static_cast<int>(ms - static_cast<int64_t>(seconds) * 1000);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char text[96];
    std::snprintf(text, sizeof text, "'%04d-%02d-%02d %02d:%02d:%02d.%03d'", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, milli);
    return text;
}

std::optional<int64_t> ParseDateTime(const std::string& text) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, frac = 0;
    int fracDigits = 0;
    const int n =
        std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d.%n", &y, &mo, &d, &h, &mi, &s, &fracDigits);
    if (n < 6) return std::nullopt;
    // The fraction as far as milliseconds; the server sends three digits
    // for DATETIME(3), more for other precisions.
    int ms = 0;
    if (fracDigits > 0) {
        const char* p = text.c_str() + fracDigits;
        for (int i = 0; i < 3; ++i) {
            ms *= 10;
            if (*p >= '0' && *p <= '9') ms += *p++ - '0';
        }
        frac = ms;
    }
    if (mo < 1 || mo > 12 || d < 1 || d > 31) return std::nullopt;
    const int64_t days = DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
    return ((days * 24 + h) * 60 + mi) * 60000 + static_cast<int64_t>(s) * 1000 + frac;
}

}  // namespace tarnlight::db
