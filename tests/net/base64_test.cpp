#include "net/base64.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace ktv {
namespace {

TEST(Base64Encode, MatchesTheStandardTestVectors) {
  const std::pair<std::string, std::string> vectors[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {std::string("\xfb\xff\xbf", 3), "+/+/"},  // the two last alphabet letters; bytes taken unsigned
      {std::string("\0\0\0\0", 4), "AAAAAA=="},  // NUL bytes are data, not an end
  };
  for (const auto& [bytes, text] : vectors) EXPECT_EQ(Base64Encode(bytes), text);
  std::string long_text(1000, 'x');
  EXPECT_EQ(Base64Encode(long_text).find('\n'), std::string::npos) << "no line breaks, whatever the length";
  EXPECT_EQ(Base64Encode(long_text).size(), 1336u);
}

}  // namespace
}  // namespace ktv
