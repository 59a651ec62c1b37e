// The program's one TCP client (IPv4 and IPv6, plain or TLS): blocking calls whose waits are cut into short
// slices, with an optional idle callback between slices, so that a window thread can use it and still react
// to its user.
//
// Thread contract: one thread at a time uses an object (Connect, SendBuf, ReceiveBuf, ReceiveExact,
// Connected). Close may also be called from any other thread, and from OnIdle: the running operation then
// ends at its next step. A handle closed while an operation still waits on it is only given back to the
// system when that operation has returned, so a wait can never land on a descriptor that was reused
// meanwhile (the same holds for the TLS session on it). The failure fields are atomic so that other threads
// may poll them.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ktv {

class tTlsSession;

// Looks a host name up for every address it has, IPv4 and IPv6, as numeric texts in the order to try them;
// returns 0 or the Winsock error number.
using tAddressLookup = std::function<int(const std::string& Name, std::vector<std::string>& Addresses)>;

// The system resolver (getaddrinfo for both families, in the order it sorts them).
int LookupHostAddresses(const std::string& Name, std::vector<std::string>& Addresses);

// Trims the host; a dotted IPv4 address or an IPv6 literal (with or without its brackets) is the one address
// and never handed to Lookup; anything else is looked up. An empty host is not found (11001).
int ResolveHostAddresses(const std::string& Host, std::vector<std::string>& Addresses,
                         const tAddressLookup& Lookup = LookupHostAddresses);

class tEasySocket {
 public:
  using tIdleEvent = std::function<void(tEasySocket& Socket)>;
  static constexpr int kNoSocket = -1;  // the handle of a closed socket

  // TimeOutSeconds: limit of the connect (when waited for in slices), of a TLS handshake and of each send
  // and receive call; 0 means none. DisableNagle sets TCP_NODELAY on every new socket. ConnectInThread lets
  // a connect be cut short by the time-out and by Close, and run OnIdle while it waits. Handle adopts an
  // already connected socket.
  tEasySocket(int TimeOutSeconds, bool DisableNagle, bool ConnectInThread, int Handle = kNoSocket);
  ~tEasySocket();  // closes
  tEasySocket(const tEasySocket&) = delete;
  tEasySocket& operator=(const tEasySocket&) = delete;

  // Called on the calling thread between wait slices (at least every 50 ms while waiting) and after each
  // transfer step; may call Close. May be unset.
  tIdleEvent OnIdle;
  // Finds the addresses of a host name for Connect; the system resolver unless a test sets its own.
  tAddressLookup LookupAddresses = LookupHostAddresses;

  // The next Connect speaks TLS over the connection (https): it verifies the server's certificate for the
  // host it was given, or fails with ERROR_SECURE_FAILURE. Never falls back to plain TCP.
  void SetSecure(bool Secure) { UseTLS = Secure; }
  bool Secure() const { return UseTLS; }

  // Closes any old socket, then connects to Host (name, dotted address or IPv6 literal) on Port, trying its
  // addresses in order until one connects. A timed connect gives each address an equal share of the time
  // that is left, so one address that never answers leaves time for the next.
  // With neither ConnectInThread nor OnIdle the wait has no time limit of its own (the system's applies).
  bool Connect(uint16_t Port, const std::string& Host);
  // True when all Count bytes were sent. On failure the socket is closed.
  bool SendBuf(const void* Buffer, size_t Count);
  bool SendBuf(const std::string& Bytes) { return SendBuf(Bytes.data(), Bytes.size()); }
  // Reads until Count bytes arrived, the peer closed, an error, the time-out or Close; returns the bytes
  // read. Anything short of Count leaves the socket closed.
  size_t ReceiveBuf(void* Buffer, size_t Count);
  // Waits for bytes as ReceiveBuf does, but returns as soon as some arrived (at most Count): a reader that
  // shows progress or may be cancelled is not held until a whole block came. 0: the peer closed, an error,
  // the time-out or Close (the socket is then closed).
  size_t ReceiveSome(void* Buffer, size_t Count);
  // True only when all Count bytes arrived.
  bool ReceiveExact(void* Buffer, size_t Count) { return ReceiveBuf(Buffer, Count) == Count; }
  // Tests the connection without waiting; a peer that closed with nothing left to read closes this socket
  // too.
  bool Connected();
  void Close();

  void SetTimeOut(int Seconds) { TimeOutSeconds = Seconds; }
  int TimeOut() const { return TimeOutSeconds; }
  // Winsock number of the last failure: 10060 after a time-out, 10004 when Close cut an operation short,
  // 10038 for an operation on a closed socket, 0 when the peer ended the connection in order,
  // ERROR_SECURE_FAILURE when no secure connection could be made.
  int LastError() const { return LastErrorCode; }
  // Set when the last operation ended by time-out; cleared by Connect.
  bool TimedOut() const { return TimedOutFlag; }
  // Set when a TLS connection's peer ended it without the TLS goodbye (LastError is 0 then, as for any end
  // in order); cleared by Connect.
  bool EndedWithoutGoodbye() const { return NoGoodbye; }
  int64_t BytesSent() const { return SentTotal; }  // since the last Connect
  int64_t BytesReceived() const { return ReceivedTotal; }
  int Handle() const;

 private:
  class tUse;
  // An open connection: the descriptor and, for TLS, the session on it.
  struct tChannel {
    int Fd = kNoSocket;
    std::unique_ptr<tTlsSession> Tls;
  };
  enum class tConnectResult { Connected, Failed, Interrupted, TimedOut };
  // ShareMs: how long this address may take (0: no limit of its own).
  tConnectResult ConnectAddress(const std::string& Address, uint16_t Port, uint32_t ShareMs);
  tConnectResult ConnectHandle(int fd, const void* Remote, unsigned Length, uint32_t ShareMs);
  bool Handshake(const std::string& Host);
  // One transfer step: the bytes moved (> 0), 0 when the peer ended the connection in order, -1 on a failure
  // (Error set), -2 when the socket must first be ready for Want (POLLIN or POLLOUT).
  long ReadSome(const tUse& Use, char* To, size_t Count, short& Want, int& Error);
  size_t Receive(void* Buffer, size_t Count, bool Some);
  long WriteSome(const tUse& Use, const char* From, size_t Count, short& Want, int& Error);
  int WaitSliceMs() const { return OnIdle ? 50 : 1000; }
  bool TimeOutPassed(uint32_t Start) const;
  void Idle();
  void Fail(int Code);  // records the error and closes
  void FailTimedOut();
  bool IsOpen() const;

  std::atomic<int> TimeOutSeconds;
  std::atomic<int> LastErrorCode{0};
  std::atomic<bool> TimedOutFlag{false};
  std::atomic<bool> NoGoodbye{false};
  std::atomic<int64_t> SentTotal{0};
  std::atomic<int64_t> ReceivedTotal{0};
  const bool LeaveNagleOn;
  const bool ConnectInThread;
  bool UseTLS = false;

  mutable std::mutex HandleLock;
  tChannel Open;                       // guarded by HandleLock
  int Users = 0;                       // guarded by HandleLock: operations running on the open channel
  std::vector<tChannel> PendingClose;  // guarded by HandleLock: closed channels still in use by an operation
};

}  // namespace ktv
