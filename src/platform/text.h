// Small text helpers every layer shares. Text is 8-bit throughout the program: case is folded for ASCII
// letters only, so bytes of other code pages pass through unchanged.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

namespace ktv {

std::string UpperCase(const std::string& text);
std::string LowerCase(const std::string& text);
// Equal but for the case of ASCII letters.
bool SameText(const std::string& a, const std::string& b);
// Whether the text begins with the prefix, ASCII case ignored ("file://" matches "FILE://x").
bool StartsWithText(const std::string& text, const std::string& prefix);

// The text without leading and trailing blanks and control characters (bytes up to 0x20).
std::string TrimText(const std::string& text);

// The whole text as a decimal integer: an optional sign, then digits only (no blanks). False for anything
// else, and for a number outside int64_t.
bool ParseInteger(const std::string& text, int64_t& value);
// The same, also false for a number outside tInt.
template <class tInt>
bool ParseInteger(const std::string& text, tInt& value) {
  int64_t parsed;
  if (!ParseInteger(text, parsed) || parsed < static_cast<int64_t>(std::numeric_limits<tInt>::min()) ||
      parsed > static_cast<int64_t>(std::numeric_limits<tInt>::max()))
    return false;
  value = static_cast<tInt>(parsed);
  return true;
}

// Each byte the predicate picks becomes "%" and two upper-case hex digits; the others are copied.
std::string PercentEscape(const std::string& text, bool (*escaped)(unsigned char));

}  // namespace ktv
