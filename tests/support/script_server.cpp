#include "support/script_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace ktv::test {

namespace {

// Every wait of the server is cut into slices this long so that stopping it never waits on a client.
constexpr int kSliceMs = 20;
// A request header longer than this is cut off: the test server must not grow without end.
constexpr size_t kMaxRequest = 1 << 20;

// A socket bound to 127.0.0.1 on a free port; -1 on failure.
int BindLoopback(uint16_t& Port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    return -1;
  }
  Port = ntohs(address.sin_port);
  return fd;
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

tScriptServer::tScriptServer(tScript Script) : tScriptServer(std::vector<tScript>{std::move(Script)}) {}

tScriptServer::tScriptServer(std::vector<tScript> Scripts) : Scripts(std::move(Scripts)) {
  if (this->Scripts.empty()) this->Scripts.push_back({});
  ListenFd = BindLoopback(ListenPort);
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
}

std::string tScriptServer::URL(const std::string& Path) const {
  return "http://127.0.0.1:" + std::to_string(ListenPort) + Path;
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
  int ready = PollOne(Connection.Fd, POLLIN, Ms);
  if (ready <= 0) return !Stopping;
  char buffer[4096];
  ssize_t n = ::recv(Connection.Fd, buffer, sizeof buffer, MSG_DONTWAIT);
  if (n < 0) return errno == EAGAIN || errno == EINTR;
  if (n == 0) return false;
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
    ssize_t n = ::send(Connection.Fd, Bytes.data() + sent, Bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    if (n > 0) sent += static_cast<size_t>(n);
  }
  return true;
}

void tScriptServer::Play(tConnection& Connection, const tScript& Script) {
  bool open = true;
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
    ::shutdown(Connection.Fd, SHUT_WR);
    while (open) open = Collect(Connection, kSliceMs);
  }
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
