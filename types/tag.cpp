#include "types/tag.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "types/decimal.h"

namespace tarnlight {
namespace {

// Largest addresses the settings accept; areas in MemoryType order.
constexpr int kBitAddressMax = 8192;
constexpr int kWordAddressMax = 4096;
const char* const kAreaSymbols[] = {"%I", "%M", "%Q", "%AI", "%R", "%AQ"};

bool IsBitAreaType(int area) {
    return area >= 0 && area <= 2;
}

char Upper(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i])) return false;
    }
    return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
        const std::size_t start = i;
        while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i]))) ++i;
        if (i > start) words.push_back(text.substr(start, i - start));
    }
    return words;
}

bool ParseNumber(std::string_view text, double* value) {
    if (text.empty()) return false;
    const std::string copy(text);
    char* end = nullptr;
    errno = 0;
    const double parsed = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || errno == ERANGE || !std::isfinite(parsed)) {
        return false;
    }
    *value = parsed;
    return true;
}

bool ValidName(std::string_view name) {
    if (name.empty() || name.size() > kTagNameMaxLength) return false;
    if (!std::isalpha(static_cast<unsigned char>(name.front()))) return false;
    for (char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    }
    return true;
}

// "%R100": the area and the address; false for anything else.
bool ParseAddress(std::string_view text, int* area, int* address) {
    // Two-letter symbols first, so "%AI" is not taken for something shorter.
    static const int kOrder[] = {3, 5, 0, 1, 2, 4};
    for (int a : kOrder) {
        const std::string_view symbol = kAreaSymbols[a];
        if (!StartsWithNoCase(text, symbol)) continue;
        const std::string_view digits = text.substr(symbol.size());
        if (digits.empty() || digits.size() > 5) return false;
        int n = 0;
        for (char c : digits) {
            if (!std::isdigit(static_cast<unsigned char>(c))) return false;
            n = n * 10 + (c - '0');
        }
        *area = a;
        *address = n;
        return true;
    }
    return false;
}

std::optional<TagType> ParseType(std::string_view word) {
    static const TagType kTypes[] = {TagType::Bool, TagType::Int,   TagType::Uint,
                                     TagType::Dint, TagType::Udint, TagType::Real};
    for (TagType type : kTypes) {
        if (EqualNoCase(word, TagTypeName(type))) return type;
    }
    return std::nullopt;
}

// "scale=0.01" -> value of a key word; false when the word is not that key.
bool KeyWord(std::string_view word, std::string_view key, std::string_view* value) {
    if (word.size() <= key.size() || word[key.size()] != '=') return false;
    if (!EqualNoCase(word.substr(0, key.size()), key)) return false;
    *value = word.substr(key.size() + 1);
    return true;
}

bool Fail(std::string* problem, std::string text) {
    if (problem != nullptr) *problem = std::move(text);
    return false;
}

// The shortest text that reads back as value: "0.1", not 0.10000000000000001.
std::string ShortestText(double value) {
    char text[32];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    (void)ec;
    return std::string(text, end);
}

// A value read x scale + offset as a person computes it; nothing when the
// digits do not fit 64 bits (a scale such as 1e-300).
std::optional<Decimal> ScaledDecimal(const TagDefinition& tag, Decimal read) {
    const std::optional<Decimal> scale = ShortestDecimal(tag.scale);
    const std::optional<Decimal> offset = ShortestDecimal(tag.offset);
    if (!scale || !offset) return std::nullopt;
    const std::optional<Decimal> product = Multiply(read, *scale);
    if (!product) return std::nullopt;
    return Add(*product, *offset);
}

// A whole raw value x scale + offset, as the nearest double to the decimal.
double Scaled(const TagDefinition& tag, int64_t whole) {
    if (const std::optional<Decimal> value = ScaledDecimal(tag, Decimal{whole, 0}))
        return ToDouble(*value);
    return static_cast<double>(whole) * tag.scale + tag.offset;
}

// (value - offset) / scale rounded to a whole raw value, in decimal, so that
// a value the tag reads as (3236.7 with scale=0.1) writes exactly the raw
// value it was read from; nothing when the digits do not fit 64 bits.
std::optional<int64_t> WholeRawDecimal(const TagDefinition& tag, double value) {
    const std::optional<Decimal> asked = ShortestDecimal(value);
    const std::optional<Decimal> scale = ShortestDecimal(tag.scale);
    const std::optional<Decimal> offset = ShortestDecimal(tag.offset);
    if (!asked || !scale || !offset) return std::nullopt;
    const std::optional<Decimal> unshifted = Subtract(*asked, *offset);
    if (!unshifted) return std::nullopt;
    return DivideToWhole(*unshifted, *scale);
}

