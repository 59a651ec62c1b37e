// kestrova-cli decode SOURCE [--y4m OUT.y4m] [--wav OUT.wav]: decodes a whole local Ogg file as fast as it
// can through the demultiplexer and both decoders, following chained links the way the decoding thread does,
// and writes the pictures (picture region in the stream's own chroma layout, YUV4MPEG2) and the sound (16-bit
// WAV). Prints one line of JSON with the counts at the end.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "cli/decoder_set.h"
#include "stream/network_receiver_thread.h"

namespace ktv::cli {
namespace {

// Sample frames asked of the sound decoder per call.
constexpr int32_t kAudioBlock = 4096;
// Failed fetches in a row before a decoder waits for the other one; a damaged packet costs one failure.
constexpr int kMaxFailuresInARow = 16;
// A WAV's sizes are 32-bit; the data stops short of overflowing them.
constexpr uint64_t kMaxWavData = 0xFFFFFFFFull - 36;

// An output file of the decode command: it ends with a note at what it cannot represent, and fails (with the
// same note for every cause) when the file cannot be written.
class tOutputFile {
 public:
  explicit tOutputFile(std::string path) : Path(std::move(path)) {}
  tOutputFile(const tOutputFile&) = delete;
  tOutputFile& operator=(const tOutputFile&) = delete;
  ~tOutputFile() {
    if (File) std::fclose(File);
  }
  bool Failed() const { return WriteFailed; }

 protected:
  bool Open() {
    File = std::fopen(Path.c_str(), "wb");
    if (!File) Fail();
    return File != nullptr;
  }
  bool Close() {
    if (File && std::fclose(File) != 0) WriteFailed = true;
    File = nullptr;
    return !WriteFailed;
  }
  void End(const std::string& note) {
    std::fprintf(stderr, "kestrova-cli: %s\n", note.c_str());
    Ended = true;
  }
  void Fail() {
    std::fprintf(stderr, "kestrova-cli: cannot write %s\n", Path.c_str());
    WriteFailed = Ended = true;
  }

  std::string Path;
  FILE* File = nullptr;
  bool Ended = false, WriteFailed = false;
};

// The pictures of the first video link, as YUV4MPEG2. Stops (with a note) at pictures it cannot represent.
class tY4MWriter : public tOutputFile {
 public:
  using tOutputFile::tOutputFile;

  // At every link with video: the first fixes the format; a later one of another format ends the output.
  void StartLink(const tOggTheoraCodec& video, int link) {
    if (Path.empty() || Ended) return;
    tPictureRegion region = PictureRegion(video.Info);
    const int32_t format = video.PixelFormat();
    if (!File) {
      const char* tag = ChromaTag(format);
      if (!tag) return End("the video is of the reserved pixel format: no Y4M written");
      if (!Open()) return;
      Region = region;
      Format = format;
      uint32_t num = video.Info.fps_numerator, den = video.Info.fps_denominator;
      if (num == 0 || den == 0) num = 15, den = 1;
      std::fprintf(File, "YUV4MPEG2 W%d H%d F%u:%u Ip A%u:%u %s\n", region.Width, region.Height, num, den,
                   video.Info.aspect_numerator, video.Info.aspect_denominator, tag);
    } else if (format != Format || region.Width != Region.Width || region.Height != Region.Height) {
      End("link " + std::to_string(link) +
          " has pictures of another size or format: the Y4M output ends here");
    } else {
      Region = region;
    }
  }

  void Write(const yuv_buffer& yuv) {
    if (!File || Ended) return;
    const tPictureRegion& r = Region;
    // Chroma columns (rows) are halved when the format subsamples across (down); a picture edge inside a
    // chroma sample takes the whole sample, as Y4M's chroma planes round up.
    const int sx = Format == OC_PF_444 ? 0 : 1, sy = Format == OC_PF_420 ? 1 : 0;
    const int cx = r.X >> sx, cy = r.Y >> sy, cw = (r.Width + sx) >> sx, ch = (r.Height + sy) >> sy;
    if (r.X + r.Width > yuv.y_width || r.Y + r.Height > yuv.y_height || cx + cw > yuv.uv_width ||
        cy + ch > yuv.uv_height)
      return End("a decoded frame is smaller than its picture region: the Y4M output ends here");
    bool ok = std::fputs("FRAME\n", File) >= 0;
    auto rows = [&](const unsigned char* plane, int stride, int x, int y, int w, int h) {
      for (int row = 0; row < h && ok; ++row)
        ok = std::fwrite(plane + static_cast<ptrdiff_t>(y + row) * stride + x, 1, static_cast<size_t>(w),
                         File) == static_cast<size_t>(w);
    };
    rows(yuv.y, yuv.y_stride, r.X, r.Y, r.Width, r.Height);
    rows(yuv.u, yuv.uv_stride, cx, cy, cw, ch);
    rows(yuv.v, yuv.uv_stride, cx, cy, cw, ch);
    if (!ok) Fail();
  }

