// The window-system platform the player asks Qt for: X11 wherever an X server is there (also beside a
// Wayland compositor, where the console could not be placed), Wayland when it is alone, the user's choice
// always.
#include "app/platform_choice.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ktv {
namespace {

TEST(PlatformChoice, FollowsTheSession) {
  struct {
    const char *user, *wayland, *display;
    const char* chosen;
    const char* note;
  } rows[] = {
      {nullptr, "wayland-0", ":1", "xcb",
       "Xwayland beside the compositor: X11, so the console can be placed"},
      {nullptr, "wayland-0", nullptr, "wayland", "Wayland alone: natively"},
      {nullptr, "wayland-0", "", "wayland", "an empty DISPLAY is no X server"},
      {nullptr, nullptr, ":0", "xcb", "X11 alone"},
      {"wayland", "wayland-0", ":1", "", "the user's choice wins over Xwayland"},
      {"offscreen", nullptr, nullptr, "", "the user's choice without any window system"},
      {"", "wayland-0", nullptr, "wayland", "an empty QT_QPA_PLATFORM is no choice"},
      {nullptr, nullptr, nullptr, "", "nothing to go by: Qt's own default and its message"},
  };
  for (const auto& r : rows) EXPECT_EQ(ChooseQtPlatform(r.user, r.wayland, r.display), r.chosen) << r.note;
}

TEST(PlatformChoice, ThePlatformGoesRightAfterTheProgramsName) {
  struct {
    std::vector<std::string> argv;
    std::string platform;
    std::vector<std::string> expected;
  } rows[] = {
      {{"kestrova-tv", "--", "-x.ogv"}, "xcb", {"kestrova-tv", "-platform", "xcb", "--", "-x.ogv"}},
      {{"kestrova-tv", "a.ogv"}, "", {"kestrova-tv", "a.ogv"}},
      {{"kestrova-tv"}, "wayland", {"kestrova-tv", "-platform", "wayland"}},
  };
  for (auto& r : rows) {
    std::vector<char*> argv;
    for (std::string& a : r.argv) argv.push_back(a.data());
    std::vector<std::string> storage;
    const std::vector<char*> result =
        ArgumentsWithPlatform(static_cast<int>(argv.size()), argv.data(), r.platform, storage);
    ASSERT_EQ(result.size(), r.expected.size() + 1);
    for (size_t i = 0; i < r.expected.size(); ++i) EXPECT_STREQ(result[i], r.expected[i].c_str());
    EXPECT_EQ(result.back(), nullptr) << "argv ends with a null, as QApplication expects";
  }
}

}  // namespace
}  // namespace ktv
