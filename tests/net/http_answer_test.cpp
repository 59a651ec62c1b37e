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

}  // namespace
}  // namespace ktv
