#pragma once
// Tags: named, typed values over one or two words (or one bit) of the
// controller memory, defined in the [Tags] section of the settings file as
// "NAME=ADDRESS [TYPE] [scale=S] [offset=O] [history] [deadband=D]".
//
// A 32-bit tag takes the word at its address as the low 16 bits and the word
// after it as the high 16 bits, as the Series 90 stores them. Word tags show
// raw x scale + offset; BOOL and the 32-bit types have no scale or offset
// unless given (REAL and DINT may take them too).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnlight {

enum class TagType : uint8_t { Bool, Int, Uint, Dint, Udint, Real };

inline constexpr std::size_t kTagNameMaxLength = 64;

struct TagDefinition {
    std::string name;      // letters, digits, '_', starting with a letter
    int area = 0;          // MemoryType 0..5 (%I %M %Q %AI %R %AQ)
    uint16_t address = 1;  // controller address, 1-based
    TagType type = TagType::Bool;
    double scale = 1.0;
    double offset = 0.0;
    bool history = false;  // appended to tag_history when it changes
    double deadband = 0.0;
    bool operator==(const TagDefinition&) const = default;
};

// "BOOL", "INT", "UINT", "DINT", "UDINT", "REAL".
const char* TagTypeName(TagType type);
// 1 for BOOL, INT and UINT, 2 for the 32-bit types.
int TagWordCount(TagType type);
// "%R100", "%I5".
std::string TagAddressText(const TagDefinition& tag);

// Parses one line of [Tags]: `name` is the key, `text` the value. The
// address range is checked against the largest ranges the settings allow
// (8192 bits, 4096 words), not against the ranges enabled. On failure
// returns false and sets *problem to what is wrong ("unknown word 'x'",
// "REAL does not fit %I", ...), without the line itself.
bool ParseTagDefinition(std::string_view name, std::string_view text, TagDefinition* tag,
                        std::string* problem);

// The text after "NAME=" that parses back to `tag`: the address, the type,
// then scale, offset, history and deadband where they differ from the default.
std::string TagDefinitionText(const TagDefinition& tag);

// The raw bits of a tag: the bit (0/1), the word, or high << 16 | low.
// The value as the engineer reads it: raw x scale + offset computed in
// decimal, with the places scale and offset carry (a REAL taken as its
// shortest decimal), as the double nearest to that decimal; nothing for a
// REAL whose bits are NaN or infinity.
std::optional<double> TagValueFromRaw(const TagDefinition& tag, uint32_t raw);
// "0" / "1" for a bit, 4 hex digits for a word, 8 (high word first) for
// 32-bit tags, upper case.
std::string TagRawText(const TagDefinition& tag, uint32_t raw);
// The value as shown and printed: whole values exactly, scaled ones with the
// places scale and offset carry ("1234567.90"), REAL with up to 7
// significant digits; "" for no value.
std::string TagValueText(const TagDefinition& tag, std::optional<double> value);

enum class TagEncodeResult { Ok, NotANumber, OutOfRange };
// The raw bits that write `value`: (value - offset) / scale, computed in
// decimal and rounded to the nearest raw value (halves away from zero) for
// the integer types, so a value read from raw bits writes those bits, and
// checked against the type's range (BOOL takes 0 or 1 only). REAL takes any
// finite value.
TagEncodeResult TagRawFromValue(const TagDefinition& tag, double value, uint32_t* raw);

// Index of the tag named `name` without regard to case, -1 when none.
int FindTag(const std::vector<TagDefinition>& tags, std::string_view name);

}  // namespace tarnlight
