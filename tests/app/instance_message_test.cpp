// The hand-over message read from whatever part of it has arrived: damaged, foreign and oversized messages
// are refused, a message split anywhere waits for the rest, and several arguments survive the trip.
#include "app/instance_message.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ktv {
namespace {

std::string Header(uint32_t tag, uint32_t length) {
  std::string h;
  for (uint32_t v : {tag, length})
    for (int shift = 0; shift < 32; shift += 8) h.push_back(static_cast<char>((v >> shift) & 0xFF));
  return h;
}

tInstanceRead Read(const std::string& bytes, std::string& body, size_t& used) {
  return ReadInstanceMessage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), kInstanceTag, body,
                             used);
}

TEST(InstanceMessage, ReadsOnlyWholeMessagesWithOurTag) {
  struct {
    std::string bytes;
    tInstanceRead expected;
    std::string body;
    const char* note;
  } rows[] = {
      {Header(128, 3) + "a.o", tInstanceRead::Complete, "a.o", "a whole message"},
      {Header(128, 0), tInstanceRead::Complete, "", "no arguments"},
      {Header(128, 3) + "a.oXYZ", tInstanceRead::Complete, "a.o",
       "bytes after the message are not part of it"},
      {Header(128, 3) + "a.", tInstanceRead::NeedMore, "", "a body cut short"},
      {Header(128, 3).substr(0, 6), tInstanceRead::NeedMore, "", "half a header"},
      {"", tInstanceRead::NeedMore, "", "nothing yet"},
      {Header(129, 0), tInstanceRead::Refused, "", "the answer's tag is not a start's"},
      {Header(0x80000080u, 0).substr(0, 4), tInstanceRead::Refused, "",
       "a foreign tag is refused before the length"},
      {Header(128, kMaxInstanceBytes + 1), tInstanceRead::Refused, "", "one byte over the bound"},
      {Header(128, 0xFFFFFFFFu), tInstanceRead::Refused, "", "a length that would wrap a 32-bit sum"},
      {Header(128, kMaxInstanceBytes) + std::string(kMaxInstanceBytes, 'x'), tInstanceRead::Complete,
       std::string(kMaxInstanceBytes, 'x'), "exactly the bound"},
  };
  for (const auto& r : rows) {
    std::string body;
    size_t used = 0;
    EXPECT_EQ(Read(r.bytes, body, used), r.expected) << r.note;
    if (r.expected != tInstanceRead::Complete) continue;
    EXPECT_EQ(body, r.body) << r.note;
    EXPECT_EQ(used, kInstanceHeaderBytes + r.body.size()) << r.note;
  }
}

TEST(InstanceMessage, EveryPrefixWaitsAndTheWholeReads) {
  std::string body;
  JoinInstanceArguments({"/tmp/a.ogv", "http://127.0.0.1:8000/live.ogg"}, body);
  const std::string message = EncodeInstanceMessage(kInstanceTag, body);
  for (size_t cut = 0; cut < message.size(); ++cut) {
    std::string got;
    size_t used = 0;
    EXPECT_EQ(Read(message.substr(0, cut), got, used), tInstanceRead::NeedMore) << "cut at " << cut;
  }
  std::string got;
  size_t used = 0;
  ASSERT_EQ(Read(message, got, used), tInstanceRead::Complete);
  EXPECT_EQ(SplitInstanceArguments(got),
            (std::vector<std::string>{"/tmp/a.ogv", "http://127.0.0.1:8000/live.ogg"}));
}

TEST(InstanceMessage, ArgumentsJoinAndSplitWithinTheBound) {
  const std::string big(kMaxInstanceBytes / 2, 'b');
  struct {
    std::vector<std::string> arguments;
    size_t went;
    std::vector<std::string> back;
    const char* note;
  } rows[] = {
      {{}, 0, {}, "none"},
      {{"--x.ogv", "b c.ogv", "\xc3\xa4.ogg"}, 3, {"--x.ogv", "b c.ogv", "\xc3\xa4.ogg"}, "names as given"},
      {{"", "a.ogv", ""}, 3, {"a.ogv"}, "empty arguments name nothing"},
      {{big, big, "c.ogv"}, 1, {big}, "the second would pass the bound with its separator: left out"},
      {{std::string(kMaxInstanceBytes + 1, 'x'), "a.ogv"}, 0, {}, "an argument longer than the bound"},
  };
  for (const auto& r : rows) {
    std::string body;
    EXPECT_EQ(JoinInstanceArguments(r.arguments, body), r.went) << r.note;
    EXPECT_LE(body.size(), kMaxInstanceBytes) << r.note;
    EXPECT_EQ(SplitInstanceArguments(body), r.back) << r.note;
  }
}

}  // namespace
}  // namespace ktv