// Places of scaled values: as many as scale and offset carry together.
int ValuePlaces(const TagDefinition& tag) {
    const std::optional<Decimal> scale = ShortestDecimal(tag.scale);
    const std::optional<Decimal> offset = ShortestDecimal(tag.offset);
    return std::max(scale ? scale->places : 0, offset ? offset->places : 0);
}

}  // namespace

const char* TagTypeName(TagType type) {
    switch (type) {
        case TagType::Bool:
            return "BOOL";
        case TagType::Int:
            return "INT";
        case TagType::Uint:
            return "UINT";
        case TagType::Dint:
            return "DINT";
        case TagType::Udint:
            return "UDINT";
        case TagType::Real:
            return "REAL";
    }
    return "?";
}

int TagWordCount(TagType type) {
    return type == TagType::Dint || type == TagType::Udint || type == TagType::Real ? 2 : 1;
}

std::string TagAddressText(const TagDefinition& tag) {
    return std::string(kAreaSymbols[tag.area]) + std::to_string(tag.address);
}

bool ParseTagDefinition(std::string_view name, std::string_view text, TagDefinition* tag,
                        std::string* problem) {
    if (!ValidName(name)) {
        return Fail(problem,
                    "the name must be letters, digits and '_', start with a letter and have "
                    "at most 64 characters");
    }
    const std::vector<std::string_view> words = Words(text);
    if (words.empty()) return Fail(problem, "no address");
    TagDefinition parsed;
    parsed.name = std::string(name);
    int address = 0;
    if (!ParseAddress(words[0], &parsed.area, &address)) {
        return Fail(problem, "'" + std::string(words[0]) + "' is no address such as %R100");
    }
    const bool bitArea = IsBitAreaType(parsed.area);
    const int max = bitArea ? kBitAddressMax : kWordAddressMax;
    if (address < 1 || address > max) {
        return Fail(problem,
                    "address " + std::to_string(address) + " is outside 1.." + std::to_string(max));
    }
    parsed.address = static_cast<uint16_t>(address);
    parsed.type = bitArea ? TagType::Bool : TagType::Int;
    bool typeGiven = false;
    bool scaled = false;
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string_view word = words[i];
        std::string_view number;
        double* target = nullptr;
        if (KeyWord(word, "scale", &number)) {
            target = &parsed.scale;
            scaled = true;
        } else if (KeyWord(word, "offset", &number)) {
            target = &parsed.offset;
            scaled = true;
        } else if (KeyWord(word, "deadband", &number)) {
            target = &parsed.deadband;
        } else if (EqualNoCase(word, "history")) {
            parsed.history = true;
            continue;
        } else if (const std::optional<TagType> type = ParseType(word); type && !typeGiven) {
            parsed.type = *type;
            typeGiven = true;
            continue;
        } else {
            return Fail(problem, "unknown word '" + std::string(word) + "'");
        }
        if (!ParseNumber(number, target)) {
            return Fail(problem, "'" + std::string(word) + "' is not a number");
        }
    }
    const std::string symbol = kAreaSymbols[parsed.area];
    if (bitArea != (parsed.type == TagType::Bool)) {
        return Fail(problem, std::string(TagTypeName(parsed.type)) + " does not fit " + symbol);
    }
    if (bitArea && scaled) return Fail(problem, "scale and offset need a word type");
    if (parsed.scale == 0.0) return Fail(problem, "scale=0 cannot be written back");
    if (parsed.deadband < 0.0) return Fail(problem, "deadband must not be negative");
    if (TagWordCount(parsed.type) == 2 && address == max) {
        return Fail(problem, std::string(TagTypeName(parsed.type)) + " needs two words, " + symbol +
                                 std::to_string(address) + " is the last one");
    }
    *tag = std::move(parsed);
    return true;
}

