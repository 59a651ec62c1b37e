// The program as a desktop runs it, as real processes on the test's display: the first start offers the
// player for Ogg files; the end-of-session signals save the settings and end the run; a lost display ends
// it; a silent player is taken over; starts at the same moment leave one player that got every argument.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QStringList>
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "app_test_support.h"
#include "library/file_types.h"
#include "platform/registry.h"
#include "player_process.h"

namespace ktv {
namespace {

using namespace ktv::test;
namespace fs = std::filesystem;

constexpr int kUpMs = 30000;   // a player's start on a loaded machine
constexpr int kEndMs = 10000;  // the player ends in far less; this only catches a hang
const char* const kLogRules = "kestrova.instance.debug=true";

// Hand-overs the player logged (each line once), as "a later start handed over: QList(...)".
bool LoggedHandOverOf(const std::string& log, const std::string& path) {
  size_t at = 0;
  while ((at = log.find("a later start handed over:", at)) != std::string::npos) {
    const size_t end = log.find('\n', at);
    if (log.substr(at, end - at).find('"' + path + '"') != std::string::npos) return true;
    at = end;
  }
  return false;
}

// Bytes the sound device has written so far (0 before it opened).
uintmax_t SoundBytes(const std::string& file) {
  std::error_code ec;
  const uintmax_t size = fs::file_size(file, ec);
  return ec ? 0 : size;
}

TEST(Program, FirstStartOffersItselfForOggFiles) {
  tTempConfig config;
  tTempDir data, logs;
  tPlayerProcess player;
  ASSERT_TRUE(player.Start({}, logs.File("err"), {{"XDG_DATA_HOME", data.Path()}}));
  const std::string entry = data.Path() + "/applications/" + kDesktopFileName;
  const std::string associations = config.Folder.Path() + "/mimeapps.list";
  const bool written = PollUntil(
      [&] { return fs::exists(entry) && ReadFile(associations).find(kDesktopFileName) != std::string::npos; },
      kUpMs);
  player.Signal(SIGTERM);
  EXPECT_EQ(player.WaitExit(kEndMs), 0) << player.Err();
  ASSERT_TRUE(written);
  const std::string text = ReadFile(entry);
  EXPECT_NE(text.find("Exec=\"" + fs::canonical(PlayerPath()).string() + "\" %u"), std::string::npos) << text;
  EXPECT_NE(text.find("Name=Play in Kestrova.TV Player"), std::string::npos);
}

TEST(Program, EndSignalsSaveTheSettingsAndEndTheRun) {
  const std::string clip = Clip(160, 120, 30);
  struct {
    int Signal;
    bool Playing;  // with a stream and its sound open
    const char* Note;
  } rows[] = {
      {SIGTERM, true, "logout while playing"},
      {SIGINT, true, "Ctrl+C while playing"},
      {SIGHUP, false, "the terminal went, no stream"},
  };
  for (const auto& r : rows) {
    tTempConfig config;
    tTempDir data, scratch;
    config.Settings->LastVolume = 12345;  // what a user set in an earlier run
    ASSERT_TRUE(config.Settings->SaveSettings());
    const std::string sound = scratch.File("sound.raw");
    tPlayerProcess player;
    ASSERT_TRUE(player.Start(r.Playing ? std::vector<std::string>{clip} : std::vector<std::string>{},
                             scratch.File("err"),
                             {{"XDG_DATA_HOME", data.Path()},
                              {"SDL_AUDIODRIVER", "disk"},  // sound opened for real, written to a file
                              {"SDL_DISKAUDIOFILE", sound}}));
    const std::string settings = DefaultRegistryFile();
    if (r.Playing) {
      // The sound device writes, and the stream was recorded among the recent stations (that save is done).
      ASSERT_TRUE(PollUntil(
          [&] { return SoundBytes(sound) > 0 && ReadFile(settings).find(clip) != std::string::npos; }, kUpMs))
          << r.Note << ": " << player.Err();
    } else {
      ASSERT_TRUE(PollUntil(PlayerIsUp, kUpMs)) << r.Note << ": " << player.Err();
    }
    // Only the save at the end can bring the file back.
    ASSERT_TRUE(fs::remove(settings)) << r.Note;
    const auto sent = std::chrono::steady_clock::now();
    player.Signal(r.Signal);
    const int code = player.WaitExit(kEndMs);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - sent)
            .count();
    std::printf("%s: ended %lld ms after the signal\n", r.Note, static_cast<long long>(ms));
    EXPECT_EQ(code, 0) << r.Note << ": " << player.Err();
    tPlayerSettings after;
    after.LoadSettings();
    EXPECT_TRUE(fs::exists(settings)) << r.Note;
    EXPECT_EQ(after.LastVolume, 12345) << r.Note;
  }
}

// An X server of the test's own, so that it can be killed under a player; ended by the test.
class tOwnDisplay {
 public:
  tOwnDisplay() {
    int pipe[2];
    if (::pipe(pipe) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], 3);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const char* argv[] = {"Xvfb",         "-displayfd", "3",   "-screen", "0",
                          "1280x1024x24", "-nolisten",  "tcp", nullptr};
    const bool started =
        posix_spawnp(&Pid, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(pipe[1]);
    char number[16] = {};
    if (started && read(pipe[0], number, sizeof number - 1) > 0)
      Name = ":" + std::string(number, strcspn(number, "\n"));
    close(pipe[0]);
  }
  ~tOwnDisplay() { Kill(); }
  void Kill() {
    if (Pid <= 0) return;
    kill(Pid, SIGTERM);
    waitpid(Pid, nullptr, 0);
    Pid = 0;
  }
  std::string Name;