  bool Finish() { return Close(); }

 private:
  // The Y4M chroma tag of a Theora pixel format; null for the reserved one.
  static const char* ChromaTag(int32_t format) {
    switch (format) {
      case OC_PF_420:
        return "C420jpeg";
      case OC_PF_422:
        return "C422";
      case OC_PF_444:
        return "C444";
      default:
        return nullptr;
    }
  }

  tPictureRegion Region;
  int32_t Format = OC_PF_420;
};

// The sound of the first audio link's format, as a 16-bit PCM WAV.
class tWavWriter : public tOutputFile {
 public:
  using tOutputFile::tOutputFile;
  ~tWavWriter() { Finish(); }

  void StartLink(int channels, int rate, int link) {
    if (Path.empty() || Ended) return;
    if (!File) {
      if (!Open()) return;
      Channels = channels;
      Rate = rate;
      WriteHeader();
    } else if (channels != Channels || rate != Rate) {
      End("link " + std::to_string(link) + " has sound of another format: the WAV output ends here");
    }
  }

  void Write(const int16_t* samples, int32_t frames) {
    if (!File || Ended || frames <= 0) return;
    size_t count = static_cast<size_t>(frames) * static_cast<size_t>(Channels);
    if (DataBytes + count * 2 > kMaxWavData) return End("the WAV output is full (4 GiB): it ends here");
    Bytes.resize(count * 2);
    for (size_t i = 0; i < count; ++i) {
      auto v = static_cast<uint16_t>(samples[i]);
      Bytes[2 * i] = static_cast<uint8_t>(v);
      Bytes[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
    if (std::fwrite(Bytes.data(), 1, Bytes.size(), File) != Bytes.size()) return Fail();
    DataBytes += Bytes.size();
  }

  // Writes the final sizes into the header.
  bool Finish() {
    if (!File) return !WriteFailed;
    if (std::fseek(File, 0, SEEK_SET) != 0) WriteFailed = true;
    if (!WriteFailed) WriteHeader();
    return Close();
  }

 private:
  void WriteHeader() {
    auto put = [&](uint32_t v, int bytes) {
      for (int k = 0; k < bytes; ++k) std::fputc(static_cast<int>((v >> (8 * k)) & 0xFF), File);
    };
    uint32_t data = static_cast<uint32_t>(DataBytes);
    std::fputs("RIFF", File);
    put(36 + data, 4);
    std::fputs("WAVEfmt ", File);
    put(16, 4);
    put(1, 2);
    put(static_cast<uint32_t>(Channels), 2);
    put(static_cast<uint32_t>(Rate), 4);
    put(static_cast<uint32_t>(Rate) * static_cast<uint32_t>(Channels) * 2, 4);
    put(static_cast<uint32_t>(Channels) * 2, 2);
    put(16, 2);
    std::fputs("data", File);
    put(data, 4);
    if (std::ferror(File)) Fail();
  }

  int Channels = 0, Rate = 0;
  uint64_t DataBytes = 0;
  std::vector<uint8_t> Bytes;
};

struct tTotals {
  int64_t Frames = 0, Keyframes = 0, AudioFrames = 0;
  int Links = 0;
  double MediaSeconds = 0;
};

// One decoder's fetch state within a link: it waits for the other one after repeated failures.
struct tTrack {
  bool Open = false, Waiting = false;
  int Failures = 0;
  double Seconds = 0;  // media time decoded in this link
  void Failed(const tOggFileSource& source) {
    // At a held link page or the end of the file nothing more will come; otherwise retry a few times (a
    // damaged packet is skipped by the next fetch).
    if (source.PagePending || source.AtEnd() || ++Failures >= kMaxFailuresInARow) Waiting = true;
  }
  void Succeeded() { Failures = 0; }
  bool Ready() const { return Open && !Waiting; }
};

// Decodes one link until both decoders have nothing more; adds to the totals.
void DecodeLink(tDecoderSet& set, tY4MWriter& y4m, tWavWriter& wav, tTotals& totals) {
  tOggTheoraCodec* videoCodec = set.Link.Video.get();
  tOggAudioCodec* audioCodec = set.Link.Audio.get();
  tTrack video, audio;
  video.Open = videoCodec != nullptr;
  audio.Open = audioCodec != nullptr;
  const int channels = audio.Open ? audioCodec->Channels() : 0;
  const double rate = audio.Open ? static_cast<double>(audioCodec->Rate()) : 1.0;
  const double frameRate = video.Open && videoCodec->FrameRate() > 0 ? videoCodec->FrameRate() : 15.0;
  std::vector<int16_t> pcm(static_cast<size_t>(kAudioBlock) *
                           static_cast<size_t>(channels > 0 ? channels : 1));
  int64_t linkFrames = 0, linkAudioFrames = 0;
  int64_t lastProgress = -1;
  for (;;) {
    // Keep the two streams level in media time so neither piles up packets in memory.
    bool takeVideo = video.Ready() && (!audio.Ready() || video.Seconds <= audio.Seconds);
    if (takeVideo) {
      yuv_buffer yuv;
      bool key = false;
      double time = 0;
      if (videoCodec->DecodeFrame(yuv, &key, time)) {
        video.Succeeded();
        ++linkFrames;
        totals.Keyframes += key;
        video.Seconds = static_cast<double>(linkFrames) / frameRate;
        y4m.Write(yuv);
      } else {
        video.Failed(set.Source);
      }
    } else if (audio.Ready()) {
      int32_t count = kAudioBlock;
      double time = 0;
      bool ok = audioCodec->Decode(pcm.data(), count, time);
      // A damaged packet can end a call that already delivered frames: they are kept.
      wav.Write(pcm.data(), count);
      linkAudioFrames += count;
      audio.Seconds = static_cast<double>(linkAudioFrames) / rate;
      if (ok) {
        audio.Succeeded();
      } else {
        audio.Failed(set.Source);
      }
    } else {
      // Both wait. Give them another round while the file still has bytes and the last round got somewhere.
      int64_t progress = set.Source.BytesRead + linkFrames + linkAudioFrames;
      if (set.Source.PagePending || set.Source.AtEnd() || progress == lastProgress) break;
      lastProgress = progress;
      video.Waiting = audio.Waiting = false;
      video.Failures = audio.Failures = 0;
    }
  }
  totals.Frames += linkFrames;
  totals.AudioFrames += linkAudioFrames;
  totals.MediaSeconds += std::max(video.Open ? static_cast<double>(linkFrames) / frameRate : 0.0,
                                  audio.Open ? static_cast<double>(linkAudioFrames) / rate : 0.0);
}

int RunDecode(const std::vector<std::string>& args) {
  std::string source, y4mPath, wavPath;
  for (size_t i = 0; i < args.size(); ++i) {
    if ((args[i] == "--y4m" || args[i] == "--wav") && i + 1 < args.size()) {
      (args[i] == "--y4m" ? y4mPath : wavPath) = args[i + 1];
      ++i;
    } else if (source.empty() && !args[i].empty() && args[i][0] != '-') {
      source = args[i];
    } else {
      source.clear();
      break;
    }
  }
  if (source.empty()) return 2;
  auto start = std::chrono::steady_clock::now();
  tDecoderSet set(LocalFilePath(source));
  if (!set.Source.IsOpen()) {
    std::fprintf(stderr, "kestrova-cli: cannot open %s\n", source.c_str());
    return 1;
  }
  if (!set.OpenLink()) {
    std::fprintf(stderr, "This program cannot play this type of stream.\n");
    return 1;
  }
  tY4MWriter y4m(y4mPath);
  tWavWriter wav(wavPath);
  tTotals totals;
  for (;;) {
    ++totals.Links;
    if (set.Link.Video) y4m.StartLink(*set.Link.Video, totals.Links);
    if (set.Link.Audio) wav.StartLink(set.Link.Audio->Channels(), set.Link.Audio->Rate(), totals.Links);
    DecodeLink(set, y4m, wav, totals);
    // A held first page of the next link: rebuild the decoders around it. A link that neither decoder can
    // play ends the file.
    if (!set.Source.PagePending || !set.NextLink()) break;
  }
  bool written = y4m.Finish();
  written = wav.Finish() && written;
  if (!y4mPath.empty() && totals.Frames == 0)
    std::fprintf(stderr, "kestrova-cli: no pictures decoded into %s\n", y4mPath.c_str());
  if (!wavPath.empty() && totals.AudioFrames == 0)
    std::fprintf(stderr, "kestrova-cli: no sound decoded into %s\n", wavPath.c_str());
  double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf(
      "{\"frames\":%lld,\"keyframes\":%lld,\"audio_frames\":%lld,\"links\":%d,\"media_seconds\":%.3f,"
      "\"wall_seconds\":%.3f}\n",
      static_cast<long long>(totals.Frames), static_cast<long long>(totals.Keyframes),
      static_cast<long long>(totals.AudioFrames), totals.Links, totals.MediaSeconds, wall);
  return written ? 0 : 1;
}

tCommandRegistration reg{"decode", "decode SOURCE [--y4m OUT.y4m] [--wav OUT.wav]", RunDecode};

}  // namespace
}  // namespace ktv::cli
