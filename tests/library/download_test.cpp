#include "library/download.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "support/script_server.h"
#include "support/test_authority.h"

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
  const std::string plain = "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n";
  const std::string sized = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n";
  struct Row {
    test::tScript Script;
    bool Result;
    std::string Written;
    const char* Note;
  } rows[] = {
      {{test::ReadRequest(), test::Send(ok + body), test::Close()},
       true,
       body.substr(0, 5),
       "Content-Length ends the body"},
      {{test::ReadRequest(), test::Send(plain + body), test::Close()},
       true,
       body,
       "without a length, the whole body up to the close"},
      {{test::ReadRequest(), test::Send(sized + body.substr(0, 600)), test::Close()},
       false,
       body.substr(0, 600),
       "fewer bytes than Content-Length: cut short"},
      {{test::ReadRequest(), test::Send(sized + body), test::Stall()},
       true,
       body,
       "all of Content-Length is the end, whether or not the server closes"},
      {{test::ReadRequest(), test::Send(plain + body.substr(0, 600)), test::Reset()},
       false,
       body.substr(0, 600),
       "a reset is no end of the body"},
      {{test::ReadRequest(),
        test::Send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n" + body),
        test::Close()},
       false,
       "",
       "lengths that disagree"},
      {{test::ReadRequest(), test::Send("HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n" + body),
        test::Close()},
       false,
       "",
       "a length that is no size"},
      {{test::ReadRequest(),
        test::Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nabcde\r\n0\r\n\r\n"),
        test::Close()},
       true,
       "abcde",
       "chunk framing never lands in the document"},
      {{test::ReadRequest(), test::Send("HTTP/1.1 404 Not Found\r\n\r\nmissing"), test::Close()},
       false,
       "",
       "a status without 200 fails even with a body"},
      {{test::ReadRequest(), test::Close()}, false, "", "closed before a byte: no answer at all"},
      {test::Steps({{test::ReadRequest()}, test::Trickle(plain + body, 7, 1), {test::Close()}}), true, body,
       "a slow server in small pieces"},
      {{test::ReadRequest(), test::Send("HTTP/1.0 40"), test::Close()}, false, "", "a status line cut short"},
      {{test::ReadRequest(), test::Send("HTTP/1.0 200 OK\r\nServer: x"), test::Close()},
       false,
       "",
       "a header cut short"},
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

// The body in chunks of `size` bytes (the last one shorter), each size line with an extension now and then.
std::string Chunked(const std::string& body, size_t size) {
  std::string framed;
  char line[64];
  for (size_t at = 0; at < body.size(); at += size) {
    const size_t n = std::min(size, body.size() - at);
    std::snprintf(line, sizeof line, at % (3 * size) == 0 ? "%zx;name=value\r\n" : "%zX\r\n", n);
    framed += line + body.substr(at, n) + "\r\n";
  }
  return framed;
}

TEST(Download, ChunkedBodiesAreDecoded) {
  const std::string listing = "<?xml version=\"1.0\"?>\n<dir>" + Body(200000) + "</dir>\n";
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nTransfer-Encoding: chunked\r\n\r\n";
  const std::string framed = Chunked(listing, 5000);
  const std::string last = "0\r\n\r\n";
  // 7000 framed bytes: the first chunk (17-byte size line with its extension, 5000 bytes, CRLF), the second
  // one's 6-byte size line, and 1975 of its bytes.
  const size_t kInsideSecond = 5000 + (7000 - 5019 - 6);
  struct Row {
    test::tScript Script;
    bool Result;
    std::string Written;
    const char* Note;
  } rows[] = {
      {{test::ReadRequest(), test::Send(head + framed + last), test::Stall()},
       true,
       listing,
       "the listing arrives whole; the last chunk ends it while the server keeps the connection"},
      {test::Steps({{test::ReadRequest()},
                    test::Trickle(head + Chunked(listing.substr(0, 3000), 700) + last, 5, 1),
                    {test::Stall()}}),
       true, listing.substr(0, 3000), "sizes and data split anywhere"},
      {{test::ReadRequest(),
        test::Send("HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n" + framed +
                   last),
        test::Close()},
       true,
       listing,
       "a Content-Length beside the chunks says nothing"},
      {{test::ReadRequest(), test::Send(head + framed + "0\r\nX-Trailer: 1\r\n\r\n"), test::Stall()},
       true,
       listing,
       "trailer lines after the last chunk"},
      {{test::ReadRequest(), test::Send(head + "5\r\nabcde\r\nzz\r\nmore\r\n0\r\n\r\n"), test::Close()},
       false,
       "abcde",
       "a chunk size that is no hex number"},
      {{test::ReadRequest(), test::Send(head + "5\r\nabcdefgh\r\n0\r\n\r\n"), test::Close()},
       false,
       "abcde",
       "a chunk longer than its size"},
      {{test::ReadRequest(), test::Send(head + "1" + std::string(2000, '0') + "\r\nx"), test::Close()},
       false,
       "",
       "an endless size line"},
      {{test::ReadRequest(), test::Send(head + framed), test::Close()},
       false,
       listing,
       "the connection ends before the last chunk"},
      {{test::ReadRequest(), test::Send(head + framed.substr(0, 7000)), test::Close()},
       false,
       listing.substr(0, kInsideSecond),
       "the connection ends inside a chunk"},
      {{test::ReadRequest(), test::Send(head + framed.substr(0, 7000)), test::Reset()},
       false,
       listing.substr(0, kInsideSecond),
       "a reset inside a chunk"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Note);
    tScriptServer server(row.Script);
    ASSERT_TRUE(server.Listening());
    tTestView view;
    std::ostringstream out;
    EXPECT_EQ(DownloadToStream(view, "Heading", "Caption", server.URL("/yp.xml"), out), row.Result);
    EXPECT_EQ(out.str().size(), row.Written.size());
    EXPECT_TRUE(out.str() == row.Written) << "the decoded bytes, nothing of the framing";
    EXPECT_EQ(view.Finishes, 1);
  }
}

TEST(Download, ChunkedBodyBeyondTheBoundIsRefused) {
  // One chunk announcing more than the bound, and sending it: the decoded bytes are counted.
  const size_t size = static_cast<size_t>(kMaxDownloadBytes) + 1;
  char line[32];
  std::snprintf(line, sizeof line, "%zx\r\n", size);
  tScriptServer server({test::ReadRequest(),
                        test::Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" +
                                   std::string(line) + std::string(size, 'z') + "\r\n0\r\n\r\n"),
                        test::Close()});
  tTestView view;
  std::ostringstream out;
  EXPECT_FALSE(DownloadToStream(view, "h", "c", server.URL("/"), out));
  EXPECT_LE(out.str().size(), static_cast<size_t>(kMaxDownloadBytes) + (16u << 10));
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
  const std::string body = Body(40000);  // more than two blocks
  tScriptServer server({test::ReadRequest(), test::Send("HTTP/1.0 200 OK\r\n\r\n" + body), test::Stall()});
  tTestView view;
  std::ostringstream out;
  int idlesAfterCancel = 0;
  view.CancelWhen = [&] {
    bool cancel = out.str().size() >= (16u << 10);
    idlesAfterCancel += cancel;
    return cancel;
  };
  EXPECT_TRUE(DownloadToStream(view, "h", "c", server.URL("/"), out));
  EXPECT_GE(out.str().size(), 16u << 10);
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

std::string Moved(int status, const std::string& location) {
  return "HTTP/1.1 " + std::to_string(status) + " Moved\r\nLocation: " + location + "\r\n\r\nsee there";
}

test::tScript Answer(const std::string& bytes) {
  return {test::ReadRequest(), test::Send(bytes), test::Close()};
}

TEST(Download, FollowsRedirects) {
  const std::string body = Body(300);
  const std::string ok = "HTTP/1.0 200 OK\r\n\r\n" + body;
  // Server b is asked as "localhost": another host than the 127.0.0.1 the download starts from.
  tScriptServer b(Answer(ok));
  const std::string elsewhere = "http://localhost:" + std::to_string(b.Port()) + "/there";
  const struct {
    std::vector<std::string> Answers;  // of the first server, one per connection
    bool Result;
    const char* Note;
  } rows[] = {
      {{Moved(302, "here/../doc.xml"), ok}, true, "a relative Location"},
      {{Moved(307, "/1"), Moved(301, elsewhere)}, true, "an absolute Location on another host"},
      {{Moved(302, "/other"), Moved(302, "/start"), ok}, false, "a loop must be refused"},
      {{"HTTP/1.1 302 Found\r\n\r\nno Location"}, false, "a redirect status without a Location is no 200"},
  };
  for (const auto& row : rows) {
    std::vector<test::tScript> scripts;
    for (const std::string& answer : row.Answers) scripts.push_back(Answer(answer));
    tScriptServer a(scripts);
    tTestView view;
    std::ostringstream out;
    std::string url = a.URL("/start");
    url.insert(url.find("//") + 2, "user:secret@");
    EXPECT_EQ(DownloadToStream(view, "h", "c", url, out), row.Result) << row.Note;
    EXPECT_EQ(out.str(), row.Result ? body : "") << row.Note << ": only the last answer's body is written";
    for (int i = 0; i < a.Connections(); ++i)
      EXPECT_NE(a.Received(i).find("Authorization: Basic"), std::string::npos)
          << row.Note << ": the same host";
  }
  for (int i = 0; i < b.Connections(); ++i)
    EXPECT_EQ(b.Received(i).find("Authorization"), std::string::npos) << "another host got the password";
  EXPECT_EQ(b.Connections(), 1);
}

TEST(Download, OverHttps) {
  ASSERT_TRUE(test::TestAuthority().Ready()) << test::TestAuthority().Error;
  test::tTrustTestAuthority trust;
  const std::string body = Body(5000);
  const struct {
    test::tServerIdentity Identity;
    bool Result;
    const char* Note;
  } rows[] = {
      {test::TestAuthority().Loopback(), true, "a trusted server"},
      {test::TestAuthority().OtherName(), false, "a certificate for another name"},
  };
  for (const auto& row : rows) {
    tScriptServer secure(Answer("HTTP/1.0 200 OK\r\n\r\n" + body),
                         test::tServerOptions{false, row.Identity.CertFile, row.Identity.KeyFile});
    tScriptServer plain(Answer(Moved(302, secure.URL("/dynamic/streams.dat"))));
    for (const std::string& url : {secure.URL("/dynamic/streams.dat"), plain.URL("/old")}) {
      tTestView view;
      std::ostringstream out;
      EXPECT_EQ(DownloadToStream(view, "h", "c", url, out), row.Result) << row.Note << " " << url;
      EXPECT_EQ(out.str(), row.Result ? body : "") << row.Note << " " << url;
    }
  }
}

// Counts the writes that reach it: one per block the download hands over.
class tCountingBuffer : public std::stringbuf {
 public:
  int Writes = 0;

 protected:
  std::streamsize xsputn(const char* bytes, std::streamsize count) override {
    ++Writes;
    return std::stringbuf::xsputn(bytes, count);
  }
};

TEST(Download, ReadsInLargeBlocks) {
  const std::string body = Body(1u << 20);
  tScriptServer server(Answer("HTTP/1.0 200 OK\r\n\r\n" + body));
  tTestView view;
  tCountingBuffer buffer;
  std::ostream out(&buffer);
  ASSERT_TRUE(DownloadToStream(view, "h", "c", server.URL("/"), out));
  EXPECT_EQ(buffer.str(), body);
  EXPECT_LE(buffer.Writes, static_cast<int>(body.size() / (16u << 10)) + 2) << "blocks of 16 KiB or more";
}

TEST(Download, CancelDuringTheHeaderFails) {
  tScriptServer server({test::ReadRequest(), test::Send("HTTP/1.0 200 OK\r\n"), test::Stall()});
  tTestView view;
  view.CancelWhen = [&view] { return view.Idles >= 3; };
  std::ostringstream out;
  EXPECT_FALSE(DownloadToStream(view, "h", "c", server.URL("/"), out));
  EXPECT_EQ(out.str(), "");
}

TEST(Download, OverHttpsTheEndMustBeTheServersOwn) {
  ASSERT_TRUE(test::TestAuthority().Ready()) << test::TestAuthority().Error;
  test::tTrustTestAuthority trust;
  const test::tServerIdentity identity = test::TestAuthority().Loopback();
  const std::string body = Body(3000);
  const struct {
    std::string Header;
    test::tScriptStep End;
    bool Result;
    const char* Note;
  } rows[] = {
      {"HTTP/1.0 200 OK\r\n\r\n", test::Close(), true, "no length, closed with the TLS goodbye"},
      {"HTTP/1.0 200 OK\r\n\r\n", test::Drop(), false, "no length, the connection ended without it"},
      {"HTTP/1.0 200 OK\r\nContent-Length: 3000\r\n\r\n", test::Drop(), true,
       "with a length, all of it arrived"},
  };
  for (const auto& row : rows) {
    tScriptServer secure({test::ReadRequest(), test::Send(row.Header + body), row.End},
                         test::tServerOptions{false, identity.CertFile, identity.KeyFile});
    tTestView view;
    std::ostringstream out;
    EXPECT_EQ(DownloadToStream(view, "h", "c", secure.URL("/"), out), row.Result) << row.Note;
    EXPECT_EQ(out.str(), body) << row.Note;
  }
}

TEST(Download, CredentialsNeverFollowARedirectToPlainHttp) {
  ASSERT_TRUE(test::TestAuthority().Ready()) << test::TestAuthority().Error;
  test::tTrustTestAuthority trust;
  const test::tServerIdentity identity = test::TestAuthority().Loopback();
  const std::string ok = "HTTP/1.0 200 OK\r\n\r\n" + Body(100);
  tScriptServer plain(Answer(ok));
  // The same host: only the scheme (and port) change.
  tScriptServer secure({Answer(Moved(302, "/again")), Answer(Moved(302, plain.URL("/doc")))},
                       test::tServerOptions{false, identity.CertFile, identity.KeyFile});
  std::string url = secure.URL("/start");
  url.insert(url.find("//") + 2, "user:secret@");
  tTestView view;
  std::ostringstream out;
  EXPECT_TRUE(DownloadToStream(view, "h", "c", url, out));
  ASSERT_EQ(secure.Connections(), 2);
  EXPECT_NE(secure.Received(1).find("Authorization: Basic"), std::string::npos)
      << "the same server keeps them";
  ASSERT_EQ(plain.Connections(), 1);
  EXPECT_EQ(plain.Received(0).find("Authorization"), std::string::npos) << "sent in clear after https";
}

}  // namespace
}  // namespace ktv