 private:
  pid_t Pid = 0;
};

TEST(Program, LostDisplayEndsThePlayer) {
  tTempConfig config;
  tTempDir data, scratch;
  tOwnDisplay display;
  ASSERT_FALSE(display.Name.empty()) << "Xvfb did not start";
  const std::string sound = scratch.File("sound.raw");
  const std::string clip = Clip(160, 120, 30);
  tPlayerProcess player;
  ASSERT_TRUE(player.Start({clip}, scratch.File("err"),
                           {{"DISPLAY", display.Name},
                            {"XDG_DATA_HOME", data.Path()},
                            {"SDL_AUDIODRIVER", "disk"},
                            {"SDL_DISKAUDIOFILE", sound}}));
  // Playing: the decoding and visualisation threads go through the main thread's call queue all the time.
  ASSERT_TRUE(PollUntil([&] { return SoundBytes(sound) > 16384; }, kUpMs)) << player.Err();
  const auto killed = std::chrono::steady_clock::now();
  display.Kill();
  const int code = player.WaitExit(kEndMs);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - killed)
          .count();
  std::printf("ended %lld ms after the display went (exit code %d)\n", static_cast<long long>(ms), code);
  EXPECT_NE(code, -1) << "still running: " << player.Err();
  EXPECT_NE(code, -2) << "ended by a signal (crashed): " << player.Err();
  // The socket went with it: the next start is the player.
  EXPECT_TRUE(PollUntil([] { return !PlayerIsUp(); }, 1000));
}

// Files of distinct names for the starts (links to one clip).
std::vector<std::string> Sources(const tTempDir& folder, const std::string& clip, int count) {
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) {
    names.push_back(folder.File("source-" + std::to_string(i) + ".ogv"));
    fs::create_symlink(clip, names.back());
  }
  return names;
}

