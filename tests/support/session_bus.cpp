#include "support/session_bus.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <vector>

extern char** environ;

namespace ktv::test {

namespace {

constexpr int kStartTimeoutMs = 10000;  // a loaded machine may take a while to start the daemon

}  // namespace

tSessionBus::tSessionBus() {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  // Its complaints about limits it may not raise in a container are no concern of the tests.
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> args = {"dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address"};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  if (posix_spawnp(&Pid, "dbus-daemon", &actions, nullptr, argv.data(), environ) != 0) Pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  // The address is the first line it prints.
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
  while (Pid > 0 && line.find('\n') == std::string::npos) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{pipeFds[0], POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char buffer[256];
    const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    line.append(buffer, static_cast<size_t>(n));
  }
  close(pipeFds[0]);
  const size_t end = line.find('\n');
  if (end != std::string::npos) Address = line.substr(0, end);
}

tSessionBus::~tSessionBus() {
  if (Pid <= 0) return;
  kill(Pid, SIGTERM);
  waitpid(Pid, nullptr, 0);
}

tSessionBus& tSessionBus::Shared() {
  static tSessionBus bus;
  static const bool exported = [] {
    if (bus.Running()) setenv("DBUS_SESSION_BUS_ADDRESS", bus.BusAddress().c_str(), 1);
    return true;
  }();
  (void)exported;
  return bus;
}

}  // namespace ktv::test
