#include "types/decimal.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace tarnlight {
namespace {

constexpr uint64_t kLargest = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());

uint64_t Magnitude(int64_t value) {
    return value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
}

std::optional<int64_t> Times(int64_t a, int64_t b) {
    if (a == 0 || b == 0) return 0;
    const uint64_t magnitude = Magnitude(a);
    if (magnitude > kLargest / Magnitude(b)) return std::nullopt;
    const auto product = static_cast<int64_t>(magnitude * Magnitude(b));
    return (a < 0) != (b < 0) ? -product : product;
}

std::optional<int64_t> Plus(int64_t a, int64_t b) {
    const int64_t largest = std::numeric_limits<int64_t>::max();
    if ((b > 0 && a > largest - b) || (b < 0 && a < -largest - b)) return std::nullopt;
    return a + b;
}

// digits x 10^times.
std::optional<int64_t> ShiftLeft(int64_t digits, int times) {
    std::optional<int64_t> shifted = digits;
    for (int i = 0; i < times && shifted && *shifted != 0; ++i) shifted = Times(*shifted, 10);
    return shifted;
}

// "-1.2345e+06" as to_chars writes it in scientific form: 1234500 with no
// places; "5e-01": 5 with one place.
template <typename Float>
std::optional<Decimal> FromScientific(Float value) {
    if (!std::isfinite(value)) return std::nullopt;
    char text[64];
    const auto [end, ec] =
        std::to_chars(text, text + sizeof text, value, std::chars_format::scientific);
    if (ec != std::errc()) return std::nullopt;
    const char* p = text;
    const bool negative = *p == '-';
    if (negative) ++p;
    int64_t digits = 0;
    int count = 0;
    for (; p != end && *p != 'e'; ++p) {
        if (*p == '.') continue;
        digits = digits * 10 + (*p - '0');  // at most 17 digits: no overflow
        ++count;
    }
    int exponent = 0;
    if (p == end || std::from_chars(p + (p[1] == '+' ? 2 : 1), end, exponent).ec != std::errc())
        return std::nullopt;
    Decimal decimal{negative ? -digits : digits, count - 1 - exponent};
    if (decimal.places < 0) {
        const std::optional<int64_t> whole = ShiftLeft(decimal.digits, -decimal.places);
        if (!whole) return std::nullopt;
        decimal = {*whole, 0};
    }
    return decimal;
}

// a and b with as many places as the one that has more.
bool Align(Decimal& a, Decimal& b) {
    Decimal& fewer = a.places < b.places ? a : b;
    const int places = std::max(a.places, b.places);
    const std::optional<int64_t> digits = ShiftLeft(fewer.digits, places - fewer.places);
    if (!digits) return false;
    fewer = {*digits, places};
    return true;
}

}  // namespace

std::optional<Decimal> ShortestDecimal(double value) {
    return FromScientific(value);
}

std::optional<Decimal> ShortestDecimal(float value) {
    return FromScientific(value);
}

std::optional<Decimal> Add(Decimal a, Decimal b) {
    if (!Align(a, b)) return std::nullopt;
    const std::optional<int64_t> sum = Plus(a.digits, b.digits);
    if (!sum) return std::nullopt;
    return Decimal{*sum, a.places};
}

std::optional<Decimal> Subtract(Decimal a, Decimal b) {
    return Add(a, Decimal{-b.digits, b.places});
}

std::optional<Decimal> Multiply(Decimal a, Decimal b) {
    const std::optional<int64_t> product = Times(a.digits, b.digits);
    if (!product) return std::nullopt;
    return Decimal{*product, a.places + b.places};
}

std::optional<int64_t> DivideToWhole(Decimal a, Decimal b) {
    if (b.digits == 0) return std::nullopt;
    // a / b = a.digits x 10^b.places / (b.digits x 10^a.places)
    const int common = std::min(a.places, b.places);
    std::optional<int64_t> numerator = ShiftLeft(a.digits, b.places - common);
    std::optional<int64_t> denominator = ShiftLeft(b.digits, a.places - common);
    if (!numerator || !denominator) return std::nullopt;
    if (*denominator < 0) {
        numerator = -*numerator;
        denominator = -*denominator;
    }
    int64_t quotient = *numerator / *denominator;
    const uint64_t rest = Magnitude(*numerator % *denominator);
    if (rest >= static_cast<uint64_t>(*denominator) - rest) quotient += *numerator < 0 ? -1 : 1;
    return quotient;
}

double ToDouble(Decimal value) {
    // Both operands exact and the division rounded once: the nearest double.
    static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                         1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    constexpr uint64_t kExactInDouble = uint64_t{1} << 53;
    if (Magnitude(value.digits) <= kExactInDouble && value.places <= 22)
        return static_cast<double>(value.digits) / kPowers[value.places];
    // Otherwise the library's correctly rounded reading of the text.
    const std::string text = std::to_string(value.digits) + "e-" + std::to_string(value.places);
    double result = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), result);
    return result;
}

}  // namespace tarnlight
