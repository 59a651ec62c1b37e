#include "app/platform_choice.h"

namespace ktv {

namespace {

bool Set(const char* value) {
  return value && *value;
}

}  // namespace

std::string ChooseQtPlatform(const char* userPlatform, const char* waylandDisplay, const char* display) {
  if (Set(userPlatform)) return {};
  if (Set(display)) return "xcb";  // X11 alone, or Xwayland beside the compositor
  if (Set(waylandDisplay)) return "wayland";
  return {};
}

std::vector<char*> ArgumentsWithPlatform(int argc, char** argv, const std::string& platform,
                                         std::vector<std::string>& storage) {
  storage.clear();
  storage.reserve(static_cast<size_t>(argc) + 2);
  for (int i = 0; i < argc; ++i) {
    storage.emplace_back(argv[i]);
    if (i == 0 && !platform.empty()) {
      storage.emplace_back("-platform");
      storage.push_back(platform);
    }
  }
  std::vector<char*> result;
  result.reserve(storage.size() + 1);
  for (std::string& argument : storage) result.push_back(argument.data());
  result.push_back(nullptr);
  return result;
}

}  // namespace ktv
