// A private session bus for a test: a dbus-daemon of its own, started with the session configuration, and
// ended by its process id when the object goes. Its address goes to the programs the test starts (as
// DBUS_SESSION_BUS_ADDRESS) or to the test's own connection.
#pragma once

#include <sys/types.h>

#include <string>

namespace ktv::test {

class tSessionBus {
 public:
  // Starts the daemon and waits (bounded) for its address.
  tSessionBus();
  ~tSessionBus();
  tSessionBus(const tSessionBus&) = delete;
  tSessionBus& operator=(const tSessionBus&) = delete;

  // True when the daemon runs and told its address.
  bool Running() const { return Pid > 0 && !Address.empty(); }
  const std::string& BusAddress() const { return Address; }
  pid_t Id() const { return Pid; }

  // One bus for the whole test program, started on first use and ended when the program ends. For code
  // that reads the address once per process from the environment (Qt's session bus): it also sets
  // DBUS_SESSION_BUS_ADDRESS.
  static tSessionBus& Shared();

 private:
  pid_t Pid = -1;
  std::string Address;
};

}  // namespace ktv::test
