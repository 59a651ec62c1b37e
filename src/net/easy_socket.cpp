#include "net/easy_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "net/tls_session.h"
#include "net/url.h"
#include "net/winsock_errors.h"
#include "platform/clock.h"
#include "platform/text.h"

namespace ktv {

namespace {

// Slice of a connect wait when it may be cut short or has an idle callback to run.
constexpr int kConnectSliceMs = 50;
// Bytes peeked by Connected to tell pending data from an orderly close.
constexpr size_t kPeekBytes = 8;
// A transfer step that could not go on until the socket is ready.
constexpr long kWouldBlock = -2;

int LastSystemError() {
  return WinsockErrorFromErrno(errno);
}

// Waits up to Ms for Events; returns poll's revents, 0 on a plain expiry, -1 on failure (errno set).
int WaitFor(int fd, short Events, int Ms) {
  pollfd p{fd, Events, 0};
  int r;
  do {
    r = ::poll(&p, 1, Ms);
  } while (r < 0 && errno == EINTR);
  if (r <= 0) return r;
  if (p.revents & POLLNVAL) {
    errno = EBADF;
    return -1;
  }
  return p.revents;
}

// A transfer step's result as ReadSome and WriteSome give it (see there), from a system call's.
long SystemStep(ssize_t Result, int& Error) {
  if (Result >= 0) return static_cast<long>(Result);
  if (errno == EAGAIN || errno == EINTR) return kWouldBlock;
  Error = LastSystemError();
  return -1;
}

// The same from a TLS step that did not end the session; Again: what the next step waits for after a
// transfer (POLLIN for reads, POLLOUT for writes).
long TlsStep(tTlsResult Result, size_t Moved, int Failure, short Again, short& Want, int& Error) {
  switch (Result) {
    case tTlsResult::Done:
      Want = Again;
      return static_cast<long>(Moved);
    case tTlsResult::WantRead:
      Want = POLLIN;
      return kWouldBlock;
    case tTlsResult::WantWrite:
      Want = POLLOUT;
      return kWouldBlock;
    default:
      Error = Failure;
      return -1;
  }
}

// Asks the system resolver for the stream addresses of a name in a family (AF_INET, or AF_UNSPEC for both),
// handing each IPv4 or IPv6 one to Each in the resolver's order. Returns 0 or the Winsock error number.
int LookUp(const std::string& Name, int Family, const std::function<void(const addrinfo&)>& Each) {
  addrinfo hints{};
  hints.ai_family = Family;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int code = ::getaddrinfo(Name.c_str(), nullptr, &hints, &found);
  int saved = errno;
  if (code != 0) return WinsockErrorFromResolver(code, saved);
  for (addrinfo* a = found; a; a = a->ai_next)
    if (a->ai_addr && (a->ai_family == AF_INET || a->ai_family == AF_INET6)) Each(*a);
  ::freeaddrinfo(found);
  return 0;
}

// A trimmed host that can be a name: not empty, no NUL inside.
bool UsableHost(const std::string& Host, std::string& Trimmed) {
  Trimmed = TrimText(Host);
  return !Trimmed.empty() && Trimmed.find('\0') == std::string::npos;
}

bool IsDottedAddress(const std::string& Host, in_addr& Address) {
  // inet_aton stops at the first blank and ignores the rest; a host with blanks inside is no dotted address.
  for (char c : Host)
    if (static_cast<unsigned char>(c) <= ' ') return false;
  return ::inet_aton(Host.c_str(), &Address) != 0;
}

// A numeric address (IPv4, or IPv6 with its zone) and a port as the system's address record.
bool MakeSocketAddress(const std::string& Address, uint16_t Port, sockaddr_storage& Remote,
                       socklen_t& Length) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (::getaddrinfo(Address.c_str(), std::to_string(Port).c_str(), &hints, &found) != 0) return false;
  bool made = found && found->ai_addr && found->ai_addrlen <= sizeof Remote;
  if (made) {
    Remote = {};
    std::memcpy(&Remote, found->ai_addr, found->ai_addrlen);
    Length = found->ai_addrlen;
  }
  ::freeaddrinfo(found);
  return made;
}

}  // namespace

