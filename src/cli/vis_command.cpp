// kestrova-cli vis SOURCE --png DIR [--frames N] [--size WxH]
//
// Runs the visualisation over the sound of a source without a window: the audio is handed over as a sound
// output would (ahead of playback), the played position advances 20 ms per frame on a clock of the command's
// own, and every Nth finished picture is written to DIR as frame_00000.png, frame_00001.png, ... SOURCE is a
// local Ogg file (its Vorbis sound, link after link) or a 16-bit PCM WAV file.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "ogg/file_source.h"
#include "ogg/link_decoders.h"
#include "stream/network_receiver_thread.h"
#include "vis/png_writer.h"
#include "vis/visulisation_system.h"

namespace ktv::cli {

namespace {

constexpr uint32_t kFrameMs = 20;       // the player shows a visualisation frame every 20 ms
constexpr int32_t kAheadMs = 500;       // how far the decoded sound runs ahead of what is heard
constexpr int32_t kBlockFrames = 4096;  // frames handed over per AddAudio, as a sound output's block
constexpr uintmax_t kMaxWavBytes = uintmax_t{1} << 30;
constexpr int kMaxFailuresInARow = 8;  // damaged packets skipped before the sound counts as ended
constexpr int32_t kMaxRate = 768000;

struct tPcm {
  int32_t Rate = 0, Channels = 0;
  std::vector<int16_t> Samples;  // interleaved
};

// A block of decoded sound in the format it came in (a chained file may change format at a link).
struct tPcmBlock {
  int32_t Rate = 0, Channels = 0, Frames = 0;
  std::vector<int16_t> Samples;
};

// Where the sound comes from, one block at a time; false at the end.
class tSoundSource {
 public:
  virtual ~tSoundSource() = default;
  virtual bool Next(tPcmBlock& block) = 0;
};

class tWavSound : public tSoundSource {
 public:
  explicit tWavSound(tPcm pcm) : Pcm(std::move(pcm)) {}
  bool Next(tPcmBlock& block) override {
    int64_t total = static_cast<int64_t>(Pcm.Samples.size()) / Pcm.Channels;
    if (At >= total) return false;
    block.Rate = Pcm.Rate, block.Channels = Pcm.Channels;
    block.Frames = static_cast<int32_t>(std::min<int64_t>(kBlockFrames, total - At));
    auto first = Pcm.Samples.begin() + At * Pcm.Channels;
    block.Samples.assign(first, first + int64_t{block.Frames} * Pcm.Channels);
    At += block.Frames;
    return true;
  }

 private:
  tPcm Pcm;
  int64_t At = 0;
};

// The sound of a local Ogg file, link after link; other streams are passed over.
class tOggSound : public tSoundSource {
 public:
  explicit tOggSound(const std::string& path) : Source(path) {}
  bool IsOpen() const { return Source.IsOpen(); }
  bool OpenLink() {
    Source.ReadStreamHeaders();
    return Link.Open(Source, tOggLinkDecoders::kAudio);
  }
  bool Next(tPcmBlock& block) override {
    for (;;) {
      tOggAudioCodec* audio = Link.Audio.get();
      if (!audio) return false;  // a link without sound ends it
      block.Rate = audio->Rate(), block.Channels = audio->Channels();
      if (block.Rate < 1 || block.Rate > kMaxRate || block.Channels < 1) return false;
      block.Samples.resize(static_cast<size_t>(kBlockFrames) * static_cast<size_t>(block.Channels));
      int32_t count = kBlockFrames;
      double time = 0;
      audio->Decode(block.Samples.data(), count, time);
      if (count > 0) {  // frames delivered before a damaged packet are kept
        Failures = 0;
        block.Frames = count;
        return true;
      }
      // Nothing: the link ended (its successor's first page is held), the file ended, or a damaged packet.
      if (Source.PagePending) {
        if (!NextLink()) return false;
      } else if (Source.AtEnd() || ++Failures >= kMaxFailuresInARow) {
        return false;
      }
    }
  }

 private:
  bool NextLink() {
    if (!Source.PagePending) return false;
    Link.NextLink(Source);
    return Link.Open(Source, tOggLinkDecoders::kAudio);
  }

