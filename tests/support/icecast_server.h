// A real streaming server for integration tests: icecast2 on 127.0.0.1 with a configuration of its own in a
// temporary folder, fed by oggfwd from a file. Both processes are ended (and waited for) by the destructor.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "support/test_support.h"

namespace ktv::test {

class tIcecastServer {
 public:
  tIcecastServer();
  ~tIcecastServer();
  tIcecastServer(const tIcecastServer&) = delete;
  tIcecastServer& operator=(const tIcecastServer&) = delete;

  // True once the server accepts connections.
  bool Running() const { return ServerPid > 0 && Ready; }
  uint16_t Port() const { return ListenPort; }
  std::string URL(const std::string& mount) const;

  // Streams the Ogg file to the mount point at its own pace (oggfwd); true when the mount is up.
  bool Feed(const std::string& oggFile, const std::string& mount, const std::string& name,
            const std::string& genre, const std::string& description);
  // Why it failed to start, for the test's message.
  std::string Log() const;

 private:
  tTempDir Dir;
  pid_t ServerPid = -1;
  pid_t FeederPid = -1;
  uint16_t ListenPort = 0;
  bool Ready = false;
};

}  // namespace ktv::test
