// A loopback TCP server for tests that plays a script on every connection it accepts: send bytes, pause,
// read the client's request, stall, close in order or reset. It stands in for ICY and HTTP servers, slow
// servers, servers that accept and say nothing and servers that close early.
//
// It listens on 127.0.0.1 (or on [::1]) only, on a free port chosen by the system, and may speak TLS with a
// certificate of the test authority (support/test_authority.h) for https tests. Everything the client sends
// is kept per connection and can be read by the test. The destructor stops the server: it closes every
// connection, wakes every wait and joins every thread it started.
//
//   tScriptServer server({ReadRequest(), Send("ICY 200 OK\r\n\r\n"), Pause(100), Send(bytes), Close()});
//   ... connect to server.Port() or open server.URL("/live.ogg") ...
//   EXPECT_NE(server.Received(0).find("GET /live.ogg"), std::string::npos);
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ssl_st;
struct ssl_ctx_st;

namespace ktv::test {

// Where and how the server listens.
struct tServerOptions {
  bool IPv6 = false;  // on [::1] instead of 127.0.0.1
  // Both set: every connection speaks TLS with this certificate (PEM files), as an https server.
  std::string CertFile, KeyFile;
};

struct tScriptStep {
  enum class tKind { Send, Pause, ReadRequest, Stall, Ignore, Close, Reset, Drop };
  tKind Kind;
  std::string Bytes;  // Send
  int Ms = 0;         // Pause
};
using tScript = std::vector<tScriptStep>;

// Sends the bytes (all of them, as fast as the client takes them).
tScriptStep Send(std::string Bytes);
// Waits, still collecting what the client sends.
tScriptStep Pause(int Ms);
// Reads until the empty line that ends an HTTP header (or until the client closes); the text is kept.
tScriptStep ReadRequest();
// Says nothing until the client closes or the server stops.
tScriptStep Stall();
// Neither reads nor sends until the server stops: a peer whose receive window fills up.
tScriptStep Ignore();
// Ends the connection in order (FIN), then waits for the client to close its side.
tScriptStep Close();
// Ends the connection abortively (RST).
tScriptStep Reset();
// Ends the connection in order (FIN) but, over TLS, without the TLS goodbye: a connection cut on the way.
tScriptStep Drop();
// The bytes in pieces of ChunkSize with a pause after each: a slow server.
std::vector<tScriptStep> Trickle(const std::string& Bytes, size_t ChunkSize, int PauseMs);
// Joins script pieces: Steps({ReadRequest()}, Trickle(...), {Close()}).
tScript Steps(std::initializer_list<std::vector<tScriptStep>> Pieces);

class tScriptServer {
 public:
  // One script for every connection.
  explicit tScriptServer(tScript Script, const tServerOptions& Options = {});
  // Connection i plays Scripts[i]; connections beyond the list play the last script.
  explicit tScriptServer(std::vector<tScript> Scripts, const tServerOptions& Options = {});
  ~tScriptServer();
  tScriptServer(const tScriptServer&) = delete;
  tScriptServer& operator=(const tScriptServer&) = delete;

  // False when no listening socket could be made (the tests then fail on it).
  bool Listening() const { return ListenFd >= 0; }
  uint16_t Port() const { return ListenPort; }
  // "http://127.0.0.1:<port>" + Path ("https://" with TLS, "[::1]" on IPv6).
  std::string URL(const std::string& Path = "/") const;

  // Connections accepted so far.
  int Connections() const;
  // What the client sent on connection Index so far ("" for a connection not yet made).
  std::string Received(int Index) const;
  // True once connection Index has played its whole script (or was ended by the client).
  bool Finished(int Index) const;
  // The server name the client indicated in its TLS greeting on connection Index ("" for none).
  std::string ServerName(int Index) const;
  // Waits up to Ms for Count connections to be accepted / for connection Index to finish its script.
  bool WaitForConnections(int Count, int Ms) const;
  bool WaitForFinished(int Index, int Ms) const;

 private:
  struct tConnection {
    int Fd = -1;
    ssl_st* Tls = nullptr;   // the player thread's own
    std::string Received;    // guarded by the server's Lock
    std::string ServerName;  // guarded by the server's Lock
    bool Done = false;       // guarded by the server's Lock
    std::thread Player;
  };
  void Accept();
  void Play(tConnection& Connection, const tScript& Script);
  bool SendAll(tConnection& Connection, const std::string& Bytes);
  // Reads what is there within Ms; false when the client closed or the server stops.
  bool Collect(tConnection& Connection, int Ms);
  // The TLS greeting of a new connection; false when it failed (the client refused us, or went).
  bool Handshake(tConnection& Connection);
  void EndTls(tConnection& Connection);

  std::vector<tScript> Scripts;
  bool IPv6 = false;
  ssl_ctx_st* TlsContext = nullptr;  // null for plain TCP
  int ListenFd = -1;
  uint16_t ListenPort = 0;
  std::atomic<bool> Stopping{false};
  mutable std::mutex Lock;
  mutable std::condition_variable Changed;
  std::vector<std::unique_ptr<tConnection>> Accepted;  // guarded by Lock
  std::thread Acceptor;
};

// A loopback port with nothing listening: every connect to it is refused for as long as the object lives
// (the port is held by a bound socket that never listens, so no other program can take it meanwhile).
class tRefusingPort {
 public:
  tRefusingPort();
  ~tRefusingPort();
  tRefusingPort(const tRefusingPort&) = delete;
  tRefusingPort& operator=(const tRefusingPort&) = delete;
  uint16_t Port() const { return BoundPort; }

 private:
  int Fd = -1;
  uint16_t BoundPort = 0;
};

// A loopback port whose listener never answers new connections: its accept queue is kept full, so the
// system drops further connection requests and a connect waits until it is given up. For connect time-outs.
class tSilentPort {
 public:
  tSilentPort();
  ~tSilentPort();
  tSilentPort(const tSilentPort&) = delete;
  tSilentPort& operator=(const tSilentPort&) = delete;
  uint16_t Port() const { return ListenPort; }

 private:
  int ListenFd = -1;
  int FillerFd = -1;
  uint16_t ListenPort = 0;
};

}  // namespace ktv::test
