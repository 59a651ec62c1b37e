// Helpers shared by the tests: temporary folders, generated media, running the command-line program.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ktv::test {

// An environment variable set for the object's life; the earlier value (or its absence) comes back after.
class tScopedEnv {
 public:
  tScopedEnv(const char* name, const std::string& value);
  ~tScopedEnv();
  tScopedEnv(const tScopedEnv&) = delete;
  tScopedEnv& operator=(const tScopedEnv&) = delete;

 private:
  std::string Name;
  std::optional<std::string> Old;
};

// A fresh folder under the system's temporary folder, removed with everything in it when the object goes.
class tTempDir {
 public:
  tTempDir();
  ~tTempDir();
  tTempDir(const tTempDir&) = delete;
  tTempDir& operator=(const tTempDir&) = delete;
  const std::string& Path() const { return Folder; }
  std::string File(const std::string& name) const { return Folder + "/" + name; }

 private:
  std::string Folder;
};

// Path of an Ogg file made by the test-media generator with these arguments (see tools/make-test-media).
// Files are cached in the build folder under a name derived from the arguments, so each is made once.
// Fails the calling test (ASSERT-style, returns "") when the generator fails.
std::string MakeMedia(const std::vector<std::string>& args);

// Same, and also the exact pictures and sound that were encoded (raw .y4m and .wav beside the .ogg).
struct tMediaFiles {
  std::string Ogg, Y4M, Wav;
};
tMediaFiles MakeMediaWithRaw(const std::vector<std::string>& args);

// Whole file as bytes; empty when it cannot be read.
std::string ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::string& bytes);

// Runs a program with arguments; returns its exit code (or -1) and its standard output / error.
struct tRunResult {
  int ExitCode = -1;
  std::string Out, Err;
};
tRunResult RunProgram(const std::string& program, const std::vector<std::string>& args);
// Fields of a one-line JSON result: a number (NaN when missing) and a string (undecoded escapes; "" when
// missing).
double JsonNumber(const std::string& json, const std::string& name);
std::string JsonText(const std::string& json, const std::string& name);

// Runs kestrova-cli of this build.
tRunResult RunCli(const std::vector<std::string>& args);

}  // namespace ktv::test
