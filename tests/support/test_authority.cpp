#include "support/test_authority.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

namespace ktv::test {

namespace {

// The openssl command, found on the search path.
std::string OpensslCommand() {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path ? path : "/usr/bin:/bin");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    std::string candidate = folder + "/openssl";
    if (!folder.empty() && ::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "/usr/bin/openssl";
}

// Short-lived elliptic-curve keys: quick to make, and the tests need nothing stronger.
const std::vector<std::string> kNewKey = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                                          "-nodes"};

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

}  // namespace

tTestAuthority::tTestAuthority() {
  // The authority itself, then the certificates; the self-signed one carries the right names but nobody
  // vouches for it.
  bool made =
      Run(Join({"req", "-x509", "-days", "2", "-subj", "/CN=Kestrova Test Authority", "-keyout",
                Dir.File("authority.key"), "-out", AuthorityFile(), "-addext",
                "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign"},
               kNewKey)) &&
      Issue("loopback", "DNS:localhost,IP:127.0.0.1,IP:::1") && Issue("other", "DNS:other.invalid") &&
      Run(Join({"req", "-x509", "-days", "2", "-subj", "/CN=localhost", "-keyout", SelfSigned().KeyFile,
                "-out", SelfSigned().CertFile, "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1,IP:::1"},
               kNewKey));
  if (!made && Error.empty()) Error = "openssl failed";
}

bool tTestAuthority::Run(const std::vector<std::string>& Args) {
  tRunResult run = RunProgram(OpensslCommand(), Args);
  if (run.ExitCode == 0) return true;
  Error = "openssl " + Args[0] + " failed (" + std::to_string(run.ExitCode) + "): " + run.Err;
  return false;
}

bool tTestAuthority::Issue(const std::string& Name, const std::string& Names) {
  std::string extensions = Dir.File(Name + ".ext");
  if (!WriteFile(extensions, "subjectAltName=" + Names + "\nbasicConstraints=CA:FALSE\n")) {
    Error = "cannot write " + extensions;
    return false;
  }
  return Run(Join({"req", "-new", "-subj", "/CN=" + Name, "-keyout", Dir.File(Name + ".key"), "-out",
                   Dir.File(Name + ".csr")},
                  kNewKey)) &&
         Run({"x509", "-req", "-days", "2", "-in", Dir.File(Name + ".csr"), "-CA", AuthorityFile(), "-CAkey",
              Dir.File("authority.key"), "-CAcreateserial", "-extfile", extensions, "-out",
              Dir.File(Name + ".pem")});
}

const tTestAuthority& TestAuthority() {
  static tTestAuthority authority;
  return authority;
}

tTrustTestAuthority::tTrustTestAuthority() : Trust("SSL_CERT_FILE", TestAuthority().AuthorityFile()) {}

bool HasIPv6Loopback() {
  int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in6 address{};
  address.sin6_family = AF_INET6;
  address.sin6_addr = in6addr_loopback;
  bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return bound;
}

}  // namespace ktv::test
