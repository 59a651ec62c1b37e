// The program as a desktop starts it: the first start offers the player for Ogg and playlist files.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>

#include "app_test_support.h"
#include "library/file_types.h"

extern char** environ;

namespace ktv {
namespace {

using namespace ktv::test;

TEST(Program, FirstStartOffersItselfForOggFiles) {
  tTempConfig config;
  tTempDir data;
  setenv("XDG_DATA_HOME", data.Path().c_str(), 1);
  const std::string player = std::string(KTV_BUILD_DIR) + "/src/app/kestrova-tv";
  char* argv[] = {const_cast<char*>(player.c_str()), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, player.c_str(), nullptr, nullptr, argv, environ), 0);
  unsetenv("XDG_DATA_HOME");

  const std::string entry = data.Path() + "/applications/" + kDesktopFileName;
  const std::string associations = config.Folder.Path() + "/mimeapps.list";
  const bool written = WaitUntil(
      [&] {
        return std::filesystem::exists(entry) &&
               ReadFile(associations).find(kDesktopFileName) != std::string::npos;
      },
      15000);
  // The player runs until it is closed: this test started it, and ends it.
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(written);
  const std::string text = ReadFile(entry);
  EXPECT_NE(text.find("Exec=\"" + std::filesystem::canonical(player).string() + "\" %u"), std::string::npos)
      << text;
  EXPECT_NE(text.find("Name=Play in Kestrova.TV Player"), std::string::npos);
}

}  // namespace
}  // namespace ktv
