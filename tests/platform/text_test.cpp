#include "platform/text.h"

#include <gtest/gtest.h>

namespace ktv {
namespace {

TEST(Text, ParseIntegerTakesOnlyAWholeDecimalNumber) {
  struct {
    const char* Text;
    bool Parsed;
    int64_t Value;
    const char* Fault;
  } rows[] = {
      {"42", true, 42, "a plain number"},
      {"+7", true, 7, "a plus sign"},
      {"-9223372036854775808", true, INT64_MIN,
       "the smallest number: the negative range reaches one further"},
      {"9223372036854775807", true, INT64_MAX, "the largest number"},
      {"9223372036854775808", false, 0, "one beyond the largest must not wrap to the smallest"},
      {"-9223372036854775809", false, 0, "one below the smallest"},
      {"99999999999999999999999", false, 0, "far beyond any 64-bit number"},
      {"", false, 0, "nothing"},
      {"-", false, 0, "a sign alone"},
      {"+-5", false, 0, "two signs"},
      {" 5", false, 0, "a blank: callers trim where their format allows it"},
      {"5x", false, 0, "a trailing letter"},
      {"0x10", false, 0, "no hex prefix"},
  };
  for (const auto& row : rows) {
    int64_t value = -1;
    EXPECT_EQ(ParseInteger(row.Text, value), row.Parsed) << row.Fault;
    EXPECT_EQ(value, row.Parsed ? row.Value : -1) << "a failed parse leaves the value alone: " << row.Fault;
  }
  int32_t small = 3;
  EXPECT_FALSE(ParseInteger("2147483648", small)) << "outside the asked type";
  EXPECT_EQ(small, 3);
  EXPECT_TRUE(ParseInteger("-2147483648", small));
  EXPECT_EQ(small, INT32_MIN);
}

TEST(Text, CaseIsFoldedForASCIILettersOnly) {
  EXPECT_EQ(UpperCase("Ogg \xe9t\xc9"), "OGG \xe9T\xc9") << "bytes of other code pages stay as they are";
  EXPECT_EQ(LowerCase("FILE://A\xc9"), "file://a\xc9");
  EXPECT_TRUE(SameText("Content-Type", "CONTENT-TYPE"));
  EXPECT_FALSE(SameText("\xe9", "\xc9")) << "no folding beyond ASCII";
  EXPECT_FALSE(SameText("abc", "abcd"));
  EXPECT_TRUE(StartsWithText("FILE:///tmp/a.ogg", "file://"));
  EXPECT_FALSE(StartsWithText("file:/", "file://")) << "a text shorter than the prefix";
  EXPECT_TRUE(StartsWithText("x", ""));
}

TEST(Text, TrimAndEscape) {
  EXPECT_EQ(TrimText("\t\r\n  a b \x01"), "a b");
  EXPECT_EQ(TrimText(" \x7f "), "\x7f") << "DEL is no blank";
  EXPECT_EQ(TrimText(std::string(" \0 ", 3)), "");
  EXPECT_EQ(PercentEscape("a b%\xff", [](unsigned char c) { return c == ' ' || c >= 0x80; }), "a%20b%%FF");
}

}  // namespace
}  // namespace ktv
