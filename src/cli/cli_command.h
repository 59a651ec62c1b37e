// kestrova-cli: the player's core without windows. Each command is a file of its own that registers itself:
//
//   static ktv::cli::tCommandRegistration reg{"probe", "probe FILE|URL", RunProbe};
//
// A command returns the process exit code: 0 success, 1 failure of the job, 2 bad usage (the program then
// prints the command's usage line).
#pragma once

#include <string>
#include <vector>

namespace ktv::cli {

using tCommandFunction = int (*)(const std::vector<std::string>& args);

struct tCommandRegistration {
  tCommandRegistration(const char* name, const char* usage, tCommandFunction run);
};

// JSON string literal (with quotes) of 8-bit text; bytes outside ASCII are passed through as \u00XX.
std::string JsonString(const std::string& text);

}  // namespace ktv::cli
