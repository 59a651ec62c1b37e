#include "net/easy_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "net/winsock_errors.h"
#include "platform/clock.h"
#include "platform/text.h"

namespace ktv {

namespace {

// Slice of a connect wait when it may be cut short or has an idle callback to run.
constexpr int kConnectSliceMs = 50;
// Bytes peeked by Connected to tell pending data from an orderly close.
constexpr size_t kPeekBytes = 8;

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

}  // namespace

int LookupHostName(const std::string& Name, uint32_t& Address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int code = ::getaddrinfo(Name.c_str(), nullptr, &hints, &found);
  int saved = errno;
  if (code != 0) return WinsockErrorFromResolver(code, saved);
  int result = WSANO_DATA;
  for (addrinfo* a = found; a; a = a->ai_next) {
    if (a->ai_family == AF_INET && a->ai_addr) {
      Address = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
      result = 0;
      break;
    }
  }
  ::freeaddrinfo(found);
  return result;
}

int ResolveHostAddress(const std::string& Host, uint32_t& Address, const tNameLookup& Lookup) {
  std::string host = TrimText(Host);
  if (host.empty()) return WSAHOST_NOT_FOUND;
  if (host.find('\0') != std::string::npos) return WSAHOST_NOT_FOUND;  // a name cannot hold a NUL
  // inet_aton stops at the first blank and ignores the rest; a host with blanks inside is no dotted address.
  bool blank_inside = false;
  for (char c : host) blank_inside = blank_inside || static_cast<unsigned char>(c) <= ' ';
  in_addr dotted{};
  if (!blank_inside && ::inet_aton(host.c_str(), &dotted) != 0) {
    Address = dotted.s_addr;
    return 0;
  }
  return Lookup(host, Address);
}

// Holds the socket handle for the length of one operation: a Close meanwhile shuts it down at once but gives
// the descriptor back to the system only when the last user is done.
class tEasySocket::tUse {
 public:
  explicit tUse(tEasySocket& Owner) : Socket(Owner) {
    std::lock_guard<std::mutex> lock(Socket.HandleLock);
    Fd = Socket.SocketHandle;
    if (Fd != kNoSocket) ++Socket.Users;
  }
  ~tUse() {
    if (Fd == kNoSocket) return;
    std::vector<int> closing;
    {
      std::lock_guard<std::mutex> lock(Socket.HandleLock);
      if (--Socket.Users == 0) closing.swap(Socket.PendingClose);
    }
    for (int fd : closing) ::close(fd);
  }
  tUse(const tUse&) = delete;
  tUse& operator=(const tUse&) = delete;
  int Fd;

