// kestrova-cli probe FILE|URL: the logical streams found by the header scan and, when the decoders open, the
// video and audio parameters and the comment lines, as one line of JSON.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "cli/decoder_set.h"
#include "ogg/opus_codec.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "stream/network_ogg_receiver.h"

namespace ktv::cli {
namespace {

// A server that has not started sending within this time is reported as a time-out.
constexpr uint32_t kProbeTimeoutMs = 20000;

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

std::string AudioJson(const tOggAudioCodec& audio) {
  std::string json = "\"audio\":{\"codec\":" + JsonString(AudioCodecName(audio.Kind())) +
                     ",\"channels\":" + std::to_string(audio.Channels()) +
                     ",\"rate\":" + std::to_string(audio.Rate());
  if (const auto* opus = dynamic_cast<const tOggOpusCodec*>(&audio)) {
    const tOpusHeader& h = opus->Info;
    json += ",\"input_rate\":" + std::to_string(h.InputRate) + ",\"pre_skip\":" + std::to_string(h.PreSkip) +
            ",\"output_gain_db\":" + JsonNumber(h.OutputGain / 256.0) +
            ",\"mapping_family\":" + std::to_string(h.MappingFamily) +
            ",\"streams\":" + std::to_string(h.StreamCount) +
            ",\"coupled\":" + std::to_string(h.CoupledCount);
  }
  return json + "}";
}

template <class tSet>
std::string StreamsJson(tSet& set) {
  int32_t count = set.Source.StreamCount();
  std::string json = "{\"streams\":[";
  for (int32_t i = 0; i < count; ++i) {
    if (i) json += ",";
    json += "{\"index\":" + std::to_string(i) + ",\"codec\":" + JsonString(set.Source.StreamName(i)) + "}";
  }
  json += "]";
  const tOggTheoraCodec* video = set.Link.Video.get();
  const tOggAudioCodec* audio = set.Link.Audio.get();
  if (video) json += "," + VideoJson(*video);
  if (audio) json += "," + AudioJson(*audio);
  if (video || audio) {
    // Vendor strings first, then the comment lines, video before audio.
    std::vector<std::string> vendors, lines;
    auto split = [&](const tOggStreamDecoder& codec) {
      const std::vector<std::string>& comments = codec.Comments;
      size_t skip = !codec.Vendor.empty() && !comments.empty() ? 1 : 0;
      if (skip) vendors.push_back(comments.front());
      lines.insert(lines.end(), comments.begin() + static_cast<ptrdiff_t>(skip), comments.end());
    };
    if (video) split(*video);
    if (audio) split(*audio);
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
  return json;
}

std::string MetadataJson(const tNetworkOggReceiver& r) {
  return ",\"metadata\":{\"server\":" + JsonString(r.GetServer()) +
         ",\"content_type\":" + JsonString(r.GetContentType()) +
         ",\"bitrate\":" + std::to_string(r.GetBitrate()) + ",\"station\":" + JsonString(r.GetStationName()) +
         ",\"description\":" + JsonString(r.GetDescription()) + ",\"genre\":" + JsonString(r.GetGenre()) +
         ",\"station_url\":" + JsonString(r.GetStationURL()) +
         ",\"stream_url\":" + JsonString(r.GetStreamURL()) +
         ",\"public\":" + (r.GetIsPublic() ? "true" : "false") + "}";
}

bool IsLocalFile(const std::string& address) {
  std::error_code ec;
  return StartsWithText(address, "file://") || std::filesystem::is_regular_file(address, ec) ||
         address.find("://") == std::string::npos;
}

// A stream address goes through the receiver: connect, wait until it buffers, then scan as for a file.
int ProbeStream(const std::string& address) {
  tDecoderSetOn<tNetworkOggReceiver> set;
  set.Source.Connect(address, 10);
  uint32_t start = timeGetTime();
  uint8_t state;
  while ((state = set.Source.GetState()) != RS_BUFFERING && state != RS_PLAYING && state != RS_TEXT) {
    bool failed = state == RS_IDLE && set.Source.GetErrorCode() != RE_NONE;
    if (failed || timeGetTime() - start > kProbeTimeoutMs) {
      std::printf("{\"streams\":[]%s}\n", MetadataJson(set.Source).c_str());
      int code = failed ? set.Source.GetErrorCode() : RE_TIMEOUT;
      std::fprintf(stderr, "kestrova-cli: %s\n", ReceiverErrorText(code).c_str());
      return 1;
    }
    Sleep(10);
  }
  if (state == RS_TEXT) {
    std::printf("{\"streams\":[]%s,\"text\":%s}\n", MetadataJson(set.Source).c_str(),
                JsonString(set.Source.GetTextData()).c_str());
    return 1;
  }
  set.OpenLink();
  std::printf("%s%s}\n", StreamsJson(set).c_str(), MetadataJson(set.Source).c_str());
  bool ok = set.Scanned && set.Source.StreamCount() > 0;
  set.Link.Close();
  set.Source.Disconnect();
  return ok ? 0 : 1;
}

int RunProbe(const std::vector<std::string>& args) {
  if (args.size() != 1) return 2;
  if (!IsLocalFile(args[0])) return ProbeStream(args[0]);
  tDecoderSet set(LocalFilePath(args[0]));
  if (!set.Source.IsOpen()) {
    std::fprintf(stderr, "kestrova-cli: cannot open %s\n", args[0].c_str());
    return 1;
  }
  set.OpenLink();
  std::printf("%s}\n", StreamsJson(set).c_str());
  return set.Scanned && set.Source.StreamCount() > 0 ? 0 : 1;
}

tCommandRegistration reg{"probe", "probe FILE|URL", RunProbe};

}  // namespace
}  // namespace ktv::cli
