#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "platform/main_thread.h"

namespace ktv::cli {

namespace {
struct tCommand {
  const char* Usage;
  tCommandFunction Run;
};
std::map<std::string, tCommand>& Commands() {
  static std::map<std::string, tCommand> commands;
  return commands;
}
}  // namespace

tCommandRegistration::tCommandRegistration(const char* name, const char* usage, tCommandFunction run) {
  Commands()[name] = {usage, run};
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

}  // namespace ktv::cli

int main(int argc, char** argv) {
  ktv::SetMainThread();
  auto& commands = ktv::cli::Commands();
  if (argc < 2 || commands.find(argv[1]) == commands.end()) {
    std::fprintf(stderr, "usage: kestrova-cli COMMAND ...\n");
    for (auto& [name, command] : commands) std::fprintf(stderr, "  kestrova-cli %s\n", command.Usage);
    return 2;
  }
  std::vector<std::string> args(argv + 2, argv + argc);
  const auto& command = commands[argv[1]];
  const int code = command.Run(args);
  if (code == 2) std::fprintf(stderr, "usage: kestrova-cli %s\n", command.Usage);
  return code;
}
