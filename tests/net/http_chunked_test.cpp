#include "net/http_chunked.h"

#include <gtest/gtest.h>

namespace ktv {
namespace {

using tStatus = tChunkedDecoder::tStatus;

struct tDecoded {
  std::string Body;
  tStatus Status;
  size_t Taken;
};

// Feeds the input in pieces of at most `piece` bytes (the cut moved by `offset` for the first piece).
tDecoded Decode(const std::string& input, size_t piece, size_t offset = 0) {
  tChunkedDecoder decoder;
  tDecoded out{"", tStatus::More, 0};
  size_t at = 0;
  size_t first = offset ? offset : piece;
  while (at < input.size()) {
    size_t n = std::min(at == 0 ? first : piece, input.size() - at);
    size_t taken = decoder.Feed(input.data() + at, n, out.Body);
    out.Taken += taken;
    if (taken < n) break;
    at += n;
  }
  out.Status = decoder.Status();
  return out;
}

TEST(HttpChunked, DecodesWhateverThePiecesAre) {
  const std::string longChunk(5000, 'x');
  struct {
    std::string input;
    std::string body;
    tStatus status;
    const char* note;
  } rows[] = {
      {"5\r\nhello\r\n6\r\n world\r\n0\r\n\r\n", "hello world", tStatus::Done, "two chunks and the last"},
      {"a\r\n0123456789\r\n0\r\n\r\nAFTER", "0123456789", tStatus::Done,
       "lower-case hex; bytes after the end"},
      {"A;name=value;x\r\n0123456789\r\n0\r\n\r\n", "0123456789", tStatus::Done, "extensions are skipped"},
      {"5 \t;ext\r\nhello\r\n0\r\n\r\n", "hello", tStatus::Done, "white space before an extension"},
      {"5\nhello\n0\n\n", "hello", tStatus::Done, "bare line feeds"},
      {"0005\r\nhello\r\n0\r\nX-Sum: 1\r\nX-More: 2\r\n\r\n", "hello", tStatus::Done,
       "leading zeros and trailer lines"},
      {"1388\r\n" + longChunk + "\r\n0\r\n\r\n", longChunk, tStatus::Done, "a chunk longer than any piece"},
      {"5\r\nhel", "hel", tStatus::More, "a chunk cut short: its bytes so far, more expected"},
      {"5\r\nhello\r\n", "hello", tStatus::More, "no last chunk yet"},
      {"\r\nhello", "", tStatus::Failed, "a size line without digits"},
      {"5x\r\nhello\r\n", "", tStatus::Failed, "a size that does not parse"},
      {"-5\r\nhello\r\n", "", tStatus::Failed, "a negative size"},
      {"5 5\r\nhello\r\n", "", tStatus::Failed, "digits after white space"},
      {"1000000000000000\r\n", "", tStatus::Failed, "a size of 16 significant digits does not fit"},
      {"5\r\nhelloXX", "hello", tStatus::Failed, "chunk bytes not followed by a line end"},
      {"5\rhello", "", tStatus::Failed, "a CR without its LF"},
      {"5;" + std::string(2000, 'e') + "\r\nhello\r\n0\r\n\r\n", "", tStatus::Failed,
       "an extension beyond the size line's bound"},
      {"0\r\n" + std::string(9000, 't') + "\r\n\r\n", "", tStatus::Failed, "a trailer beyond its bound"},
      {"5;ext\x01\r\nhello", "", tStatus::Failed, "a control byte in an extension"},
  };
  for (const auto& row : rows) {
    const tDecoded whole = Decode(row.input, row.input.size());
    EXPECT_EQ(whole.Body, row.body) << row.note;
    EXPECT_EQ(whole.Status, row.status) << row.note;
    for (size_t cut = 1; cut < row.input.size(); ++cut) {
      const tDecoded split = Decode(row.input, row.input.size(), cut);
      ASSERT_EQ(split.Body, row.body) << row.note << ", split at " << cut;
      ASSERT_EQ(split.Status, row.status) << row.note << ", split at " << cut;
      ASSERT_EQ(split.Taken, whole.Taken) << row.note << ", split at " << cut;
    }
    const tDecoded bytes = Decode(row.input, 1);
    EXPECT_EQ(bytes.Body, row.body) << row.note << ", a byte at a time";
    EXPECT_EQ(bytes.Status, row.status) << row.note << ", a byte at a time";
  }
}

TEST(HttpChunked, StopsTakingAtTheEndOfTheBody) {
  tChunkedDecoder decoder;
  std::string body;
  const std::string input = "3\r\nabc\r\n0\r\n\r\nOggS";
  EXPECT_EQ(decoder.Feed(input.data(), input.size(), body), input.size() - 4) << "the bytes after the end";
  EXPECT_TRUE(decoder.Done());
  EXPECT_EQ(decoder.Feed("more", 4, body), 0u) << "a finished body takes nothing";
  EXPECT_EQ(body, "abc");
}

TEST(HttpChunked, ExpectsNoMoreThanItKnowsOf) {
  tChunkedDecoder decoder;
  std::string body;
  EXPECT_EQ(decoder.Expecting(), 1u) << "a size line is read a byte at a time";
  decoder.Feed("10\r\nabcd", 8, body);
  EXPECT_EQ(decoder.Expecting(), 12u + 2) << "the rest of the chunk and its line end";
  decoder.Feed("x", 1, body);
  decoder.Feed("abcdefghijk\r\n", 13, body);
  EXPECT_EQ(decoder.Expecting(), 1u) << "the next size line";
  decoder.Feed("zz", 2, body);
  EXPECT_TRUE(decoder.Failed());
  EXPECT_EQ(body, "abcdxabcdefghijk");
  EXPECT_EQ(decoder.Expecting(), 0u) << "a failed body expects nothing";
}

}  // namespace
}  // namespace ktv
