// kestrova-cli vis SOURCE --png DIR [--frames N] [--size WxH]
//
// Runs the visualisation over the sound of a source without a window: the audio is handed over as a sound
// output would (ahead of playback), the played position advances 20 ms per frame on a clock of the command's
// own, and every Nth finished picture is written to DIR as frame_00000.png, frame_00001.png, ... SOURCE is a
// 16-bit PCM WAV file.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "vis/png_writer.h"
#include "vis/visulisation_system.h"

namespace ktv::cli {

namespace {

constexpr uint32_t kFrameMs = 20;       // the player shows a visualisation frame every 20 ms
constexpr int32_t kAheadMs = 500;       // how far the decoded sound runs ahead of what is heard
constexpr int32_t kBlockFrames = 4096;  // frames handed over per AddAudio, as a sound output's block
constexpr uintmax_t kMaxWavBytes = uintmax_t{1} << 30;

struct tPcm {
  int32_t Rate = 0, Channels = 0;
  std::vector<int16_t> Samples;  // interleaved
};

uint32_t Get32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24);
}
uint16_t Get16(const unsigned char* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// Reads a RIFF WAVE file of 16-bit PCM; chunk sizes are checked against the file, never trusted.
bool ReadWav(const std::string& path, tPcm& pcm, std::string& error) {
  std::error_code ec;
  uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec || size > kMaxWavBytes) {
    error = ec ? "cannot read the file" : "file too large";
    return false;
  }
  std::vector<unsigned char> data(static_cast<size_t>(size));
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    error = "cannot read the file";
    return false;
  }
  bool readOk = std::fread(data.data(), 1, data.size(), f) == data.size();
  std::fclose(f);
  if (!readOk || data.size() < 12 || std::memcmp(data.data(), "RIFF", 4) != 0 ||
      std::memcmp(data.data() + 8, "WAVE", 4) != 0) {
    error = "not a WAV file";
    return false;
  }
  bool haveFormat = false;
  for (size_t at = 12; at + 8 <= data.size();) {
    const unsigned char* chunk = data.data() + at;
    size_t length = Get32(chunk + 4);
    size_t available = data.size() - at - 8;
    if (std::memcmp(chunk, "fmt ", 4) == 0 && length >= 16 && length <= available) {
      uint16_t format = Get16(chunk + 8), bits = Get16(chunk + 22);
      pcm.Channels = Get16(chunk + 10);
      pcm.Rate = static_cast<int32_t>(std::min<uint32_t>(Get32(chunk + 12), INT32_MAX));
      if ((format != 1 && format != 0xFFFE) || bits != 16 || pcm.Channels < 1 || pcm.Rate < 1) {
        error = "only 16-bit PCM WAV files are supported";
        return false;
      }
      haveFormat = true;
    } else if (std::memcmp(chunk, "data", 4) == 0 && haveFormat) {
      length = std::min(length, available);  // a header written before the end was known may overstate it
      size_t frameBytes = static_cast<size_t>(pcm.Channels) * 2;
      pcm.Samples.resize(length / frameBytes * pcm.Channels);
      std::memcpy(pcm.Samples.data(), chunk + 8, pcm.Samples.size() * 2);
      return true;
    }
    at += 8 + length + (length & 1);
  }
  error = "no 16-bit PCM sound found";
  return false;
}

bool ParseSize(const std::string& text, int32_t& w, int32_t& h) {
  unsigned long long a = 0, b = 0;
  char x = 0, extra = 0;
  if (std::sscanf(text.c_str(), "%llu%c%llu%c", &a, &x, &b, &extra) != 3 || (x != 'x' && x != 'X'))
    return false;
  if (a < 1 || b < 1 || a > 4096 || b > 4096) return false;
  w = static_cast<int32_t>(a), h = static_cast<int32_t>(b);
  return true;
}

int RunVis(const std::vector<std::string>& args) {
  std::string source, folder;
  int32_t every = 25, width = 352, height = 288;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    bool hasValue = i + 1 < args.size();
    if (a == "--png" && hasValue) {
      folder = args[++i];
    } else if (a == "--frames" && hasValue) {
      every = std::atoi(args[++i].c_str());
      if (every < 1) return std::fprintf(stderr, "vis: --frames needs a positive number\n"), 2;
    } else if (a == "--size" && hasValue) {
      if (!ParseSize(args[++i], width, height)) return std::fprintf(stderr, "vis: --size needs WxH\n"), 2;
    } else if (source.empty() && !a.starts_with("--")) {
      source = a;
    } else {
      source.clear();
      break;
    }
  }
  if (source.empty() || folder.empty()) {
    std::fprintf(stderr, "usage: kestrova-cli vis SOURCE.wav --png DIR [--frames N] [--size WxH]\n");
    return 2;
  }
  tPcm pcm;
  std::string error;
  if (!ReadWav(source, pcm, error)) {
    std::fprintf(stderr, "vis: %s: %s\n", source.c_str(), error.c_str());
    return 1;
  }
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (!std::filesystem::is_directory(folder, ec)) {
    std::fprintf(stderr, "vis: cannot create %s\n", folder.c_str());
    return 1;
  }

  int64_t played = 0;
  TVisulisationSystem::tOptions options;
  options.StartThread = false;
  options.Seed = 1;  // the same sound always gives the same pictures
  TVisulisationSystem vis([&played] { return played; }, options);
  vis.Configure(width, height, false, true);
  vis.SetAudioFormat(pcm.Rate, pcm.Channels, 2);
  vis.ResetPosition();
  vis.SetSuppressed(false);
  vis.SetSize(width, height);
  const uint32_t start = 1000;
  vis.RestartClock(start);

  const int64_t total = static_cast<int64_t>(pcm.Samples.size()) / pcm.Channels;
  int64_t handedOver = 0;
  int32_t pictures = 0;
  int64_t frames = 0;
  for (;; ++frames) {
    int64_t elapsedMs = frames * kFrameMs;
    played = std::min(total, elapsedMs * pcm.Rate / 1000);
    int64_t wanted = std::min(total, played + int64_t{kAheadMs} * pcm.Rate / 1000);
    while (handedOver < wanted) {
      int32_t n = static_cast<int32_t>(std::min<int64_t>(kBlockFrames, wanted - handedOver));
      vis.AddAudio(pcm.Samples.data() + handedOver * pcm.Channels, n);
      handedOver += n;
    }
    vis.FeedPlayedAudio();
    vis.BuildFrame(start + static_cast<uint32_t>(elapsedMs));
    if (frames % every == 0) {
      int32_t w = 0, h = 0;
      const uint32_t* pixels = vis.LockFrame(w, h);
      char name[32];
      std::snprintf(name, sizeof name, "frame_%05d.png", pictures);
      bool written = pixels && WritePng(folder + "/" + name, pixels, w, h);
      vis.UnlockFrame();
      if (!written) {
        std::fprintf(stderr, "vis: cannot write %s/%s\n", folder.c_str(), name);
        return 1;
      }
      ++pictures;
    }
    if (played >= total) break;
  }
  std::printf("{\"frames\":%lld,\"pictures\":%d,\"beats\":%u,\"width\":%d,\"height\":%d,\"seconds\":%.3f}\n",
              static_cast<long long>(frames + 1), pictures, vis.GetDetector().BeatCount(), width, height,
              static_cast<double>(total) / pcm.Rate);
  return 0;
}

tCommandRegistration registration{"vis", "vis SOURCE.wav --png DIR [--frames N] [--size WxH]", RunVis};

}  // namespace

}  // namespace ktv::cli
