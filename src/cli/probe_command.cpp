// kestrova-cli probe FILE: the logical streams found by the header scan and, when the decoders open, the
// video and audio parameters and the comment lines, as one line of JSON.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "cli/decoder_set.h"

namespace ktv::cli {
namespace {

std::string JsonNumber(double value) {
  if (!std::isfinite(value)) return "0";
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

std::string VideoJson(const tOggTheoraCodec& video) {
  const theora_info& i = video.Info;
  return "\"video\":{\"width\":" + std::to_string(i.width) + ",\"height\":" + std::to_string(i.height) +
         ",\"frame_width\":" + std::to_string(i.frame_width) +
         ",\"frame_height\":" + std::to_string(i.frame_height) +
         ",\"offset_x\":" + std::to_string(i.offset_x) + ",\"offset_y\":" + std::to_string(i.offset_y) +
         ",\"fps\":" + JsonNumber(video.FrameRate()) + ",\"aspect\":" + JsonNumber(video.AspectRatio()) +
         ",\"pixelformat\":" + std::to_string(video.PixelFormat()) + "}";
}

int RunProbe(const std::vector<std::string>& args) {
  if (args.size() != 1) {
    std::fprintf(stderr, "usage: kestrova-cli probe FILE\n");
    return 2;
  }
  tDecoderSet set(LocalPath(args[0]));
  if (!set.Source.IsOpen()) {
    std::fprintf(stderr, "kestrova-cli: cannot open %s\n", args[0].c_str());
    return 1;
  }
  set.OpenLink();
  int32_t count = set.Source.StreamCount();
  std::string json = "{\"streams\":[";
  for (int32_t i = 0; i < count; ++i) {
    if (i) json += ",";
    json += "{\"index\":" + std::to_string(i) + ",\"codec\":" + JsonString(set.Source.StreamName(i)) + "}";
  }
  json += "]";
  if (set.VideoOpen) json += "," + VideoJson(set.Video);
  if (set.AudioOpen)
    json += ",\"audio\":{\"channels\":" + std::to_string(set.Audio.Info.channels) +
            ",\"rate\":" + std::to_string(set.Audio.Info.rate) + "}";
  if (set.VideoOpen || set.AudioOpen) {
    // Vendor strings first, then the comment lines, video before audio.
    std::vector<std::string> vendors, lines;
    auto split = [&](const std::vector<std::string>& comments, const char* vendor) {
      size_t skip = vendor && *vendor && !comments.empty() ? 1 : 0;
      if (skip) vendors.push_back(comments.front());
      lines.insert(lines.end(), comments.begin() + static_cast<ptrdiff_t>(skip), comments.end());
    };
    if (set.VideoOpen) split(set.Video.Comments, set.Video.Comment.vendor);
    if (set.AudioOpen) split(set.Audio.Comments, set.Audio.Comment.vendor);
    json += ",\"comments\":[";
    bool first = true;
    for (const auto* list : {&vendors, &lines})
      for (const std::string& line : *list) {
        if (!first) json += ",";
        json += JsonString(line);
        first = false;
      }
    json += "]";
  }
  json += "}";
  std::printf("%s\n", json.c_str());
  return set.Scanned && count > 0 ? 0 : 1;
}

tCommandRegistration reg{"probe", "probe FILE", RunProbe};

}  // namespace
}  // namespace ktv::cli
