// A certificate authority made for the test run with the openssl command, and the server certificates the
// TLS tests need: issued by it for the loopback names (localhost, 127.0.0.1, ::1), issued by it for another
// name, and one for the loopback names that signs itself. Everything lives in a temporary folder that goes
// when the test program ends.
#pragma once

#include <string>

#include "support/test_support.h"

namespace ktv::test {

// A server's certificate and its key (PEM files).
struct tServerIdentity {
  std::string CertFile, KeyFile;
};

class tTestAuthority {
 public:
  tTestAuthority();
  tTestAuthority(const tTestAuthority&) = delete;
  tTestAuthority& operator=(const tTestAuthority&) = delete;

  // False (with the openssl command's output in Error) when something could not be made.
  bool Ready() const { return Error.empty(); }
  std::string Error;

  // The authority's own certificate: what SSL_CERT_FILE names for a client that trusts it.
  std::string AuthorityFile() const { return Dir.File("authority.pem"); }
  tServerIdentity Loopback() const { return {Dir.File("loopback.pem"), Dir.File("loopback.key")}; }
  tServerIdentity OtherName() const { return {Dir.File("other.pem"), Dir.File("other.key")}; }
  tServerIdentity SelfSigned() const { return {Dir.File("self.pem"), Dir.File("self.key")}; }

 private:
  bool Run(const std::vector<std::string>& Args);
  bool Issue(const std::string& Name, const std::string& Names);
  tTempDir Dir;
};

// The one authority of this test program, made on first use.
const tTestAuthority& TestAuthority();

// Trusts only the test authority (SSL_CERT_FILE) for as long as the object lives; the old value comes back.
class tTrustTestAuthority {
 public:
  tTrustTestAuthority();

 private:
  tScopedEnv Trust;
};

// Whether this machine has the IPv6 loopback address (::1) to listen on.
bool HasIPv6Loopback();

}  // namespace ktv::test
