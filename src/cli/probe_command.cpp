// kestrova-cli probe FILE: the logical streams found by the header scan, as one line of JSON.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "ogg/ogg_io_base.h"

namespace ktv::cli {
namespace {

class tFileSource : public tOggIOBase {
 public:
  explicit tFileSource(FILE* file) : File(file) {}
  int32_t ReadData(uint8_t* buffer, int32_t size) override {
    return static_cast<int32_t>(std::fread(buffer, 1, static_cast<size_t>(size), File));
  }

 private:
  FILE* File;
};

int RunProbe(const std::vector<std::string>& args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "usage: kestrova-cli probe FILE\n");
    return 2;
  }
  FILE* file = std::fopen(args[0].c_str(), "rb");
  if (!file) {
    std::fprintf(stderr, "kestrova-cli: cannot open %s\n", args[0].c_str());
    return 1;
  }
  bool scanned;
  std::string json = "{\"streams\":[";
  int32_t count;
  {
    tFileSource source(file);
    scanned = source.ReadStreamHeaders();
    count = source.StreamCount();
    for (int32_t i = 0; i < count; ++i) {
      if (i) json += ",";
      json += "{\"index\":" + std::to_string(i) + ",\"codec\":" + JsonString(source.StreamName(i)) + "}";
    }
  }
  std::fclose(file);
  json += "]}";
  std::printf("%s\n", json.c_str());
  return scanned && count > 0 ? 0 : 1;
}

tCommandRegistration reg{"probe", "probe FILE", RunProbe};

}  // namespace
}  // namespace ktv::cli
