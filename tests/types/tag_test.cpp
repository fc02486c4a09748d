// Tag lines as the [Tags] section holds them, and the values they give.
#include "types/tag.h"

#include <limits>

#include <gtest/gtest.h>

namespace tarnlight {
namespace {

TagDefinition Parsed(const char* name, const char* text) {
    TagDefinition tag;
    std::string problem;
    EXPECT_TRUE(ParseTagDefinition(name, text, &tag, &problem)) << text << ": " << problem;
    return tag;
}

std::string Problem(const char* name, const char* text) {
    TagDefinition tag;
    std::string problem;
    EXPECT_FALSE(ParseTagDefinition(name, text, &tag, &problem)) << text;
    return problem;
}

TEST(TagTest, LinesGiveTypedScaledTagsAndBadLinesSayWhy) {
    const TagDefinition flow = Parsed("flow", " %ai3  int SCALE=0.01 History deadband=0.5");
    EXPECT_EQ(flow.area, 3);
    EXPECT_EQ(flow.address, 3);
    EXPECT_EQ(flow.type, TagType::Int);
    EXPECT_DOUBLE_EQ(flow.scale, 0.01);
    EXPECT_TRUE(flow.history);
    EXPECT_DOUBLE_EQ(flow.deadband, 0.5);
    EXPECT_EQ(TagAddressText(flow), "%AI3");
    EXPECT_EQ(Parsed("pump_run", "%Q5").type, TagType::Bool);
    EXPECT_EQ(Parsed("level", "%R100").type, TagType::Int);
    EXPECT_EQ(Parsed("total", "%R4095 UDINT").type, TagType::Udint);

    EXPECT_EQ(Problem("x", "%R10 DINT fast"), "unknown word 'fast'");
    EXPECT_EQ(Problem("x", "%I3 REAL"), "REAL does not fit %I");
    EXPECT_EQ(Problem("x", "%R5 BOOL"), "BOOL does not fit %R");
    EXPECT_EQ(Problem("x", "%R4096 REAL"), "REAL needs two words, %R4096 is the last one");
    EXPECT_EQ(Problem("x", "%R1 scale=abc"), "'scale=abc' is not a number");
    EXPECT_EQ(Problem("x", "%I1 scale=2"), "scale and offset need a word type");
    EXPECT_EQ(Problem("x", "%Z1"), "'%Z1' is no address such as %R100");
    EXPECT_EQ(Problem("x", "%M8193"), "address 8193 is outside 1..8192");
    EXPECT_NE(Problem("9lives", "%R1"), "");
    EXPECT_NE(Problem(std::string(65, 'a').c_str(), "%R1"), "");
    EXPECT_EQ(FindTag({flow}, "FLOW"), 0);
    EXPECT_EQ(FindTag({flow}, "flo"), -1);
}

// Values a tag's type cannot take after scale and offset are refused (the
// conversions themselves are exercised through the tables in the db tests).
TEST(TagTest, ValuesOutsideTheTypeAreRefused) {
    uint32_t raw = 0;
    const TagDefinition temp = Parsed("temp", "%AI4 INT scale=0.1 offset=-40");
    EXPECT_EQ(TagRawFromValue(temp, 3300.0, &raw), TagEncodeResult::OutOfRange);  // raw 33400
    EXPECT_EQ(TagRawFromValue(Parsed("u", "%R1 UINT"), -1, &raw), TagEncodeResult::OutOfRange);
    EXPECT_EQ(TagRawFromValue(Parsed("b", "%M1"), 2, &raw), TagEncodeResult::OutOfRange);
    const TagDefinition real = Parsed("level", "%R20 REAL");
    EXPECT_EQ(TagRawFromValue(real, 1e39, &raw), TagEncodeResult::OutOfRange);
    EXPECT_EQ(TagRawFromValue(real, std::numeric_limits<double>::quiet_NaN(), &raw),
              TagEncodeResult::NotANumber);
}

}  // namespace
}  // namespace tarnlight