TEST(Program, SilentPlayerIsTakenOver) {
  tTempConfig config;
  tTempDir data, scratch;
  const std::map<std::string, std::string> environment{{"XDG_DATA_HOME", data.Path()},
                                                       {"QT_LOGGING_RULES", kLogRules}};
  const std::string clip = Clip(160, 120, 30);
  tPlayerProcess first, second, third, fourth;
  ASSERT_TRUE(first.Start({}, scratch.File("first"), environment));
  ASSERT_TRUE(PollUntil(PlayerIsUp, kUpMs)) << first.Err();
  first.Signal(SIGSTOP);

  ASSERT_TRUE(second.Start({clip}, scratch.File("second"), environment));
  EXPECT_TRUE(PollUntil([&] { return second.Err().find("took over") != std::string::npos; }, kUpMs))
      << second.Err();
  EXPECT_NE(second.Err().find("does not answer"), std::string::npos) << "the start says so";
  ASSERT_TRUE(PollUntil(PlayerIsUp, kUpMs));
  EXPECT_TRUE(second.Running());

  // Several arguments through the hand-over, one of them a name that looks like an option.
  tTempDir files;
  const std::vector<std::string> names = Sources(files, clip, 2);
  const std::string odd = files.File("--odd.ogv");
  fs::create_symlink(clip, odd);
  ASSERT_TRUE(third.Start({names[0], "--", odd, names[1]}, scratch.File("third"), environment));
  EXPECT_EQ(third.WaitExit(kUpMs), 0) << third.Err();
  EXPECT_TRUE(PollUntil(
      [&] {
        const std::string log = second.Err();
        return LoggedHandOverOf(log, names[0]) && LoggedHandOverOf(log, odd) &&
               LoggedHandOverOf(log, names[1]);
      },
      kEndMs))
      << second.Err();

  // The silent player comes back and ends; it leaves the socket of the one that took its place alone.
  first.Signal(SIGCONT);
  first.Signal(SIGTERM);
  EXPECT_EQ(first.WaitExit(kEndMs), 0) << first.Err();
  ASSERT_TRUE(fourth.Start({names[1]}, scratch.File("fourth"), environment));
  EXPECT_EQ(fourth.WaitExit(kUpMs), 0) << "handed over to the second player: " << fourth.Err();
  second.Signal(SIGTERM);
  EXPECT_EQ(second.WaitExit(kEndMs), 0) << second.Err();
}

TEST(Program, SimultaneousStartsLeaveOnePlayerWithEveryArgument) {
  const std::string clip = Clip(160, 120, 30);
  constexpr int kRounds = 5, kStarts = 4;
  for (int round = 0; round < kRounds; ++round) {
    tTempConfig config;
    tTempDir data, scratch;
    const std::vector<std::string> names = Sources(scratch, clip, kStarts);
    std::vector<std::unique_ptr<tPlayerProcess>> starts;
    for (int i = 0; i < kStarts; ++i) {
      starts.push_back(std::make_unique<tPlayerProcess>());
      ASSERT_TRUE(starts.back()->Start({names[i]}, scratch.File("err-" + std::to_string(i)),
                                       {{"XDG_DATA_HOME", data.Path()}, {"QT_LOGGING_RULES", kLogRules}}));
    }
    const auto running = [&] {
      int n = 0;
      for (auto& start : starts) n += start->Running();
      return n;
    };
    const auto logs = [&] {
      std::string text;
      for (auto& start : starts) text += "--- start " + std::to_string(start->Id()) + ":\n" + start->Err();
      return text;
    };
    ASSERT_TRUE(PollUntil([&] { return running() <= 1; }, 2 * kUpMs)) << "round " << round << "\n" << logs();
    // Any second player would have stayed: a hand-over ends its start at once.
    ASSERT_EQ(running(), 1) << "round " << round << "\n" << logs();
    tPlayerProcess* player = nullptr;
    for (auto& start : starts) {
      if (start->Running())
        player = start.get();
      else
        EXPECT_EQ(start->WaitExit(0), 0) << "round " << round << ": " << start->Err();
    }
    ASSERT_NE(player, nullptr);
    EXPECT_TRUE(PollUntil(
        [&] {
          const std::string log = player->Err();
          for (int i = 0; i < kStarts; ++i)
            if (starts[i].get() != player && !LoggedHandOverOf(log, names[i])) return false;
          return true;
        },
        kEndMs))
        << "round " << round << ": " << player->Err();
    player->Signal(SIGTERM);
    EXPECT_EQ(player->WaitExit(kEndMs), 0) << "round " << round;
  }
}

}  // namespace
}  // namespace ktv
