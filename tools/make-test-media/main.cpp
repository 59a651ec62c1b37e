// make-test-media OUT.ogg [options] [--link [options]]...
// Options apply to the current link; each --link starts a new chained link that inherits the previous
// options.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "media_writer.h"

static void Usage() {
  std::fprintf(
      stderr,
      "usage: make-test-media OUT.ogg [--width W] [--height H] [--offset X:Y] [--fps N[/D]] [--aspect N:D]\n"
      "  [--pixfmt 420|422|444] [--quality Q] [--kbps K] [--keyint N] [--seconds S] [--rate R] "
      "[--channels C]\n"
      "  [--tone HZ] [--tones HZ,HZ,...] [--level L] [--clicks HZ] [--no-video] [--no-audio] [--video]\n"
      "  [--audio] [--opus] [--vorbis] [--gain Q7.8]\n"
      "  [--extra-stream TEXT] [--extra-packet TEXT] [--vcomment K=V] [--acomment K=V]\n"
      "  [--y4m RAW.y4m] [--wav RAW.wav] [--link ...]\n");
}

static bool ParseRatio(const char* text, char sep, int& num, int& den) {
  char* end = nullptr;
  num = static_cast<int>(std::strtol(text, &end, 10));
  den = 1;
  if (*end == sep) den = static_cast<int>(std::strtol(end + 1, &end, 10));
  return *end == '\0';
}

int main(int argc, char** argv) {
  if (argc < 2 || argv[1][0] == '-') {
    Usage();
    return 2;
  }
  std::vector<tLinkOptions> links(1);
  std::string y4mPath, wavPath;
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    tLinkOptions& o = links.back();
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) {
        Usage();
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "--link")
      links.push_back(links.back()), links.back().VideoComments.clear(), links.back().AudioComments.clear();
    else if (a == "--width")
      o.Width = std::atoi(value());
    else if (a == "--height")
      o.Height = std::atoi(value());
    else if (a == "--offset") {
      if (!ParseRatio(value(), ':', o.OffsetX, o.OffsetY)) return 2;
    } else if (a == "--fps") {
      if (!ParseRatio(value(), '/', o.FpsNum, o.FpsDen)) return 2;
    } else if (a == "--aspect") {
      if (!ParseRatio(value(), ':', o.AspectNum, o.AspectDen)) return 2;
    } else if (a == "--pixfmt")
      o.PixelFormat = std::atoi(value());
    else if (a == "--quality")
      o.Quality = std::atoi(value());
    else if (a == "--kbps")
      o.VideoKbps = std::atoi(value());
    else if (a == "--keyint")
      o.KeyframeInterval = std::atoi(value());
    else if (a == "--seconds")
      o.Seconds = std::atof(value());
    else if (a == "--rate")
      o.Rate = std::atoi(value());
    else if (a == "--channels")
      o.Channels = std::atoi(value());
    else if (a == "--tone")
      o.ToneHz = std::atof(value());
    else if (a == "--tones") {
      o.ChannelTones.clear();
      for (const char* at = value(); *at;) {
        char* end = nullptr;
        o.ChannelTones.push_back(std::strtod(at, &end));
        if (end == at || (*end && *end != ',')) return Usage(), 2;
        at = *end ? end + 1 : end;
      }
    } else if (a == "--opus")
      o.Opus = true;
    else if (a == "--vorbis")
      o.Opus = false;
    else if (a == "--gain")
      o.OpusGain = std::atoi(value());
    else if (a == "--level")
      o.ToneLevel = std::atof(value());
    else if (a == "--clicks")
      o.ClickHz = std::atof(value());
    else if (a == "--no-video")
      o.Video = false;
    else if (a == "--no-audio")
      o.Audio = false;
    else if (a == "--video")
      o.Video = true;
    else if (a == "--audio")
      o.Audio = true;
    else if (a == "--extra-stream" || a == "--extra-packet") {
      o.ExtraStream = value();
      o.ExtraRaw = a == "--extra-packet";
    } else if (a == "--vcomment")
      o.VideoComments.push_back(value());
    else if (a == "--acomment")
      o.AudioComments.push_back(value());
    else if (a == "--y4m")
      y4mPath = value();
    else if (a == "--wav")
      wavPath = value();
    else {
      Usage();
      return 2;
    }
  }
  for (const tLinkOptions& o : links) {
    bool sizeOk = o.Width > 0 && o.Height > 0 && o.Width <= 4096 && o.Height <= 4096 && o.OffsetX >= -1 &&
                  o.OffsetY >= -1 && o.OffsetX <= 4096 && o.OffsetY <= 4096;
    bool fmtOk = o.PixelFormat == 420 || o.PixelFormat == 422 || o.PixelFormat == 444;
    if (!sizeOk || !fmtOk || o.FpsNum <= 0 || o.FpsDen <= 0 || o.Rate < 8000 || o.Channels < 1 ||
        o.Channels > 8 || o.Seconds <= 0 || (!o.Video && !o.Audio) || o.OpusGain < -32768 ||
        o.OpusGain > 32767) {
      std::fprintf(stderr, "make-test-media: bad options\n");
      return 2;
    }
  }
  FILE* out = std::fopen(argv[1], "wb");
  FILE* y4m = y4mPath.empty() ? nullptr : std::fopen(y4mPath.c_str(), "wb");
  FILE* wav = wavPath.empty() ? nullptr : std::fopen(wavPath.c_str(), "wb");
  if (!out || (!y4mPath.empty() && !y4m) || (!wavPath.empty() && !wav)) {
    std::fprintf(stderr, "make-test-media: cannot write output\n");
    return 1;
  }
  bool ok = WriteTestMedia(links, out, y4m, wav);
  ok = std::fclose(out) == 0 && ok;
  if (y4m) ok = std::fclose(y4m) == 0 && ok;
  if (wav) ok = std::fclose(wav) == 0 && ok;
  return ok ? 0 : 1;
}