 private:
  tEasySocket& Socket;
};

tEasySocket::tEasySocket(int TimeOutSeconds, bool DisableNagle, bool ConnectInThread, int Handle)
    : TimeOutSeconds(TimeOutSeconds), LeaveNagleOn(!DisableNagle), ConnectInThread(ConnectInThread) {
  SocketHandle = Handle < 0 ? kNoSocket : Handle;
}

tEasySocket::~tEasySocket() {
  Close();
}

int tEasySocket::Handle() const {
  std::lock_guard<std::mutex> lock(HandleLock);
  return SocketHandle;
}

bool tEasySocket::IsOpen() const {
  return Handle() != kNoSocket;
}

void tEasySocket::Close() {
  std::lock_guard<std::mutex> lock(HandleLock);
  if (SocketHandle == kNoSocket) return;
  int fd = SocketHandle;
  SocketHandle = kNoSocket;
  // Shutting down wakes a wait on this handle in another thread (also a connect still in progress).
  ::shutdown(fd, SHUT_RDWR);
  if (Users > 0) {
    PendingClose.push_back(fd);
  } else {
    ::close(fd);
  }
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
  uint32_t address = 0;
  int resolved = ResolveHostAddress(Host, address);
  if (resolved != 0) {
    Fail(resolved);
    return false;
  }

  TimedOutFlag = false;
  Close();
  SentTotal = 0;
  ReceivedTotal = 0;
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    LastErrorCode = LastSystemError();
    return false;
  }
  if (!LeaveNagleOn) {
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
  {
    std::lock_guard<std::mutex> lock(HandleLock);
    SocketHandle = fd;
  }
  return ConnectHandle(fd, address, Port);
}

// The connect itself is non-blocking and waited for in slices: that is what lets the time-out, OnIdle and
// Close cut it short without a helper thread that could outlive the object.
bool tEasySocket::ConnectHandle(int fd, uint32_t Address, uint16_t Port) {
  tUse use(*this);
  if (use.Fd != fd) {  // closed by another thread already
    LastErrorCode = WSAEINTR;
    return false;
  }
  int flags = ::fcntl(fd, F_GETFL);
  ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  sockaddr_in remote{};
  remote.sin_family = AF_INET;
  remote.sin_addr.s_addr = Address;
  remote.sin_port = htons(Port);
  int r = ::connect(fd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote);
  if (r != 0 && errno != EINPROGRESS) {
    Fail(LastSystemError());
    return false;
  }
  bool sliced = ConnectInThread || OnIdle;
  uint32_t start = timeGetTime();
  while (r != 0) {
    int ready = WaitFor(fd, POLLOUT, sliced ? kConnectSliceMs : 1000);
    if (ready < 0) {
      Fail(LastSystemError());
      return false;
    }
    if (ready > 0) {
      int error = 0;
      socklen_t length = sizeof error;
      if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
      if (error != 0) {
        // A Close from elsewhere shows up as an aborted connect; report it as the interruption it was.
        Fail(IsOpen() ? WinsockErrorFromErrno(error) : WSAEINTR);
        return false;
      }
      break;
    }
    Idle();
    if (!IsOpen()) {
      LastErrorCode = WSAEINTR;
      return false;
    }
    if (ConnectInThread && TimeOutPassed(start)) {
      FailTimedOut();
      return false;
    }
  }
  ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  if (!IsOpen()) {
    LastErrorCode = WSAEINTR;
    return false;
  }
  return true;
}

bool tEasySocket::SendBuf(const void* Buffer, size_t Count) {
  tUse use(*this);
  if (use.Fd == kNoSocket) {
    LastErrorCode = WSAENOTSOCK;
    return false;
  }
  const auto* bytes = static_cast<const char*>(Buffer);
  size_t sent = 0;
  uint32_t start = timeGetTime();
  while (sent < Count) {
    Idle();
    if (!IsOpen()) {
      LastErrorCode = WSAEINTR;
      return false;
    }
    // Waiting for room instead of blocking in send keeps the time-out and Close effective against a peer
    // that stops reading.
    int ready = WaitFor(use.Fd, POLLOUT, WaitSliceMs());
    if (ready < 0) {
      Fail(LastSystemError());
      Idle();
      return false;
    }
    if (ready > 0) {
      ssize_t n = ::send(use.Fd, bytes + sent, Count - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n < 0 && errno != EAGAIN && errno != EINTR) {
        Fail(IsOpen() ? LastSystemError() : WSAEINTR);
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
  if (Count == 0) return 0;
  tUse use(*this);
  if (use.Fd == kNoSocket) {
    LastErrorCode = WSAENOTSOCK;
    return 0;
  }
  auto* bytes = static_cast<char*>(Buffer);
  size_t received = 0;
  uint32_t start = timeGetTime();
  while (received < Count) {
    Idle();
    if (!IsOpen()) {
      LastErrorCode = WSAEINTR;
      return received;
    }
    int ready = WaitFor(use.Fd, POLLIN, WaitSliceMs());
    if (ready < 0) {
      Fail(LastSystemError());
      return received;
    }
    if (ready == 0) {
      Idle();
    } else {
      // No buffering here: straight into the caller's buffer, no more than is wanted.
      ssize_t n = ::recv(use.Fd, bytes + received, Count - received, MSG_DONTWAIT);
      if (n > 0) {
        received += static_cast<size_t>(n);
        ReceivedTotal += n;
        Idle();
      } else if (n == 0) {
        Fail(IsOpen() ? 0 : WSAEINTR);  // the peer ended the connection (or our own Close did)
        return received;
      } else if (errno != EAGAIN && errno != EINTR) {
        Fail(IsOpen() ? LastSystemError() : WSAEINTR);
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
  int ready = WaitFor(use.Fd, POLLIN, 0);
  if (ready < 0) {
    Fail(LastSystemError());
    return false;
  }
  if (ready > 0) {
    char peek[kPeekBytes];
    ssize_t n = ::recv(use.Fd, peek, sizeof peek, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0) return true;
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return IsOpen();
    Fail(n == 0 ? 0 : LastSystemError());  // orderly close with nothing pending, or a failed connection
    return false;
  }
  sockaddr_in peer{};
  socklen_t length = sizeof peer;
  if (::getpeername(use.Fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) {
    Fail(LastSystemError());
    return false;
  }
  return IsOpen();
}

}  // namespace ktv