int LookupHostAddresses(const std::string& Name, std::vector<std::string>& Addresses) {
  int code = LookUp(Name, AF_UNSPEC, [&](const addrinfo& a) {
    char text[NI_MAXHOST];
    if (::getnameinfo(a.ai_addr, a.ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST) != 0) return;
    if (std::find(Addresses.begin(), Addresses.end(), text) == Addresses.end()) Addresses.push_back(text);
  });
  return code != 0 ? code : Addresses.empty() ? WSANO_DATA : 0;
}

int ResolveHostAddresses(const std::string& Host, std::vector<std::string>& Addresses,
                         const tAddressLookup& Lookup) {
  Addresses.clear();
  std::string host;
  if (!UsableHost(Host, host)) return WSAHOST_NOT_FOUND;
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  in_addr dotted{};
  in6_addr literal{};
  char text[INET6_ADDRSTRLEN];
  if (IsDottedAddress(host, dotted) && ::inet_ntop(AF_INET, &dotted, text, sizeof text)) {
    Addresses.push_back(text);
    return 0;
  }
  if (::inet_pton(AF_INET6, host.c_str(), &literal) == 1) {
    Addresses.push_back(host);
    return 0;
  }
  int result = Lookup(host, Addresses);
  if (result == 0 && Addresses.empty()) result = WSANO_DATA;
  return result;
}

// Holds the open channel for the length of one operation: a Close meanwhile shuts it down at once but gives
// the descriptor (and its TLS session) back only when the last user is done.
class tEasySocket::tUse {
 public:
  explicit tUse(tEasySocket& Owner) : Socket(Owner) {
    std::lock_guard<std::mutex> lock(Socket.HandleLock);
    Fd = Socket.Open.Fd;
    Tls = Socket.Open.Tls.get();
    if (Fd != kNoSocket) ++Socket.Users;
  }
  ~tUse() {
    if (Fd == kNoSocket) return;
    std::vector<tChannel> closing;
    {
      std::lock_guard<std::mutex> lock(Socket.HandleLock);
      if (--Socket.Users == 0) closing.swap(Socket.PendingClose);
    }
    for (tChannel& channel : closing) {
      channel.Tls.reset();
      ::close(channel.Fd);
    }
  }
  tUse(const tUse&) = delete;
  tUse& operator=(const tUse&) = delete;
  int Fd;
  tTlsSession* Tls;  // null for plain TCP

 private:
  tEasySocket& Socket;
};

tEasySocket::tEasySocket(int TimeOutSeconds, bool DisableNagle, bool ConnectInThread, int Handle)
    : TimeOutSeconds(TimeOutSeconds), LeaveNagleOn(!DisableNagle), ConnectInThread(ConnectInThread) {
  Open.Fd = Handle < 0 ? kNoSocket : Handle;
}

tEasySocket::~tEasySocket() {
  Close();
}

int tEasySocket::Handle() const {
  std::lock_guard<std::mutex> lock(HandleLock);
  return Open.Fd;
}

bool tEasySocket::IsOpen() const {
  return Handle() != kNoSocket;
}

void tEasySocket::Close() {
  tChannel closing;
  {
    std::lock_guard<std::mutex> lock(HandleLock);
    if (Open.Fd == kNoSocket) return;
    // Shutting down wakes a wait on this handle in another thread (also a connect still in progress).
    ::shutdown(Open.Fd, SHUT_RDWR);
    if (Users > 0) {
      PendingClose.push_back(std::move(Open));
    } else {
      closing = std::move(Open);
    }
    Open = tChannel{};
  }
  closing.Tls.reset();
  if (closing.Fd != kNoSocket) ::close(closing.Fd);
}

void tEasySocket::Idle() {
  if (OnIdle) OnIdle(*this);
}

void tEasySocket::Fail(int Code) {
  LastErrorCode = Code;
  Close();
}

