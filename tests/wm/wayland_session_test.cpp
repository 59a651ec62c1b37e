// The player on a Wayland session: a compositor of its own (weston, headless back-end) on a private runtime
// folder, once with Xwayland beside it and once alone. With Xwayland the player runs on X11 (there it can
// place its console); alone it runs natively. Either way it plays the clip and ends cleanly.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>

#include "app/app_test_support.h"
#include "app/player_process.h"

namespace ktv {
namespace {

using namespace ktv::test;

// A headless compositor the test starts and ends (by its id; it ends its Xwayland and its helpers).
class tCompositor {
 public:
  static constexpr const char* kSocket = "ktv-test-wayland";

  ~tCompositor() {
    if (Pid <= 0) return;
    kill(Pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 500 && waitpid(Pid, &status, WNOHANG) == 0; ++i) usleep(10000);
    if (waitpid(Pid, &status, WNOHANG) == 0) {
      kill(Pid, SIGKILL);
      waitpid(Pid, &status, 0);
    }
  }

  bool Start(bool xwayland) {
    LogFile = Logs.File("weston.log");
    std::vector<std::string> args = {"weston", "--backend=headless-backend.so",
                                     std::string("--socket=") + kSocket, "--idle-time=0"};
    if (xwayland) args.push_back("--xwayland");
    std::vector<std::string> variables;
    for (char** v = environ; *v; ++v) {
      const std::string variable = *v;
      if (variable.rfind("XDG_RUNTIME_DIR=", 0) != 0 && variable.rfind("WAYLAND_DISPLAY=", 0) != 0)
        variables.push_back(variable);
    }
    variables.push_back("XDG_RUNTIME_DIR=" + Runtime.Path());
    std::vector<char*> argv, envp;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& v : variables) envp.push_back(v.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, LogFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const bool spawned = posix_spawnp(&Pid, "weston", &actions, nullptr, argv.data(), envp.data()) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (!spawned) return false;
    // Ready once its socket is there and, with Xwayland, once it says which X display it serves.
    return PollUntil(
        [&] {
          if (!std::filesystem::exists(Runtime.File(kSocket))) return false;
          if (!xwayland) return true;
          const std::string text = ReadFile(LogFile);
          const std::string key = "xserver listening on display ";
          const size_t at = text.find(key);
          if (at == std::string::npos) return false;
          const size_t end = text.find('\n', at);
          if (end == std::string::npos) return false;
          XDisplay = text.substr(at + key.size(), end - at - key.size());
          return true;
        },
        20000);
  }

  std::string Log() const { return ReadFile(LogFile); }
  bool Running() const { return Pid > 0 && waitpid(Pid, nullptr, WNOHANG) == 0; }

  tTempDir Runtime;  // mkdtemp: 0700, as a runtime folder must be
  tTempDir Logs;
  std::string LogFile;
  std::string XDisplay;  // ":N" with Xwayland
  pid_t Pid = 0;
};

TEST(WaylandSession, PlaysOnXwaylandWhereThereIsOneAndNativelyOtherwise) {
  struct {
    bool xwayland;
    const char* platform;
    const char* note;
  } rows[] = {
      {true, "xcb", "Xwayland beside the compositor: X11, where the console can be placed"},
      {false, "wayland", "Wayland alone: natively"},
  };
  const std::string clip = Clip(320, 240, 4);
  ASSERT_FALSE(clip.empty());
  for (const auto& r : rows) {
    tTempConfig config;
    tCompositor weston;
    ASSERT_TRUE(weston.Start(r.xwayland)) << r.note << ": " << weston.Log();
    struct stat folder {};
    ASSERT_EQ(stat(weston.Runtime.Path().c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
    const std::string shots = config.Folder.File("shots");
    tRunResult run;
    {
      tScopedEnv runtime("XDG_RUNTIME_DIR", weston.Runtime.Path());
      tScopedEnv wayland("WAYLAND_DISPLAY", tCompositor::kSocket);
      tScopedEnv display("DISPLAY", weston.XDisplay);  // empty: no X server
      tScopedEnv platform("QT_QPA_PLATFORM", "");      // the player chooses
      run = RunProgram(PlayerPath(), {"--screenshot", shots, "--after", "1", clip});
    }
    const QJsonObject report = QJsonDocument::fromJson(QByteArray::fromStdString(run.Out)).object();
    ASSERT_FALSE(report.isEmpty()) << r.note << ": " << run.Err;
    EXPECT_EQ(report["platform"].toString(), QString::fromLatin1(r.platform)) << r.note;
    EXPECT_EQ(report["state"].toInt(), 5) << r.note << ": playing";
    EXPECT_GT(report["frames_shown"].toInt(), 0) << r.note << ": pictures were shown";
    EXPECT_EQ(report["video"].toObject()["width"].toInt(), 320) << r.note;
    // The console is a window of its own, shown and drawn wherever the compositor put it.
    const QJsonObject main = report["main"].toObject(), console = report["console"].toObject();
    EXPECT_EQ(console["client_width"].toInt(), 367) << r.note;
    EXPECT_FALSE(QImage(QString::fromStdString(shots + "/console.png")).isNull()) << r.note;
    if (r.xwayland) {
      // On X11 it hangs right under the picture, whatever frame or margin the manager adds around windows.
      EXPECT_EQ(console["client_y"].toInt(), main["client_y"].toInt() + main["client_height"].toInt())
          << run.Out;
      EXPECT_EQ(console["client_x"].toInt() + 367 / 2,
                main["client_x"].toInt() + main["client_width"].toInt() / 2)
          << run.Out;
    }
    EXPECT_EQ(run.ExitCode, 0) << r.note << ": " << run.Err;
    EXPECT_TRUE(weston.Running()) << r.note << ": the compositor outlived the player";
    // Wayland has no window opacity: the fades are left out rather than asked for every few milliseconds.
    EXPECT_EQ(run.Err.find("does not support setting window opacity"), std::string::npos) << r.note;
  }
}

}  // namespace
}  // namespace ktv
