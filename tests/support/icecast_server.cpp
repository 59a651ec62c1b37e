#include "support/icecast_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

extern char** environ;

namespace ktv::test {

namespace {

const char* kPassword = "kestrova-test";

uint16_t FreeLoopbackPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  uint16_t port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    port = ntohs(addr.sin_port);
  close(fd);
  return port;
}

bool Accepts(uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

pid_t Spawn(const std::vector<std::string>& args, const std::string& stdinFile, const std::string& outFile) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, stdinFile.empty() ? "/dev/null" : stdinFile.c_str(), O_RDONLY,
                                   0);
  posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

void End(pid_t& pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  for (int i = 0; i < 300; ++i) {  // up to 3 s for an orderly end, then no more waiting
    if (waitpid(pid, nullptr, WNOHANG) == pid) {
      pid = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  pid = -1;
}

}  // namespace

tIcecastServer::tIcecastServer() {
  // The server drops root rights to its own user, which must be able to write its log folder.
  chmod(Dir.Path().c_str(), 0777);
  ListenPort = FreeLoopbackPort();
  std::string config =
      "<icecast>\n"
      "<limits><clients>20</clients><sources>4</sources><queue-size>524288</queue-size>"
      "<burst-size>65535</burst-size><source-timeout>10</source-timeout></limits>\n"
      "<authentication><source-password>" +
      std::string(kPassword) +
      "</source-password>"
      "<admin-user>admin</admin-user><admin-password>" +
      kPassword +
      "</admin-password></authentication>\n"
      "<hostname>127.0.0.1</hostname>\n"
      "<listen-socket><port>" +
      std::to_string(ListenPort) +
      "</port><bind-address>127.0.0.1</bind-address>"
      "</listen-socket>\n"
      "<paths><basedir>/usr/share/icecast2</basedir><logdir>" +
      Dir.Path() +
      "</logdir>"
      "<webroot>/usr/share/icecast2/web</webroot><adminroot>/usr/share/icecast2/admin</adminroot></paths>\n"
      "<logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog><loglevel>3</loglevel></"
      "logging>\n"
      "<security><chroot>0</chroot>" +
      std::string(geteuid() == 0 ? "<changeowner><user>icecast2</user><group>icecast</group></changeowner>"
                                 : "") +
      "</security>\n</icecast>\n";
  WriteFile(Dir.File("icecast.xml"), config);
  chmod(Dir.File("icecast.xml").c_str(), 0644);
  ServerPid = Spawn({"icecast2", "-c", Dir.File("icecast.xml")}, "", Dir.File("server.out"));
  for (int i = 0; i < 500 && ServerPid > 0 && !Ready; ++i) {
    Ready = Accepts(ListenPort);
    if (!Ready) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

tIcecastServer::~tIcecastServer() {
  End(FeederPid);
  End(ServerPid);
}

std::string tIcecastServer::URL(const std::string& mount) const {
  return "http://127.0.0.1:" + std::to_string(ListenPort) + mount;
}

std::string tIcecastServer::Log() const {
  return ReadFile(Dir.File("server.out")) + ReadFile(Dir.File("error.log")) +
         ReadFile(Dir.File("feeder.out"));
}

bool tIcecastServer::Feed(const std::string& oggFile, const std::string& mount, const std::string& name,
                          const std::string& genre, const std::string& description) {
  if (!Running()) return false;
  End(FeederPid);
  auto start = [&] {
    return Spawn({"oggfwd", "-n", name, "-g", genre, "-d", description, "127.0.0.1",
                  std::to_string(ListenPort), kPassword, mount},
                 oggFile, Dir.File("feeder.out"));
  };
  FeederPid = start();
  // The mount is up once the server answers it with 200. On a loaded machine the feeder's first connection
  // can fail ("Couldn't connect") although the server accepts others: a feeder that gave up is started again,
  // a little later each time, so a server that is busy for a moment is not asked again at once.
  for (int i = 0, restarts = 0; i < 300 && FeederPid > 0; ++i) {
    if (waitpid(FeederPid, nullptr, WNOHANG) == FeederPid) {
      if (++restarts > 5) {
        FeederPid = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(200 * restarts));
      FeederPid = start();
      continue;
    }
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(ListenPort);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
      std::string head = "GET " + mount + " HTTP/1.0\r\n\r\n";
      send(fd, head.data(), head.size(), MSG_NOSIGNAL);
      char buf[64];
      ssize_t n = recv(fd, buf, sizeof buf, 0);
      if (n > 0) answer.assign(buf, static_cast<size_t>(n));
    }
    close(fd);
    if (answer.find(" 200 ") != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

}  // namespace ktv::test
