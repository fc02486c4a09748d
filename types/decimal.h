#pragma once
// Decimal numbers as a person writes them and computes with them: a whole
// number of digits and how many of them stand after the decimal point.
//
// Tag values are computed in these rather than in binary floating point:
// 123456790 x 0.01 is 1234567.90, where the double product is
// 1234567.9000000001 (0.01 has no exact binary form), and a reader comparing
// that with the 1234567.9 it wrote sees a difference that is not there. Each
// operation is exact or reports that the result does not fit in 64 bits; the
// caller then falls back to floating point.
#include <cstdint>
#include <optional>

namespace tarnlight {

struct Decimal {
    int64_t digits = 0;  // the number with its decimal point taken out
    int places = 0;      // digits after the point, never negative

    bool operator==(const Decimal&) const = default;
};

// The shortest decimal that reads back as value: 0.1 for the double nearest
// 0.1, as the engineer wrote it; 2.5e3 is 2500 with no places. Nothing for
// NaN, infinity and numbers too large or too small for 64-bit digits.
std::optional<Decimal> ShortestDecimal(double value);
std::optional<Decimal> ShortestDecimal(float value);

std::optional<Decimal> Add(Decimal a, Decimal b);
std::optional<Decimal> Subtract(Decimal a, Decimal b);
std::optional<Decimal> Multiply(Decimal a, Decimal b);
// a / b rounded to a whole number, halves away from zero; nothing for b = 0.
std::optional<int64_t> DivideToWhole(Decimal a, Decimal b);

// The double nearest to the decimal.
double ToDouble(Decimal value);

}  // namespace tarnlight
