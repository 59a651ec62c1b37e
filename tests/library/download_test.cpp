#include "library/download.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>

#include "support/script_server.h"

namespace ktv {
namespace {

using test::tScriptServer;

// The dialog stand-in: records what it was told and cancels when the test's condition says so.
class tTestView : public tDownloadView {
 public:
  void ShowText(const std::string& caption, const std::string& heading) override {
    Shown = caption + "|" + heading;
  }
  void Idle() override { ++Idles; }
  bool CancelRequested() override { return CancelWhen && CancelWhen(); }
  void Finished() override { ++Finishes; }
  std::string Shown;
  int Idles = 0;
  int Finishes = 0;
  std::function<bool()> CancelWhen;
};

std::string Body(size_t size) {
  std::string body;
  for (size_t i = 0; i < size; ++i) body += static_cast<char>('a' + i % 26);
  return body;
}

TEST(Download, ServerAnswers) {
  const std::string body = Body(1000);
  const std::string ok = "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\nContent-Length: 5\r\n\r\n";
  struct Row {
    test::tScript Script;
    bool Result;
    std::string Written;
    const char* Note;
  } rows[] = {
      {{test::ReadRequest(), test::Send(ok + body), test::Close()},
       true,
       body,
       "the whole body up to the close, whatever Content-Length says"},
      {{test::ReadRequest(), test::Send("HTTP/1.1 404 Not Found\r\n\r\nmissing"), test::Close()},
       false,
       "",
       "a status without 200 fails even with a body"},
      {{test::ReadRequest(), test::Close()}, true, "", "closed before a byte: the header ends at once"},
      {test::Steps({{test::ReadRequest()}, test::Trickle(ok + body, 7, 1), {test::Close()}}), true, body,
       "a slow server in small pieces"},
      {{test::ReadRequest(), test::Send("HTTP/1.0 40"), test::Close()},
       true,
       "",
       "a line cut short counts as empty: no status to reject"},
      {{test::ReadRequest(), test::Send("ICY 404 Nope\r\nX: y\r\n\r\nbody"), test::Close()},
       true,
       "body",
       "only lines beginning HTTP/ are checked"},
      {{test::ReadRequest(), test::Send("HTTP/1.0 200 OK\r\n" + std::string(70000, 'x') + "\r\n\r\n"),
        test::Close()},
       false,
       "",
       "an endless header is refused"},
  };
  for (const Row& row : rows) {
    tScriptServer server(row.Script);
    ASSERT_TRUE(server.Listening());
    tTestView view;
    std::ostringstream out;
    out << "kept:";
    EXPECT_EQ(DownloadToStream(view, "Heading", "Caption", server.URL("/dynamic/streams.dat"), out),
              row.Result)
        << row.Note;
    EXPECT_EQ(out.str(), "kept:" + row.Written) << row.Note;
    EXPECT_EQ(view.Shown, "Caption|Heading") << row.Note;
    EXPECT_EQ(view.Finishes, 1) << row.Note;
    EXPECT_NE(server.Received(0).find("GET /dynamic/streams.dat HTTP/1.1\r\n"), std::string::npos)
        << row.Note;
  }
}

TEST(Download, RefusedConnection) {
  test::tRefusingPort port;
  tTestView view;
  std::ostringstream out;
  EXPECT_FALSE(
      DownloadToStream(view, "h", "c", "http://127.0.0.1:" + std::to_string(port.Port()) + "/", out));
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(view.Finishes, 1);
}

TEST(Download, CancelDuringTheBodyKeepsWhatArrived) {
  const std::string body = Body(1000);
  tScriptServer server({test::ReadRequest(), test::Send("HTTP/1.0 200 OK\r\n\r\n" + body), test::Stall()});
  tTestView view;
  std::ostringstream out;
  int idlesAfterCancel = 0;
  view.CancelWhen = [&] {
    bool cancel = out.str().size() >= 512;
    idlesAfterCancel += cancel;
    return cancel;
  };
  EXPECT_TRUE(DownloadToStream(view, "h", "c", server.URL("/"), out));
  EXPECT_GE(out.str().size(), 512u);
  EXPECT_EQ(out.str(), body.substr(0, out.str().size())) << "the bytes received so far, in order";
  // A cancel that is not acted on would idle on (every 50 ms) until the 15-second receive time-out.
  EXPECT_LT(idlesAfterCancel, 20);
}

TEST(Download, CancelDuringConnectFails) {
  test::tSilentPort port;
  tTestView view;
  view.CancelWhen = [&view] { return view.Idles >= 3; };
  std::ostringstream out;
  EXPECT_FALSE(
      DownloadToStream(view, "h", "c", "http://127.0.0.1:" + std::to_string(port.Port()) + "/", out));
  EXPECT_EQ(out.str(), "");
}

TEST(Download, OversizedBodyIsRefused) {
  tScriptServer server({test::ReadRequest(),
                        test::Send("HTTP/1.0 200 OK\r\n\r\n" + std::string(kMaxDownloadBytes + 1, 'z')),
                        test::Close()});
  tTestView view;
  std::ostringstream out;
  EXPECT_FALSE(DownloadToStream(view, "h", "c", server.URL("/"), out));
}

}  // namespace
}  // namespace ktv
