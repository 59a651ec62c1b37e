// The real player as a separate process, started by a test on the test's display and configuration (or on
// others given as variables), with its standard error in a file. The test ends what it starts: the
// destructor kills a player still running, by its id, and collects it.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QLocalSocket>
#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "app/single_instance.h"
#include "support/test_support.h"

extern char** environ;

namespace ktv::test {

inline std::string PlayerPath() {
  return std::string(KTV_BUILD_DIR) + "/src/app/kestrova-tv";
}

class tPlayerProcess {
 public:
  // The player of this build, or an installed one.
  explicit tPlayerProcess(std::string program = PlayerPath()) : Program(std::move(program)) {}
  tPlayerProcess(const tPlayerProcess&) = delete;
  tPlayerProcess& operator=(const tPlayerProcess&) = delete;
  ~tPlayerProcess() {
    if (Pid <= 0 || Ended) return;
    kill(Pid, SIGCONT);  // a stopped player cannot die otherwise
    kill(Pid, SIGKILL);
    waitpid(Pid, nullptr, 0);
  }

  // Starts the player with these arguments; `environment` overrides (or, with an empty value, adds empty)
  // variables of this process's environment.
  bool Start(const std::vector<std::string>& args, const std::string& errFile,
             const std::map<std::string, std::string>& environment = {}) {
    ErrFile = errFile;
    std::vector<std::string> variables;
    for (char** v = environ; *v; ++v) {
      const char* equals = std::strchr(*v, '=');
      if (!equals || !environment.count(std::string(*v, static_cast<size_t>(equals - *v))))
        variables.emplace_back(*v);
    }
    for (const auto& [name, value] : environment) variables.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& v : variables) envp.push_back(v.data());
    envp.push_back(nullptr);
    std::vector<char*> argv{const_cast<char*>(Program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const bool started = posix_spawn(&Pid, Program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0;
    posix_spawn_file_actions_destroy(&actions);
    return started;
  }

  bool Running() {
    if (Pid <= 0 || Ended) return false;
    int status = 0;
    if (waitpid(Pid, &status, WNOHANG) != Pid) return true;
    Ended = true;
    ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -2;
    return false;
  }
  // The exit code once it has ended within the time; -1 while it still runs, -2 when a signal ended it.
  int WaitExit(int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (Running() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return Ended ? ExitCode : -1;
  }
  void Signal(int signal) {
    if (Running()) kill(Pid, signal);
  }
  std::string Err() const { return ReadFile(ErrFile); }
  pid_t Id() const { return Pid; }

 private:
  std::string Program;
  pid_t Pid = 0;
  bool Ended = false;
  int ExitCode = -1;
  std::string ErrFile;
};

// Polls a condition (no event loop needed: the player is another process) for at most `ms`.
template <class F>
bool PollUntil(F condition, int ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// True once a player of this test's configuration has had its turn: it listens and its event loop runs (it
// let go of the start lock). By then it has done its start-up work, such as offering itself for file types.
inline bool PlayerIsUp() {
  tSingleInstance probe;
  if (!probe.LockStart(0)) return false;
  probe.ReleaseStartLock();
  // Only a connection: a probe that listened could take a starting player's hand-over itself.
  QLocalSocket socket;
  socket.connectToServer(probe.Name());
  return socket.waitForConnected(1000);
}

}  // namespace ktv::test
