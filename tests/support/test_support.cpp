#include "support/test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <regex>
#include <sstream>

extern char** environ;

namespace ktv::test {

namespace fs = std::filesystem;

tScopedEnv::tScopedEnv(const char* name, const std::string& value) : Name(name) {
  if (const char* old = std::getenv(name)) Old = old;
  setenv(name, value.c_str(), 1);
}

tScopedEnv::~tScopedEnv() {
  if (Old)
    setenv(Name.c_str(), Old->c_str(), 1);
  else
    unsetenv(Name.c_str());
}

tTempDir::tTempDir() {
  std::string templ = (fs::temp_directory_path() / "ktv-test-XXXXXX").string();
  char* made = mkdtemp(templ.data());
  Folder = made ? made : "";
}

tTempDir::~tTempDir() {
  std::error_code ec;
  if (!Folder.empty()) fs::remove_all(Folder, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

tRunResult RunProgram(const std::string& program, const std::vector<std::string>& args) {
  tRunResult result;
  tTempDir tmp;
  std::string outPath = tmp.File("out"), errPath = tmp.File("err");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.ExitCode = WEXITSTATUS(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  result.Out = ReadFile(outPath);
  result.Err = ReadFile(errPath);
  return result;
}

tRunResult RunCli(const std::vector<std::string>& args) {
  return RunProgram(KTV_CLI_PATH, args);
}

namespace {

std::mutex gMediaLock;

// The name covers the arguments and the generator itself, so a rebuilt generator never serves old files.
std::string MediaName(const std::vector<std::string>& args) {
  std::error_code ec;
  std::string key = std::to_string(fs::file_size(KTV_MEDIA_TOOL, ec)) + '\x1f' +
                    std::to_string(fs::last_write_time(KTV_MEDIA_TOOL, ec).time_since_epoch().count()) +
                    '\x1f';
  for (const std::string& a : args) key += a + '\x1f';
  return std::to_string(std::hash<std::string>{}(key));
}

bool Generate(const std::string& ogg, std::vector<std::string> args) {
  // Write under a temporary name and rename, so parallel test programs never see half a file.
  std::string part = ogg + ".part" + std::to_string(getpid());
  args.insert(args.begin(), part);
  for (auto& a : args) {
    if (a == "@Y4M") a = part + ".y4m";
    if (a == "@WAV") a = part + ".wav";
  }
  tRunResult r = RunProgram(KTV_MEDIA_TOOL, args);
  if (r.ExitCode != 0) {
    ADD_FAILURE() << "make-test-media failed: " << r.Err;
    return false;
  }
  std::error_code ec;
  if (fs::exists(part + ".y4m")) fs::rename(part + ".y4m", ogg + ".y4m", ec);
  if (fs::exists(part + ".wav")) fs::rename(part + ".wav", ogg + ".wav", ec);
  fs::rename(part, ogg, ec);
  return !ec;
}

}  // namespace

std::string MakeMedia(const std::vector<std::string>& args) {
  std::lock_guard<std::mutex> guard(gMediaLock);
  std::string dir = std::string(KTV_BUILD_DIR) + "/test-media";
  fs::create_directories(dir);
  std::string ogg = dir + "/" + MediaName(args) + ".ogg";
  if (!fs::exists(ogg) && !Generate(ogg, args)) return "";
  return ogg;
}

tMediaFiles MakeMediaWithRaw(const std::vector<std::string>& args) {
  std::vector<std::string> all = args;
  all.insert(all.end(), {"--y4m", "@Y4M", "--wav", "@WAV"});
  std::lock_guard<std::mutex> guard(gMediaLock);
  std::string dir = std::string(KTV_BUILD_DIR) + "/test-media";
  fs::create_directories(dir);
  std::string ogg = dir + "/" + MediaName(all) + ".ogg";
  if (!fs::exists(ogg) && !Generate(ogg, all)) return {};
  return {ogg, ogg + ".y4m", ogg + ".wav"};
}

}  // namespace ktv::test

namespace ktv::test {

double JsonNumber(const std::string& json, const std::string& name) {
  std::smatch m;
  if (!std::regex_search(json, m, std::regex("\"" + name + "\":(-?[0-9.]+)"))) return NAN;
  return std::stod(m[1]);
}

std::string JsonText(const std::string& json, const std::string& name) {
  std::smatch m;
  if (!std::regex_search(json, m, std::regex("\"" + name + "\":\"((?:[^\"\\\\]|\\\\.)*)\""))) return "";
  return m[1];
}

}  // namespace ktv::test
