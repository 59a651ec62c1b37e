// kestrova-cli playlist FILE: the result of reading a playlist file, as one JSON object on one line.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "library/playlist.h"

namespace ktv::cli {
namespace {

int RunPlaylist(const std::vector<std::string>& args) {
  if (args.size() != 1) return 2;
  tPlaylist list;
  bool isPlaylist = list.LoadFromFile(args[0]);
  std::string out = std::string("{\"playlist\":") + (isPlaylist ? "true" : "false") + ",\"entries\":[";
  for (int i = 0; i < list.Count(); ++i) {
    const tPlayListEntry& e = list[i];
    if (i > 0) out += ",";
    out += "{\"location\":" + JsonString(e.Location) + ",\"title\":" + JsonString(e.Title) +
           ",\"annotation\":" + JsonString(e.Annotation) + ",\"genre\":" + JsonString(e.Genre) +
           ",\"info\":" + JsonString(e.Info) + ",\"duration\":" + std::to_string(e.Duration) + "}";
  }
  out += "]}\n";
  std::fputs(out.c_str(), stdout);
  return 0;
}

tCommandRegistration reg{"playlist", "playlist FILE", RunPlaylist};

}  // namespace
}  // namespace ktv::cli
