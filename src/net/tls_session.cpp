#include "net/tls_session.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "net/winsock_errors.h"

namespace ktv {

namespace {

// What the socket BIO works on: the descriptor, and the errno of its last failed call (OpenSSL itself only
// says that a system call failed).
struct tBioSocket {
  int Fd = -1;
  int Errno = 0;
  bool SawEnd = false;  // the connection itself ended under the session
};

bool WouldBlock(int Errno) {
  return Errno == EAGAIN || Errno == EWOULDBLOCK || Errno == EINTR;
}

// OpenSSL's own socket BIO writes with write(), which raises SIGPIPE on a dropped connection. Ours sends
// with MSG_NOSIGNAL and never blocks, like every other call of the socket.
int BioWrite(BIO* bio, const char* data, int length) {
  auto* io = static_cast<tBioSocket*>(BIO_get_data(bio));
  BIO_clear_retry_flags(bio);
  ssize_t n = ::send(io->Fd, data, static_cast<size_t>(std::max(length, 0)), MSG_NOSIGNAL | MSG_DONTWAIT);
  if (n >= 0) return static_cast<int>(n);
  io->Errno = errno;
  if (WouldBlock(io->Errno)) BIO_set_retry_write(bio);
  return -1;
}

int BioRead(BIO* bio, char* data, int length) {
  auto* io = static_cast<tBioSocket*>(BIO_get_data(bio));
  BIO_clear_retry_flags(bio);
  ssize_t n = ::recv(io->Fd, data, static_cast<size_t>(std::max(length, 0)), MSG_DONTWAIT);
  if (n == 0) io->SawEnd = true;
  if (n >= 0) return static_cast<int>(n);  // 0: the peer closed
  io->Errno = errno;
  if (WouldBlock(io->Errno)) BIO_set_retry_read(bio);
  return -1;
}

long BioControl(BIO*, int command, long, void*) {
  return command == BIO_CTRL_FLUSH ? 1 : 0;  // nothing is buffered here
}

int BioCreate(BIO* bio) {
  BIO_set_init(bio, 1);
  return 1;
}

const BIO_METHOD* SocketMethod() {
  static BIO_METHOD* method = [] {
    BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "ktv socket");
    if (m) {
      BIO_meth_set_write(m, BioWrite);
      BIO_meth_set_read(m, BioRead);
      BIO_meth_set_ctrl(m, BioControl);
      BIO_meth_set_create(m, BioCreate);
    }
    return m;
  }();
  return method;
}

bool IsAddressLiteral(const std::string& Host) {
  in_addr v4{};
  in6_addr v6{};
  return ::inet_pton(AF_INET, Host.c_str(), &v4) == 1 || ::inet_pton(AF_INET6, Host.c_str(), &v6) == 1;
}

int ClampCount(size_t Count) {
  return static_cast<int>(std::min<size_t>(Count, INT_MAX));
}

}  // namespace

struct tTlsSession::tState {
  SSL* Ssl = nullptr;  // owns its BIO
  tBioSocket Io;
  bool Handshaken = false;
  ~tState() {
    if (Ssl) SSL_free(Ssl);
  }
};

tTlsSession::tTlsSession(std::unique_ptr<tState> State) : State(std::move(State)) {}

tTlsSession::~tTlsSession() = default;

std::unique_ptr<tTlsSession> tTlsSession::Create(int Fd, const std::string& Host) {
  ERR_clear_error();
  // A context per session reads the trust store as the environment names it now, and a connect is rare
  // enough for what that costs.
  SSL_CTX* context = SSL_CTX_new(TLS_client_method());
  if (!context) return nullptr;
  SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
  // Many servers end a stream by closing the connection without a TLS goodbye: that ends it as a close in
  // order does over plain TCP.
  SSL_CTX_set_options(context, SSL_OP_IGNORE_UNEXPECTED_EOF);
  SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
  auto state = std::make_unique<tState>();
  state->Io.Fd = Fd;
  if (SSL_CTX_set_default_verify_paths(context) == 1) state->Ssl = SSL_new(context);
  SSL_CTX_free(context);  // the session holds its own reference
  const BIO_METHOD* method = SocketMethod();
  BIO* bio = state->Ssl && method ? BIO_new(method) : nullptr;
  if (!bio) return nullptr;
  BIO_set_data(bio, &state->Io);
  SSL* ssl = state->Ssl;
  SSL_set_bio(ssl, bio, bio);
  SSL_set_connect_state(ssl);
  SSL_set_mode(ssl, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
  X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
  // An address is checked against the certificate's addresses and is no server name to indicate.
  bool named = IsAddressLiteral(Host) ? X509_VERIFY_PARAM_set1_ip_asc(param, Host.c_str()) == 1
                                      : SSL_set_tlsext_host_name(ssl, Host.c_str()) == 1 &&
                                            SSL_set1_host(ssl, Host.c_str()) == 1;
  if (!named) return nullptr;  // a host we cannot check is never trusted
  return std::unique_ptr<tTlsSession>(new tTlsSession(std::move(state)));
}

tTlsResult tTlsSession::Result(int Returned, size_t* Moved) {
  if (Returned > 0) {
    if (Moved) *Moved = static_cast<size_t>(Returned);
    return tTlsResult::Done;
  }
  int code = SSL_get_error(State->Ssl, Returned);
  ERR_clear_error();
  if (code == SSL_ERROR_WANT_READ) return tTlsResult::WantRead;
  if (code == SSL_ERROR_WANT_WRITE) return tTlsResult::WantWrite;
  if (!State->Handshaken) {
    LastError = ERROR_SECURE_FAILURE;
    return tTlsResult::Failed;
  }
  // A goodbye is read as a record before the connection's own end: seeing that end first means none came.
  if (code == SSL_ERROR_ZERO_RETURN) {
    NoGoodbye = State->Io.SawEnd;
    return tTlsResult::Closed;
  }
  if (code == SSL_ERROR_SYSCALL) {
    if (State->Io.Errno == 0) {
      NoGoodbye = true;
      return tTlsResult::Closed;
    }
    LastError = WinsockErrorFromErrno(State->Io.Errno);
  } else {
    LastError = WSAECONNABORTED;  // the peer broke the protocol mid-stream
  }
  return tTlsResult::Failed;
}

tTlsResult tTlsSession::Handshake() {
  ERR_clear_error();
  State->Io.Errno = 0;
  int returned = SSL_do_handshake(State->Ssl);
  if (returned == 1) {
    State->Handshaken = true;
    return tTlsResult::Done;
  }
  return Result(returned, nullptr);
}

tTlsResult tTlsSession::Read(void* Buffer, size_t Count, size_t& Moved) {
  ERR_clear_error();
  State->Io.Errno = 0;
  return Result(SSL_read(State->Ssl, Buffer, ClampCount(Count)), &Moved);
}

tTlsResult tTlsSession::Peek(void* Buffer, size_t Count, size_t& Moved) {
  ERR_clear_error();
  State->Io.Errno = 0;
  return Result(SSL_peek(State->Ssl, Buffer, ClampCount(Count)), &Moved);
}

tTlsResult tTlsSession::Write(const void* Buffer, size_t Count, size_t& Moved) {
  ERR_clear_error();
  State->Io.Errno = 0;
  return Result(SSL_write(State->Ssl, Buffer, ClampCount(Count)), &Moved);
}

bool tTlsSession::HasPending() const {
  return SSL_pending(State->Ssl) > 0;
}

}  // namespace ktv
