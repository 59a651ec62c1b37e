#include "net/http_answer.h"

#include <gtest/gtest.h>

#include "support/script_server.h"

namespace ktv {
namespace {

using namespace ktv::test;

TEST(HttpAnswer, HeaderFields) {
  struct {
    const char* line;
    const char* name;
    const char* value;
    const char* note;
  } rows[] = {
      {"icy-name: Kestrova Radio", "ICY-NAME", "Kestrova Radio", "name upper-cased, value as written"},
      {"  Content-Type :  application/ogg  ", "CONTENT-TYPE", "application/ogg", "both trimmed"},
      {"icy-url: http://radio.example/", "ICY-URL", "http://radio.example/", "split at the first colon only"},
      {"no colon here", "", "", "a line without a colon names nothing"},
      {"x-empty:", "X-EMPTY", "", "an empty value"},
  };
  for (const auto& row : rows) {
    tHeaderField field = SplitHeaderField(row.line);
    EXPECT_EQ(field.Name, row.name) << row.note;
    EXPECT_EQ(field.Value, row.value) << row.note;
  }
}

TEST(HttpAnswer, LinesAreReadUpToTheirEndWithinABudget) {
  tScriptServer server(
      {Send("HTTP/1.0 200 OK\r\n  Server: x \r\n\r\n" + std::string(100, 'a') + "\n"), Close()});
  tEasySocket socket(5, false, false);
  ASSERT_TRUE(socket.Connect(server.Port(), "127.0.0.1"));
  size_t budget = 1000;
  std::string line;
  ASSERT_TRUE(ReadHeaderLine(socket, line, budget));
  EXPECT_EQ(line, "HTTP/1.0 200 OK") << "the CR is dropped";
  ASSERT_TRUE(ReadHeaderLine(socket, line, budget));
  EXPECT_EQ(line, "Server: x") << "trimmed";
  ASSERT_TRUE(ReadHeaderLine(socket, line, budget));
  EXPECT_EQ(line, "") << "the empty line that ends the header";
  EXPECT_EQ(budget, 1000u - 16 - 13 - 1) << "every byte but the LF counts";
  budget = 50;
  EXPECT_FALSE(ReadHeaderLine(socket, line, budget)) << "a line longer than the budget is refused";
  EXPECT_EQ(budget, 0u);
  budget = 1000;
  ASSERT_TRUE(ReadHeaderLine(socket, line, budget));
  EXPECT_EQ(line, std::string(49, 'a')) << "the caller refuses the answer; the rest is what was left";
  ASSERT_TRUE(ReadHeaderLine(socket, line, budget));
  EXPECT_EQ(line, "") << "a read that fails (the server closed) ends the header like an empty line";
}

using tCollected = tHeaderCollector::tStatus;

TEST(HttpAnswer, HeaderIsCollectedWhateverThePiecesAre) {
  const std::string manyLines = [] {
    std::string text = "HTTP/1.0 200 OK\r\n";
    while (text.size() <= tHeaderCollector::kMaxHeaderBytes)
      text += "X-Pad: " + std::string(1000, 'p') + "\r\n";
    return text + "\r\n";
  }();
  struct {
    std::string input;
    tCollected status;
    size_t lines;
    size_t taken;  // bytes taken: the rest is the body
    const char* note;
  } rows[] = {
      {"ICY 200 OK\r\nicy-br: 128\r\n\r\nOggS", tCollected::Complete, 2, 27, "the body is left"},
      {"HTTP/1.0 200 OK\n  Server: x \n\nbody", tCollected::Complete, 2, 30,
       "bare line feeds, trimmed lines"},
      {"ICY 200 OK\r\n\r\n", tCollected::Complete, 1, 14, "no header lines"},
      {"\r\n", tCollected::Complete, 0, 2, "an empty first line ends an empty header"},
      {"ICY 200 OK\r\nicy-name: x", tCollected::More, 1, 23, "cut short: more is expected"},
      {"ICY 200 OK\r\nX: " + std::string(tHeaderCollector::kMaxHeaderLine, 'a') + "\r\n\r\n",
       tCollected::TooLarge, 1, 12 + tHeaderCollector::kMaxHeaderLine + 1, "one line beyond its bound"},
      {manyLines, tCollected::TooLarge, 0, tHeaderCollector::kMaxHeaderBytes + 1,
       "lines each within the bound, the whole beyond its own"},
  };
  for (const auto& row : rows) {
    for (size_t cut : {size_t{0}, size_t{1}, size_t{5}, size_t{17}, row.input.size() / 2}) {
      tHeaderCollector header;
      size_t taken = header.Feed(row.input.data(), std::min(cut, row.input.size()));
      if (taken == std::min(cut, row.input.size()))
        taken += header.Feed(row.input.data() + taken, row.input.size() - taken);
      ASSERT_EQ(header.Status(), row.status) << row.note << ", split at " << cut;
      ASSERT_EQ(taken, row.taken) << row.note << ", split at " << cut;
      if (row.status != tCollected::TooLarge) {
        ASSERT_EQ(header.Lines().size(), row.lines) << row.note;
      }
    }
  }
  tHeaderCollector header;
  const std::string answer = "HTTP/1.0 200 OK\r\n  Content-Type : application/ogg \r\n\r\n";
  header.Feed(answer.data(), answer.size());
  ASSERT_EQ(header.Lines().size(), 2u);
  EXPECT_EQ(header.Lines()[0], "HTTP/1.0 200 OK");
  EXPECT_EQ(header.Lines()[1], "Content-Type : application/ogg") << "CR dropped, trimmed";
}

// Reads an answer from a script server: the header's result, then the whole body as ReadBody gives it.
struct tRead {
  tAnswerReader::tHeaderResult Result;
  std::vector<std::string> Lines;
  std::string Body;
  bool Failed = false;
  bool Ended = false;
};
tRead ReadAnswer(tScript script, bool chunked, uint32_t limitMs = 5000, int timeOut = 5) {
  tScriptServer server(std::move(script));
  tEasySocket socket(timeOut, false, false);
  EXPECT_TRUE(socket.Connect(server.Port(), "127.0.0.1"));
  tAnswerReader reader(socket);
  tRead out{reader.ReadHeader(limitMs), reader.Lines(), "", false, false};
  if (out.Result != tAnswerReader::tHeaderResult::Complete) return out;
  reader.SetChunked(chunked);
  char buf[100];
  while (reader.Connected()) {
    size_t got = reader.ReadBody(buf, sizeof buf);
    out.Body.append(buf, got);
    if (got < sizeof buf) break;
  }
  out.Failed = reader.BodyFailed();
  out.Ended = reader.BodyEnded();
  return out;
}

TEST(HttpAnswer, ReaderKeepsTheBodyThatCameWithTheHeader) {
  const std::string body(1000, 'b');
  tRead read = ReadAnswer({Send("ICY 200 OK\r\nicy-br: 64\r\n\r\n" + body), Close()}, false);
  ASSERT_EQ(read.Result, tAnswerReader::tHeaderResult::Complete);
  EXPECT_EQ(read.Lines, (std::vector<std::string>{"ICY 200 OK", "icy-br: 64"}));
  EXPECT_EQ(read.Body, body) << "every byte after the empty line, in order";

  read = ReadAnswer({Send("ICY 200 OK\r\nicy-"), Close()}, false);
  EXPECT_EQ(read.Result, tAnswerReader::tHeaderResult::Closed) << "the connection ended within the header";
}

TEST(HttpAnswer, ReaderDecodesAChunkedBody) {
  const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  // Chunks in pieces that split size lines and chunk bytes, with pauses between them.
  tRead read = ReadAnswer({Send(head + "4\r\nOg"), Pause(30), Send("gS\r\n1"), Pause(30),
                           Send("0;x=y\r\n0123456789abcdef\r\n0\r\n\r\n"), Stall()},
                          true);
  EXPECT_EQ(read.Body, "OggS0123456789abcdef");
  EXPECT_TRUE(read.Ended) << "the last chunk ends the body although the server keeps the connection";
  read = ReadAnswer({Send(head + "4\r\nOggS\r\nzz\r\n"), Close()}, true);
  EXPECT_EQ(read.Body, "OggS");
  EXPECT_TRUE(read.Failed) << "a size that does not parse";
}

TEST(HttpAnswer, ReaderRefusesEndlessHeaders) {
  // Header lines as fast as the client takes them: refused at the bound, not read for ever.
  std::string endless;
  for (int i = 0; i < 2000; ++i)
    endless += "X-Line-" + std::to_string(i) + ": " + std::string(60, 'v') + "\r\n";
  tRead read = ReadAnswer({Send("ICY 200 OK\r\n"), Send(endless), Stall()}, false);
  EXPECT_EQ(read.Result, tAnswerReader::tHeaderResult::TooLarge);
  // A trickle of header lines within the bound, but beyond the time limit.
  read = ReadAnswer(Steps({{Send("ICY 200 OK\r\n")}, Trickle(endless.substr(0, 3000), 20, 50), {Stall()}}),
                    false, 400);
  EXPECT_EQ(read.Result, tAnswerReader::tHeaderResult::TooSlow);
}

}  // namespace
}  // namespace ktv