  tOggFileSource Source;  // declared first: the decoder closes before its source goes
  tOggLinkDecoders Link;
  int Failures = 0;
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

// The first four bytes of a file ("" when it has fewer).
std::string FileHead(const std::string& path) {
  char head[4];
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return {};
  size_t n = std::fread(head, 1, 4, f);
  std::fclose(f);
  return std::string(head, n == 4 ? 4 : 0);
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
  if (source.empty() || folder.empty()) return 2;
  // A RIFF header means a WAV file; anything else is taken for Ogg.
  std::unique_ptr<tSoundSource> sound;
  std::string path = LocalFilePath(source);
  std::string head = FileHead(path);
  if (head == "RIFF") {
    tPcm pcm;
    std::string error;
    if (!ReadWav(path, pcm, error)) {
      std::fprintf(stderr, "vis: %s: %s\n", source.c_str(), error.c_str());
      return 1;
    }
    sound = std::make_unique<tWavSound>(std::move(pcm));
  } else {
    auto ogg = std::make_unique<tOggSound>(path);
    if (!ogg->IsOpen()) {
      std::fprintf(stderr, "vis: cannot open %s\n", source.c_str());
      return 1;
    }
    if (!ogg->OpenLink()) {
      std::fprintf(stderr, "vis: %s: no sound found\n", source.c_str());
      return 1;
    }
    sound = std::move(ogg);
  }
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (!std::filesystem::is_directory(folder, ec)) {
    std::fprintf(stderr, "vis: cannot create %s\n", folder.c_str());
    return 1;
  }

  int64_t played = 0;  // frames of the current format heard, what a sound output would report
  TVisulisationSystem::tOptions options;
  options.StartThread = false;
  options.Seed = 1;  // the same sound always gives the same pictures
  TVisulisationSystem vis([&played] { return played; }, options);
  vis.Configure(width, height, false, true);
  vis.SetSuppressed(false);
  vis.SetSize(width, height);
  const uint32_t start = 1000;
  vis.RestartClock(start);

  tPcmBlock pending;
  bool havePending = false, ended = false;
  int32_t rate = 0, channels = 0;
  int64_t handedOver = 0;  // frames of the current format given to the visualisation
  int64_t formatStartMs = 0, frames = 0;
  int32_t pictures = 0;
  uint32_t beats = 0;
  for (;; ++frames) {
    int64_t elapsedMs = frames * kFrameMs;
    played = rate > 0 ? std::min(handedOver, (elapsedMs - formatStartMs) * rate / 1000) : 0;
    // Keep the decoded sound half a second ahead of what is heard, as a sound output's buffer does.
    while (!ended && (rate == 0 || handedOver < played + int64_t{kAheadMs} * rate / 1000)) {
      if (!havePending && !(havePending = sound->Next(pending))) {
        ended = true;
        break;
      }
      if (pending.Rate != rate || pending.Channels != channels) {
        if (rate > 0 && played < handedOver) break;  // the old format is still being heard
        // A new format starts as a new stream on a sound output does.
        rate = pending.Rate, channels = pending.Channels;
        beats += vis.GetDetector().BeatCount();  // the detector starts afresh with the format
        vis.SetAudioFormat(rate, channels, 2);
        vis.ResetPosition();
        formatStartMs = elapsedMs, handedOver = 0, played = 0;
      }
      vis.AddAudio(pending.Samples.data(), pending.Frames);
      handedOver += pending.Frames;
      havePending = false;
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
    if (ended && played >= handedOver) break;
  }
  if (rate == 0) {
    std::fprintf(stderr, "vis: %s: no sound decoded\n", source.c_str());
    return 1;
  }
  std::printf("{\"frames\":%lld,\"pictures\":%d,\"beats\":%u,\"width\":%d,\"height\":%d,\"seconds\":%.3f}\n",
              static_cast<long long>(frames + 1), pictures, beats + vis.GetDetector().BeatCount(), width,
              height, static_cast<double>(frames * kFrameMs) / 1000);
  return 0;
}

tCommandRegistration registration{"vis", "vis SOURCE --png DIR [--frames N] [--size WxH]", RunVis};

}  // namespace

}  // namespace ktv::cli
