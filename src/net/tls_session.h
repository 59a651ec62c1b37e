// The TLS layer under tEasySocket: a client session over a connected socket, through OpenSSL.
// Certificates are verified against the system's trust store (SSL_CERT_FILE and SSL_CERT_DIR work as OpenSSL
// defines them) and the host name (or IP address) is checked; a host name also goes out as Server Name
// Indication. A session never blocks: each call says whether it needs the socket readable or writable
// before it can go on, so the socket keeps its sliced waits, its time-outs and its idle callback.
//
// Thread contract: one thread at a time (the socket operation that holds the session).
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace ktv {

enum class tTlsResult {
  Done,       // the call did what it was asked (a transfer moved at least one byte)
  WantRead,   // call again once the socket is readable
  WantWrite,  // call again once the socket is writable
  Closed,     // the peer ended the session in order (or closed the connection)
  Failed,     // see Error()
};

class tTlsSession {
 public:
  // A session on the connected descriptor Fd, for the server named Host. Null when none could be made.
  static std::unique_ptr<tTlsSession> Create(int Fd, const std::string& Host);
  ~tTlsSession();
  tTlsSession(const tTlsSession&) = delete;
  tTlsSession& operator=(const tTlsSession&) = delete;

  tTlsResult Handshake();
  // Moved: the bytes read or written (when Done). Peek reads without taking the bytes.
  tTlsResult Read(void* Buffer, size_t Count, size_t& Moved);
  tTlsResult Peek(void* Buffer, size_t Count, size_t& Moved);
  tTlsResult Write(const void* Buffer, size_t Count, size_t& Moved);
  // Decrypted bytes wait inside the session: a wait on the socket would not see them.
  bool HasPending() const;
  // The Winsock number of the last Failed: ERROR_SECURE_FAILURE for anything that went wrong in the
  // handshake, the connection's own error afterwards.
  int Error() const { return LastError; }
  // After Closed: the connection ended without the peer's TLS goodbye (close_notify), so what came may have
  // been cut short by anyone on the way. Streams accept that; a download with no length of its own does not.
  bool EndedWithoutGoodbye() const { return NoGoodbye; }

 private:
  struct tState;
  explicit tTlsSession(std::unique_ptr<tState> State);
  tTlsResult Result(int Returned, size_t* Moved);
  std::unique_ptr<tState> State;
  int LastError = 0;
  bool NoGoodbye = false;
};

}  // namespace ktv
