#include "library/file_types.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "library/playlist.h"
#include "platform/registry.h"
#include "platform/text.h"

extern char** environ;

namespace ktv {

namespace fs = std::filesystem;

namespace {

// .ogg/.ogm, .m3u, .pls and .xspf under their MIME names.
const char* const kMimeTypes[] = {"application/ogg",     "audio/ogg",     "video/ogg",
                                  "audio/x-mpegurl",     "audio/mpegurl", "audio/x-scpls",
                                  "application/xspf+xml"};
constexpr const char* kSection = "[Added Associations]";
// A mimeapps.list larger than this is not one we dare rewrite.
constexpr uintmax_t kMaxMimeAppsBytes = 4u << 20;

std::string HomeFolder(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  if (value && *value == '/') return value;
  const char* home = std::getenv("HOME");
  return std::string(home ? home : ".") + "/" + fallback;
}

// The program's path as one Exec argument: quoted, with the characters the desktop-entry rules reserve
// escaped, then backslashes doubled once more for the key file's string escaping.
std::string ExecArgument(const std::string& path) {
  std::string quoted = "\"";
  for (char c : path) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    if (c == '%') quoted += '%';
    quoted += c;
  }
  quoted += "\"";
  std::string escaped;
  for (char c : quoted) {
    if (c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

std::string DesktopEntry(const std::string& executable) {
  std::string exec = ExecArgument(executable) + " %u";
  std::string mime;
  for (const char* type : kMimeTypes) mime += std::string(type) + ";";
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Kestrova.TV Player\n"
         "Comment=Player for Ogg network streams\n"
         "Exec=" +
         exec +
         "\n"
         "Terminal=false\n"
         "Categories=AudioVideo;Player;\n"
         "MimeType=" +
         mime +
         "\n"
         "Actions=Play;\n"
         "\n"
         "[Desktop Action Play]\n"
         "Name=Play in Kestrova.TV Player\n"
         "Exec=" +
         exec + "\n";
}

bool ReadWhole(const std::string& fileName, std::string& text, bool& exists) {
  std::error_code ec;
  exists = fs::exists(fileName, ec);
  text.clear();
  if (!exists) return !ec;
  uintmax_t size = fs::file_size(fileName, ec);
  if (ec || size > kMaxMimeAppsBytes) return false;
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  text = s.str();
  return true;
}

// Adds our desktop id to each MIME type's "Added Associations" list, keeping every other line as it was.
std::string AddAssociations(const std::string& text) {
  std::vector<std::string> lines = SplitLines(text);
  size_t section = lines.size();
  for (size_t i = 0; i < lines.size(); ++i)
    if (TrimText(lines[i]) == kSection) {
      section = i;
      break;
    }
  if (section == lines.size()) {
    if (!lines.empty() && !TrimText(lines.back()).empty()) lines.push_back("");
    lines.push_back(kSection);
  }
  for (const char* type : kMimeTypes) {
    size_t end = section + 1;  // one past the section's last non-blank line
    bool done = false;
    for (size_t i = section + 1; i < lines.size(); ++i) {
      std::string trimmed = TrimText(lines[i]);
      if (!trimmed.empty() && trimmed[0] == '[') break;
      if (!trimmed.empty()) end = i + 1;
      size_t eq = lines[i].find('=');
      if (eq == std::string::npos || TrimText(lines[i].substr(0, eq)) != type) continue;
      std::string list = TrimText(lines[i].substr(eq + 1));
      bool present = false;
      std::istringstream ids(list);
      for (std::string id; std::getline(ids, id, ';');) present = present || TrimText(id) == kDesktopFileName;
      if (!present) {
        if (!list.empty() && list.back() != ';') list += ';';
        lines[i] = lines[i].substr(0, eq + 1) + list + kDesktopFileName + ";";
      }
      done = true;
      break;
    }
    if (!done)
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(end),
                   std::string(type) + "=" + kDesktopFileName + ";");
  }
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

void RefreshDesktopDatabase(const std::string& applications) {
  const char* program = "update-desktop-database";
  std::vector<char*> argv = {const_cast<char*>(program), const_cast<char*>(applications.c_str()), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  if (posix_spawnp(&pid, program, &actions, nullptr, argv.data(), environ) == 0) {
    int status;
    waitpid(pid, &status, 0);
  }
  posix_spawn_file_actions_destroy(&actions);
}

bool WriteAssociations(const tFileTypeRoots& roots, const std::string& applications) {
  // A path that cannot be written into an Exec line is not registered at all.
  if (roots.Executable.empty() || roots.Executable.find_first_of("\r\n") != std::string::npos) return false;

  std::string entryFile = applications + "/" + kDesktopFileName;
  std::string entry = DesktopEntry(roots.Executable);
  std::string old;
  bool exists;
  if (!ReadWhole(entryFile, old, exists)) return false;
  if (old != entry && !WriteFileAtomically(entryFile, entry)) return false;

  std::string mimeApps = roots.ConfigHome + "/mimeapps.list";
  std::string text;
  if (!ReadWhole(mimeApps, text, exists)) return false;
  std::string updated = AddAssociations(text);
  if (updated != text && !WriteFileAtomically(mimeApps, updated)) return false;
  return true;
}

}  // namespace

std::vector<std::string> PlayerMimeTypes() {
  return {std::begin(kMimeTypes), std::end(kMimeTypes)};
}

tFileTypeRoots DefaultFileTypeRoots() {
  tFileTypeRoots roots;
  roots.DataHome = HomeFolder("XDG_DATA_HOME", ".local/share");
  roots.ConfigHome = HomeFolder("XDG_CONFIG_HOME", ".config");
  std::error_code ec;
  roots.Executable = fs::read_symlink("/proc/self/exe", ec).string();
  return roots;
}

bool RegisterFileTypes(const tFileTypeRoots& roots) {
  std::string applications = roots.DataHome + "/applications";
  bool ok = WriteAssociations(roots, applications);
  // Like the shell notice, the refresh runs even after a failure: what was written should be seen.
  if (roots.RefreshDatabase) RefreshDesktopDatabase(applications);
  return ok;
}

}  // namespace ktv
