// The program keeps the Windows Sockets error numbers as its vocabulary for network failures (callers map
// 11001/10051/10061... to their own codes). POSIX errno values and resolver codes are translated here, in one
// table.
#pragma once

namespace ktv {

constexpr int WSAEINTR = 10004;  // also: the operation was cut short because the socket was closed under it
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;  // an operation on a closed socket
constexpr int WSAEDESTADDRREQ = 10039;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEPROTOTYPE = 10041;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEPFNOSUPPORT = 10046;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETOOMANYREFS = 10059;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAELOOP = 10062;
constexpr int WSAENAMETOOLONG = 10063;
constexpr int WSAEHOSTDOWN = 10064;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSASYSCALLFAILURE = 10107;  // an errno with no Winsock counterpart
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;
// Not a Winsock number: the one Windows' HTTP service gives a secure channel that could not be made. The
// program uses it for a TLS handshake that failed or a certificate that could not be trusted.
constexpr int ERROR_SECURE_FAILURE = 12175;

// Winsock number for an errno value; 0 for 0, WSASYSCALLFAILURE for values without a counterpart.
int WinsockErrorFromErrno(int Errno);

// Winsock number for a getaddrinfo result (EAI_*); SystemErrno is errno as it was right after the call, used
// for EAI_SYSTEM. 0 for 0.
int WinsockErrorFromResolver(int ResolverCode, int SystemErrno);

}  // namespace ktv