void tEasySocket::FailTimedOut() {
  Close();
  LastErrorCode = WSAETIMEDOUT;
  TimedOutFlag = true;
  Idle();
}

bool tEasySocket::TimeOutPassed(uint32_t Start) const {
  int limit = TimeOutSeconds;
  return limit > 0 && timeGetTime() - Start >= static_cast<uint32_t>(limit) * 1000u;
}

bool tEasySocket::Connect(uint16_t Port, const std::string& Host) {
  std::vector<std::string> addresses;
  int resolved =
      ResolveHostAddresses(Host, addresses, LookupAddresses ? LookupAddresses : LookupHostAddresses);
  if (resolved != 0) {
    Fail(resolved);
    return false;
  }

  TimedOutFlag = false;
  NoGoodbye = false;
  Close();
  SentTotal = 0;
  ReceivedTotal = 0;
  const int limit = TimeOutSeconds;
  const bool timed = ConnectInThread && limit > 0;
  const uint32_t total = timed ? static_cast<uint32_t>(limit) * 1000u : 0;
  const uint32_t start = timeGetTime();
  tConnectResult result = tConnectResult::Failed;
  for (size_t i = 0; i < addresses.size() && result != tConnectResult::Connected; ++i) {
    uint32_t share = 0;  // no limit of its own
    if (timed) {
      uint32_t used = timeGetTime() - start;
      if (used >= total) break;
      share = std::max<uint32_t>((total - used) / static_cast<uint32_t>(addresses.size() - i), 1);
    }
    result = ConnectAddress(addresses[i], Port, share);
    if (result == tConnectResult::Interrupted) return false;
  }
  if (result == tConnectResult::TimedOut) {
    FailTimedOut();
    return false;
  }
  if (result != tConnectResult::Connected) return false;  // the last address's failure is recorded
  if (!UseTLS) return true;
  std::string host;
  UsableHost(Host, host);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  return Handshake(host);
}