std::string TagDefinitionText(const TagDefinition& tag) {
    std::string text = TagAddressText(tag) + " " + TagTypeName(tag.type);
    if (tag.scale != 1.0) text += " scale=" + ShortestText(tag.scale);
    if (tag.offset != 0.0) text += " offset=" + ShortestText(tag.offset);
    if (tag.history) text += " history";
    if (tag.deadband != 0.0) text += " deadband=" + ShortestText(tag.deadband);
    return text;
}

std::optional<double> TagValueFromRaw(const TagDefinition& tag, uint32_t raw) {
    switch (tag.type) {
        case TagType::Bool:
            return static_cast<double>(raw & 1U);
        case TagType::Int:
            return Scaled(tag, static_cast<int16_t>(raw & 0xFFFFU));
        case TagType::Uint:
            return Scaled(tag, raw & 0xFFFFU);
        case TagType::Dint:
            return Scaled(tag, static_cast<int32_t>(raw));
        case TagType::Udint:
            return Scaled(tag, raw);
        case TagType::Real: {
            const float real = std::bit_cast<float>(raw);
            if (!std::isfinite(real)) return std::nullopt;
            // The REAL as its shortest decimal: 3236.7, not the float's
            // exact 3236.699951171875, so a value written as 3236.7 reads
            // back as 3236.7.
            const std::optional<Decimal> read = ShortestDecimal(real);
            if (read) {
                if (const std::optional<Decimal> value = ScaledDecimal(tag, *read))
                    return ToDouble(*value);
            }
            return static_cast<double>(real) * tag.scale + tag.offset;
        }
    }
    return std::nullopt;
}

std::string TagRawText(const TagDefinition& tag, uint32_t raw) {
    char text[16];
    if (tag.type == TagType::Bool) return (raw & 1U) != 0 ? "1" : "0";
    if (TagWordCount(tag.type) == 1) {
        std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(raw & 0xFFFFU));
    } else {
        std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(raw));
    }
    return text;
}

std::string TagValueText(const TagDefinition& tag, std::optional<double> value) {
    if (!value) return "";
    char text[64];
    const int places = ValuePlaces(tag);
    if (tag.type == TagType::Real) {
        std::snprintf(text, sizeof text, "%.7g", *value);
    } else if (places <= 20 && std::fabs(*value) < 1e21) {
        // Whole values exactly, scaled ones with the places of the scale:
        // 1234567.90 then 1234567.91, never 1234568 twice.
        std::snprintf(text, sizeof text, "%.*f", places, *value);
    } else {
        return ShortestText(*value);
    }
    return text;
}

TagEncodeResult TagRawFromValue(const TagDefinition& tag, double value, uint32_t* raw) {
    if (!std::isfinite(value)) return TagEncodeResult::NotANumber;
    if (tag.type == TagType::Real) {
        const double unscaled = (value - tag.offset) / tag.scale;
        if (!std::isfinite(unscaled)) return TagEncodeResult::OutOfRange;
        const float real = static_cast<float>(unscaled);
        if (!std::isfinite(real)) return TagEncodeResult::OutOfRange;
        *raw = std::bit_cast<uint32_t>(real);
        return TagEncodeResult::Ok;
    }
    int64_t low = 0;
    int64_t high = 0;
    switch (tag.type) {
        case TagType::Bool:
            high = 1;
            break;
        case TagType::Int:
            low = -32768;
            high = 32767;
            break;
        case TagType::Uint:
            high = 65535;
            break;
        case TagType::Dint:
            low = -2147483648LL;
            high = 2147483647;
            break;
        case TagType::Udint:
        case TagType::Real:
            high = 4294967295LL;
            break;
    }
    std::optional<int64_t> whole = WholeRawDecimal(tag, value);
    if (!whole) {
        const double rounded = std::round((value - tag.offset) / tag.scale);
        if (!(rounded >= static_cast<double>(low) && rounded <= static_cast<double>(high)))
            return TagEncodeResult::OutOfRange;
        whole = static_cast<int64_t>(rounded);
    }
    if (*whole < low || *whole > high) return TagEncodeResult::OutOfRange;
    *raw = TagWordCount(tag.type) == 1 ? static_cast<uint32_t>(*whole) & 0xFFFFU
                                       : static_cast<uint32_t>(*whole);
    return TagEncodeResult::Ok;
}

int FindTag(const std::vector<TagDefinition>& tags, std::string_view name) {
    for (std::size_t i = 0; i < tags.size(); ++i) {
        if (EqualNoCase(tags[i].name, name)) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace tarnlight
