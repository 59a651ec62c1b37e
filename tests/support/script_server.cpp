#include "support/script_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace ktv::test {

namespace {

// Every wait of the server is cut into slices this long so that stopping it never waits on a client.
constexpr int kSliceMs = 20;
// A request header longer than this is cut off: the test server must not grow without end.
constexpr size_t kMaxRequest = 1 << 20;

// A socket bound to 127.0.0.1 (or ::1) on a free port; -1 on failure.
int BindLoopback(uint16_t& Port, bool IPv6 = false) {
  int fd = ::socket(IPv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_storage address{};
  socklen_t length = 0;
  if (IPv6) {
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
    v6->sin6_family = AF_INET6;
    v6->sin6_addr = in6addr_loopback;
    length = sizeof *v6;
  } else {
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
    v4->sin_family = AF_INET;
    v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    length = sizeof *v4;
  }
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    return -1;
  }
  Port = ntohs(IPv6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                    : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
  return fd;
}

// OpenSSL writes with write(), which raises SIGPIPE when the client has gone: a player thread keeps that
// signal blocked, so the write fails with EPIPE instead of ending the test program.
void BlockBrokenPipeSignal() {
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
}

ssl_ctx_st* MakeTlsContext(const tServerOptions& Options) {
  if (Options.CertFile.empty() || Options.KeyFile.empty()) return nullptr;
  SSL_CTX* context = SSL_CTX_new(TLS_server_method());
  if (!context) return nullptr;
  if (SSL_CTX_use_certificate_chain_file(context, Options.CertFile.c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(context, Options.KeyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
    SSL_CTX_free(context);
    return nullptr;
  }
  SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  return context;
}

int PollOne(int fd, short Events, int Ms) {
  pollfd p{fd, Events, 0};
  int r = ::poll(&p, 1, Ms);
  return r <= 0 ? r : p.revents;
}

}  // namespace

tScriptStep Send(std::string Bytes) {
  return {tScriptStep::tKind::Send, std::move(Bytes), 0};
}
tScriptStep Pause(int Ms) {
  return {tScriptStep::tKind::Pause, {}, Ms};
}
tScriptStep ReadRequest() {
  return {tScriptStep::tKind::ReadRequest, {}, 0};
}
tScriptStep Stall() {
  return {tScriptStep::tKind::Stall, {}, 0};
}
tScriptStep Ignore() {
  return {tScriptStep::tKind::Ignore, {}, 0};
}
tScriptStep Close() {
  return {tScriptStep::tKind::Close, {}, 0};
}
tScriptStep Drop() {
  return {tScriptStep::tKind::Drop, {}, 0};
}

tScriptStep Reset() {
  return {tScriptStep::tKind::Reset, {}, 0};
}

std::vector<tScriptStep> Trickle(const std::string& Bytes, size_t ChunkSize, int PauseMs) {
  std::vector<tScriptStep> steps;
  if (ChunkSize == 0) ChunkSize = 1;
  for (size_t at = 0; at < Bytes.size(); at += ChunkSize) {
    steps.push_back(Send(Bytes.substr(at, ChunkSize)));
    steps.push_back(Pause(PauseMs));
  }
  return steps;
}

tScript Steps(std::initializer_list<std::vector<tScriptStep>> Pieces) {
  tScript script;
  for (const auto& piece : Pieces) script.insert(script.end(), piece.begin(), piece.end());
  return script;
}

tScriptServer::tScriptServer(tScript Script, const tServerOptions& Options)
    : tScriptServer(std::vector<tScript>{std::move(Script)}, Options) {}

tScriptServer::tScriptServer(std::vector<tScript> Scripts, const tServerOptions& Options)
    : Scripts(std::move(Scripts)), IPv6(Options.IPv6) {
  if (this->Scripts.empty()) this->Scripts.push_back({});
  bool wantsTls = !Options.CertFile.empty() || !Options.KeyFile.empty();
  TlsContext = MakeTlsContext(Options);
  if (wantsTls && !TlsContext) return;  // not listening: the test fails on it
  ListenFd = BindLoopback(ListenPort, IPv6);
  if (ListenFd >= 0 && ::listen(ListenFd, 16) != 0) {
    ::close(ListenFd);
    ListenFd = -1;
  }
  if (ListenFd >= 0) Acceptor = std::thread([this] { Accept(); });
}

tScriptServer::~tScriptServer() {
  Stopping = true;
  Changed.notify_all();
  if (Acceptor.joinable()) Acceptor.join();
  // The acceptor has ended, so the list no longer grows.
  for (auto& connection : Accepted) {
    if (connection->Player.joinable()) connection->Player.join();
  }
  if (ListenFd >= 0) ::close(ListenFd);
  if (TlsContext) SSL_CTX_free(TlsContext);
}

std::string tScriptServer::URL(const std::string& Path) const {
  return std::string(TlsContext ? "https" : "http") + "://" + (IPv6 ? "[::1]" : "127.0.0.1") + ":" +
         std::to_string(ListenPort) + Path;
}

std::string tScriptServer::ServerName(int Index) const {
  std::lock_guard<std::mutex> lock(Lock);
  if (Index < 0 || Index >= static_cast<int>(Accepted.size())) return {};
  return Accepted[Index]->ServerName;
}

int tScriptServer::Connections() const {
  std::lock_guard<std::mutex> lock(Lock);
  return static_cast<int>(Accepted.size());
}

std::string tScriptServer::Received(int Index) const {
  std::lock_guard<std::mutex> lock(Lock);
  if (Index < 0 || Index >= static_cast<int>(Accepted.size())) return {};
  return Accepted[Index]->Received;
}

bool tScriptServer::Finished(int Index) const {
  std::lock_guard<std::mutex> lock(Lock);
  return Index >= 0 && Index < static_cast<int>(Accepted.size()) && Accepted[Index]->Done;
}

bool tScriptServer::WaitForConnections(int Count, int Ms) const {
  std::unique_lock<std::mutex> lock(Lock);
  return Changed.wait_for(lock, std::chrono::milliseconds(Ms),
                          [&] { return static_cast<int>(Accepted.size()) >= Count; });
}

bool tScriptServer::WaitForFinished(int Index, int Ms) const {
  std::unique_lock<std::mutex> lock(Lock);
  return Changed.wait_for(lock, std::chrono::milliseconds(Ms), [&] {
    return Index >= 0 && Index < static_cast<int>(Accepted.size()) && Accepted[Index]->Done;
  });
}

void tScriptServer::Accept() {
  while (!Stopping) {
    if (PollOne(ListenFd, POLLIN, kSliceMs) <= 0) continue;
    int fd = ::accept4(ListenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard<std::mutex> lock(Lock);
    size_t index = Accepted.size();
    const tScript& script = Scripts[std::min(index, Scripts.size() - 1)];
    auto connection = std::make_unique<tConnection>();
    connection->Fd = fd;
    tConnection& playing = *connection;
    Accepted.push_back(std::move(connection));
    playing.Player = std::thread([this, &playing, &script] { Play(playing, script); });
    Changed.notify_all();
  }
}

bool tScriptServer::Collect(tConnection& Connection, int Ms) {
  if (Stopping) return false;
  bool pending = Connection.Tls && SSL_pending(Connection.Tls) > 0;
  int ready = pending ? POLLIN : PollOne(Connection.Fd, POLLIN, Ms);
  if (ready <= 0) return !Stopping;
  char buffer[4096];
  ssize_t n;
  if (Connection.Tls) {
    ERR_clear_error();
    n = SSL_read(Connection.Tls, buffer, sizeof buffer);
    if (n <= 0) {
      int error = SSL_get_error(Connection.Tls, static_cast<int>(n));
      return error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE;
    }
  } else {
    n = ::recv(Connection.Fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0) return errno == EAGAIN || errno == EINTR;
    if (n == 0) return false;
  }
  std::lock_guard<std::mutex> lock(Lock);
  if (Connection.Received.size() < kMaxRequest) Connection.Received.append(buffer, static_cast<size_t>(n));
  return true;
}

bool tScriptServer::SendAll(tConnection& Connection, const std::string& Bytes) {
  size_t sent = 0;
  while (sent < Bytes.size()) {
    if (Stopping) return false;
    int ready = PollOne(Connection.Fd, POLLOUT, kSliceMs);
    if (ready < 0 || (ready & (POLLERR | POLLHUP))) return false;
    if (ready == 0) {
      Collect(Connection, 0);  // a client that sends while we send must not block us both
      continue;
    }
    ssize_t n;
    if (Connection.Tls) {
      ERR_clear_error();
      n = SSL_write(Connection.Tls, Bytes.data() + sent,
                    static_cast<int>(std::min<size_t>(Bytes.size() - sent, 1 << 20)));
      if (n <= 0) {
        int error = SSL_get_error(Connection.Tls, static_cast<int>(n));
        if (error != SSL_ERROR_WANT_WRITE && error != SSL_ERROR_WANT_READ) return false;
        Collect(Connection, 0);
        continue;
      }
    } else {
      n = ::send(Connection.Fd, Bytes.data() + sent, Bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    }
    if (n > 0) sent += static_cast<size_t>(n);
  }
  return true;
}

bool tScriptServer::Handshake(tConnection& Connection) {
  BlockBrokenPipeSignal();
  ::fcntl(Connection.Fd, F_SETFL, ::fcntl(Connection.Fd, F_GETFL) | O_NONBLOCK);
  Connection.Tls = SSL_new(TlsContext);
  if (!Connection.Tls || SSL_set_fd(Connection.Tls, Connection.Fd) != 1) return false;
  for (;;) {
    if (Stopping) return false;
    ERR_clear_error();
    int r = SSL_accept(Connection.Tls);
    if (r == 1) break;
    int error = SSL_get_error(Connection.Tls, r);
    if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) return false;
    if (PollOne(Connection.Fd, error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, kSliceMs) < 0) return false;
  }
  const char* name = SSL_get_servername(Connection.Tls, TLSEXT_NAMETYPE_host_name);
  std::lock_guard<std::mutex> lock(Lock);
  Connection.ServerName = name ? name : "";
  return true;
}

void tScriptServer::EndTls(tConnection& Connection) {
  if (!Connection.Tls) return;
  SSL_free(Connection.Tls);
  Connection.Tls = nullptr;
}

void tScriptServer::Play(tConnection& Connection, const tScript& Script) {
  bool open = !TlsContext || Handshake(Connection);
  bool reset = false;
  for (const tScriptStep& step : Script) {
    if (!open || Stopping) break;
    switch (step.Kind) {
      case tScriptStep::tKind::Send:
        open = SendAll(Connection, step.Bytes);
        break;
      case tScriptStep::tKind::Pause: {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(step.Ms);
        while (open && std::chrono::steady_clock::now() < until) open = Collect(Connection, kSliceMs);
        break;
      }
      case tScriptStep::tKind::ReadRequest:
        while (open) {
          {
            std::lock_guard<std::mutex> lock(Lock);
            if (Connection.Received.find("\r\n\r\n") != std::string::npos ||
                Connection.Received.find("\n\n") != std::string::npos ||
                Connection.Received.size() >= kMaxRequest)
              break;
          }
          open = Collect(Connection, kSliceMs);
        }
        break;
      case tScriptStep::tKind::Stall:
        while (open) open = Collect(Connection, kSliceMs);
        break;
      case tScriptStep::tKind::Ignore:
        while (!Stopping) std::this_thread::sleep_for(std::chrono::milliseconds(kSliceMs));
        open = false;
        break;
      case tScriptStep::tKind::Close:
      case tScriptStep::tKind::Drop:
        // The TLS goodbye (unless dropped), then the end of the connection.
        if (Connection.Tls && step.Kind == tScriptStep::tKind::Close) SSL_shutdown(Connection.Tls);
        ::shutdown(Connection.Fd, SHUT_WR);
        // Keep reading until the client closes: closing with unread bytes would send a reset instead.
        while (open) open = Collect(Connection, kSliceMs);
        break;
      case tScriptStep::tKind::Reset: {
        linger abort{1, 0};
        ::setsockopt(Connection.Fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        reset = true;
        open = false;
        break;
      }
    }
  }
  if (!reset && open) {
    // The script ended without saying how: end in order, as a server that has said all it had to.
    if (Connection.Tls) SSL_shutdown(Connection.Tls);
    ::shutdown(Connection.Fd, SHUT_WR);
    while (open) open = Collect(Connection, kSliceMs);
  }
  EndTls(Connection);
  ::close(Connection.Fd);
  std::lock_guard<std::mutex> lock(Lock);
  Connection.Done = true;
  Changed.notify_all();
}

tRefusingPort::tRefusingPort() {
  Fd = BindLoopback(BoundPort);
}

tRefusingPort::~tRefusingPort() {
  if (Fd >= 0) ::close(Fd);
}

tSilentPort::tSilentPort() {
  ListenFd = BindLoopback(ListenPort);
  if (ListenFd < 0) return;
  // A backlog of 0 holds one finished handshake; the filler takes it, and later requests are dropped
  // unanswered.
  if (::listen(ListenFd, 0) != 0) return;
  FillerFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(ListenPort);
  if (FillerFd < 0 || ::connect(FillerFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return;
  // Make sure the filler sits in the accept queue before anyone relies on the port being silent
  // (on a listening socket the kernel reports the queue length as tcpi_unacked).
  for (int waited = 0; waited < 1000; waited += 5) {
    tcp_info info{};
    socklen_t length = sizeof info;
    if (::getsockopt(ListenFd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0 || info.tcpi_unacked >= 1) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

tSilentPort::~tSilentPort() {
  if (FillerFd >= 0) ::close(FillerFd);
  if (ListenFd >= 0) ::close(ListenFd);
}

}  // namespace ktv::test