tEasySocket::tConnectResult tEasySocket::ConnectAddress(const std::string& Address, uint16_t Port,
                                                        uint32_t ShareMs) {
  sockaddr_storage remote{};
  socklen_t length = 0;
  if (!MakeSocketAddress(Address, Port, remote, length)) {
    LastErrorCode = WSAEAFNOSUPPORT;
    return tConnectResult::Failed;
  }
  int fd = ::socket(remote.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {  // for instance IPv6 on a machine without it: the next address may do
    LastErrorCode = LastSystemError();
    return tConnectResult::Failed;
  }
  if (!LeaveNagleOn) {
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
  {
    std::lock_guard<std::mutex> lock(HandleLock);
    Open.Fd = fd;
  }
  return ConnectHandle(fd, &remote, length, ShareMs);
}

// The connect itself is non-blocking and waited for in slices: that is what lets the time-out, OnIdle and
// Close cut it short without a helper thread that could outlive the object.
tEasySocket::tConnectResult tEasySocket::ConnectHandle(int fd, const void* Remote, unsigned Length,
                                                       uint32_t ShareMs) {
  tUse use(*this);
  if (use.Fd != fd) {  // closed by another thread already
    LastErrorCode = WSAEINTR;
    return tConnectResult::Interrupted;
  }
  int flags = ::fcntl(fd, F_GETFL);
  ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  int r = ::connect(fd, static_cast<const sockaddr*>(Remote), static_cast<socklen_t>(Length));
  if (r != 0 && errno != EINPROGRESS) {
    Fail(LastSystemError());
    return tConnectResult::Failed;
  }
  bool sliced = ConnectInThread || OnIdle;
  uint32_t start = timeGetTime();
  while (r != 0) {
    int ready = WaitFor(fd, POLLOUT, sliced ? kConnectSliceMs : 1000);
    if (ready < 0) {
      Fail(LastSystemError());
      return tConnectResult::Failed;
    }
    if (ready > 0) {
      int error = 0;
      socklen_t length = sizeof error;
      if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
      if (error != 0) {
        // A Close from elsewhere shows up as an aborted connect; report it as the interruption it was.
        if (!IsOpen()) {
          LastErrorCode = WSAEINTR;
          return tConnectResult::Interrupted;
        }
        Fail(WinsockErrorFromErrno(error));
        return tConnectResult::Failed;
      }
      break;
    }
    Idle();
    if (!IsOpen()) {
      LastErrorCode = WSAEINTR;
      return tConnectResult::Interrupted;
    }
    if (ShareMs > 0 && timeGetTime() - start >= ShareMs) {
      Close();
      LastErrorCode = WSAETIMEDOUT;
      return tConnectResult::TimedOut;
    }
  }
  ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  if (!IsOpen()) {
    LastErrorCode = WSAEINTR;
    return tConnectResult::Interrupted;
  }
  return tConnectResult::Connected;
}

bool tEasySocket::Handshake(const std::string& Host) {
  {
    std::lock_guard<std::mutex> lock(HandleLock);
    if (Open.Fd != kNoSocket) Open.Tls = tTlsSession::Create(Open.Fd, Host);
  }
  tUse use(*this);
  if (use.Fd == kNoSocket) {
    LastErrorCode = WSAEINTR;
    return false;
  }
  if (!use.Tls) {
    Fail(ERROR_SECURE_FAILURE);
    return false;
  }
  const uint32_t start = timeGetTime();
  for (;;) {
    Idle();
    if (!IsOpen()) {
      LastErrorCode = WSAEINTR;
      return false;
    }
    tTlsResult step = use.Tls->Handshake();
    if (step == tTlsResult::Done) return true;
    if (step == tTlsResult::Failed || step == tTlsResult::Closed) {
      Fail(IsOpen() ? use.Tls->Error() : WSAEINTR);
      return false;
    }
    if (WaitFor(use.Fd, step == tTlsResult::WantWrite ? POLLOUT : POLLIN, WaitSliceMs()) < 0) {
      Fail(IsOpen() ? LastSystemError() : WSAEINTR);
      return false;
    }
    if (TimeOutPassed(start)) {
      FailTimedOut();
      return false;
    }
  }
}

long tEasySocket::ReadSome(const tUse& Use, char* To, size_t Count, short& Want, int& Error) {
  if (!Use.Tls) return SystemStep(::recv(Use.Fd, To, Count, MSG_DONTWAIT), Error);
  size_t moved = 0;
  tTlsResult result = Use.Tls->Read(To, Count, moved);
  if (result == tTlsResult::Closed) {  // the peer ended the session (in order, or at least without an error)
    if (Use.Tls->EndedWithoutGoodbye()) NoGoodbye = true;
    return 0;
  }
  return TlsStep(result, moved, Use.Tls->Error(), POLLIN, Want, Error);
}

long tEasySocket::WriteSome(const tUse& Use, const char* From, size_t Count, short& Want, int& Error) {
  if (!Use.Tls) return SystemStep(::send(Use.Fd, From, Count, MSG_NOSIGNAL | MSG_DONTWAIT), Error);
  size_t moved = 0;
  tTlsResult result = Use.Tls->Write(From, Count, moved);
  if (result == tTlsResult::Closed) {
    Error = WSAECONNRESET;  // as a plain send to a peer that has gone
    return -1;
  }
  return TlsStep(result, moved, Use.Tls->Error(), POLLOUT, Want, Error);
}

bool tEasySocket::SendBuf(const void* Buffer, size_t Count) {
  tUse use(*this);
  if (use.Fd == kNoSocket) {
    LastErrorCode = WSAENOTSOCK;
    return false;
  }
  const auto* bytes = static_cast<const char*>(Buffer);
  size_t sent = 0;
  short want = POLLOUT;
  uint32_t start = timeGetTime();
  while (sent < Count) {
    Idle();
    if (!IsOpen()) {
      LastErrorCode = WSAEINTR;
      return false;
    }
    // Waiting for room instead of blocking in send keeps the time-out and Close effective against a peer
    // that stops reading.
    int ready = WaitFor(use.Fd, want, WaitSliceMs());
    if (ready < 0) {
      Fail(LastSystemError());
      Idle();
      return false;
    }
    if (ready > 0) {
      int error = 0;
      long n = WriteSome(use, bytes + sent, Count - sent, want, error);
      if (n == -1) {
        Fail(IsOpen() ? error : WSAEINTR);
        Idle();
        return false;
      }
      if (n > 0) {
        sent += static_cast<size_t>(n);
        SentTotal += n;
      }
    }
    Idle();
    if (sent < Count && TimeOutPassed(start)) {
      FailTimedOut();
      return false;
    }
  }
  if (!IsOpen()) {  // closed from OnIdle right after the last bytes went out
    LastErrorCode = WSAEINTR;
    return false;
  }
  return true;
}

size_t tEasySocket::ReceiveBuf(void* Buffer, size_t Count) {
  return Receive(Buffer, Count, false);
}

size_t tEasySocket::ReceiveSome(void* Buffer, size_t Count) {
  return Receive(Buffer, Count, true);
}

size_t tEasySocket::Receive(void* Buffer, size_t Count, bool Some) {
  if (Count == 0) return 0;
  tUse use(*this);
  if (use.Fd == kNoSocket) {
    LastErrorCode = WSAENOTSOCK;
    return 0;
  }
  auto* bytes = static_cast<char*>(Buffer);
  size_t received = 0;
  short want = POLLIN;
  uint32_t start = timeGetTime();
  while (received < Count) {
    Idle();
    if (!IsOpen()) {
      LastErrorCode = WSAEINTR;
      return received;
    }
    // Bytes the TLS session has already decrypted are there without the socket being readable.
    int ready = use.Tls && use.Tls->HasPending() ? want : WaitFor(use.Fd, want, WaitSliceMs());
    if (ready < 0) {
      Fail(LastSystemError());
      return received;
    }
    if (ready == 0) {
      Idle();
    } else {
      // No buffering here: straight into the caller's buffer, no more than is wanted.
      int error = 0;
      long n = ReadSome(use, bytes + received, Count - received, want, error);
      if (n > 0) {
        received += static_cast<size_t>(n);
        ReceivedTotal += n;
        if (Some) return received;
        Idle();
      } else if (n == 0) {
        Fail(IsOpen() ? 0 : WSAEINTR);  // the peer ended the connection (or our own Close did)
        return received;
      } else if (n != kWouldBlock) {
        Fail(IsOpen() ? error : WSAEINTR);
        return received;
      }
    }
    if (received < Count && TimeOutPassed(start)) {
      FailTimedOut();
      return received;
    }
  }
  return received;
}

bool tEasySocket::Connected() {
  tUse use(*this);
  if (use.Fd == kNoSocket) return false;
  if (use.Tls && use.Tls->HasPending()) return IsOpen();
  int ready = WaitFor(use.Fd, POLLIN, 0);
  if (ready < 0) {
    Fail(LastSystemError());
    return false;
  }
  if (ready > 0) {
    char peek[kPeekBytes];
    if (use.Tls) {
      size_t moved = 0;
      switch (use.Tls->Peek(peek, sizeof peek, moved)) {
        case tTlsResult::Done:
          return true;
        case tTlsResult::WantRead:  // a record without stream bytes (a session ticket), or half a record
        case tTlsResult::WantWrite:
          return IsOpen();
        case tTlsResult::Closed:
          Fail(0);
          return false;
        case tTlsResult::Failed:
          break;
      }
      Fail(use.Tls->Error());
      return false;
    }
    ssize_t n = ::recv(use.Fd, peek, sizeof peek, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0) return true;
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return IsOpen();
    Fail(n == 0 ? 0 : LastSystemError());  // orderly close with nothing pending, or a failed connection
    return false;
  }
  sockaddr_storage peer{};
  socklen_t length = sizeof peer;
  if (::getpeername(use.Fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) {
    Fail(LastSystemError());
    return false;
  }
  return IsOpen();
}

}  // namespace ktv
