// Theora decode throughput of a generated 1280x720 25 fps clip (with sound), three ways:
//   (a) bare libtheora: the legacy decode loop straight on packets extracted beforehand (the floor),
//   (b) our demultiplexer reading the file bytes + tOggTheoraCodec,
//   (c) (b) plus YUVToRGB32 of every frame.
// Prints frames per second (of thread CPU time) of each and the ratio (b)/(a) at the end.
#include <benchmark/benchmark.h>

#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ogg/link_decoders.h"
#include "ogg/ogg_io_base.h"
#include "ogg/yuv_convert.h"

namespace {

constexpr int kWidth = 1280, kHeight = 720;
constexpr const char* kSeconds = "4";

// The clip's bytes, made once per run by the test-media generator.
const std::string& Clip() {
  static const std::string bytes = [] {
    std::string path =
        (std::filesystem::temp_directory_path() / ("ktv-decode-bench-" + std::to_string(getpid()) + ".ogg"))
            .string();
    std::string command = std::string(KTV_MEDIA_TOOL) + " " + path + " --width " + std::to_string(kWidth) +
                          " --height " + std::to_string(kHeight) + " --fps 25 --seconds " + kSeconds;
    std::string data;
    if (std::system(command.c_str()) == 0) {
      std::ifstream in(path, std::ios::binary);
      std::ostringstream s;
      s << in.rdbuf();
      data = s.str();
    }
    std::filesystem::remove(path);
    return data;
  }();
  return bytes;
}

class tMemorySource : public ktv::tOggIOBase {
 public:
  explicit tMemorySource(const std::string& bytes) : Bytes(bytes) {}
  int32_t ReadData(uint8_t* buffer, int32_t size) override {
    int32_t n = static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(size), Bytes.size() - Pos));
    std::memcpy(buffer, Bytes.data() + Pos, static_cast<size_t>(n));
    Pos += static_cast<size_t>(n);
    return n;
  }

 private:
  const std::string& Bytes;
  size_t Pos = 0;
};

// The Theora packets of the clip (headers first), copied out with plain libogg calls.
struct tPacket {
  std::vector<unsigned char> Data;
  ogg_packet Packet;
};
std::vector<tPacket> TheoraPackets(const std::string& bytes) {
  std::vector<tPacket> packets;
  ktv::tOggLibraryUse ogg;
  if (!ogg.Loaded()) return packets;
  ogg_sync_state sync;
  ktv::OggApi.ogg_sync_init(&sync);
  char* buffer = ktv::OggApi.ogg_sync_buffer(&sync, static_cast<long>(bytes.size()));
  std::memcpy(buffer, bytes.data(), bytes.size());
  ktv::OggApi.ogg_sync_wrote(&sync, static_cast<long>(bytes.size()));
  ogg_stream_state stream{};
  bool found = false;
  ogg_page page;
  while (ktv::OggApi.ogg_sync_pageout(&sync, &page) == 1) {
    // The generator writes the Theora stream's first page first.
    if (!found) ktv::OggApi.ogg_stream_init(&stream, ktv::OggApi.ogg_page_serialno(&page)), found = true;
    if (ktv::OggApi.ogg_page_serialno(&page) != stream.serialno) continue;
    ktv::OggApi.ogg_stream_pagein(&stream, &page);
    ogg_packet op;
    while (ktv::OggApi.ogg_stream_packetout(&stream, &op) == 1) {
      tPacket p;
      p.Data.assign(op.packet, op.packet + op.bytes);
      p.Packet = op;
      packets.push_back(std::move(p));
    }
  }
  for (auto& p : packets) p.Packet.packet = p.Data.data();
  if (found) ktv::OggApi.ogg_stream_clear(&stream);
  ktv::OggApi.ogg_sync_clear(&sync);
  return packets;
}

// CPU seconds of this thread: the machine is shared, so waiting for a core must not count as decoding.
double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Frames per second of each way, for the summary.
std::map<std::string, double>& Results() {
  static std::map<std::string, double> results;
  return results;
}

void Record(benchmark::State& state, const char* name, int64_t frames, double seconds) {
  double fps = seconds > 0 ? static_cast<double>(frames) / seconds : 0;
  state.counters["fps"] = fps;
  Results()[name] = fps;
}

void BM_BareTheora(benchmark::State& state) {
  static const std::vector<tPacket> packets = TheoraPackets(Clip());
  ktv::tOggLibraryUse ogg;
  ktv::tTheoraLibraryUse theora;
  if (packets.size() < 4 || !theora.Loaded()) return state.SkipWithError("no clip or no libtheora");
  int64_t frames = 0;
  double seconds = 0;
  for (auto _ : state) {
    double start = ThreadSeconds();
    theora_info info;
    theora_comment comment;
    theora_state decoder;
    ktv::TheoraApi.theora_info_init(&info);
    ktv::TheoraApi.theora_comment_init(&comment);
    for (int i = 0; i < 3; ++i) {
      ogg_packet op = packets[static_cast<size_t>(i)].Packet;
      ktv::TheoraApi.theora_decode_header(&info, &comment, &op);
    }
    ktv::TheoraApi.theora_decode_init(&decoder, &info);
    yuv_buffer yuv;
    for (size_t i = 3; i < packets.size(); ++i) {
      ogg_packet op = packets[i].Packet;
      if (ktv::TheoraApi.theora_decode_packetin(&decoder, &op) == 0 &&
          ktv::TheoraApi.theora_decode_YUVout(&decoder, &yuv) == 0) {
        benchmark::DoNotOptimize(yuv.y);
        ++frames;
      }
    }
    ktv::TheoraApi.theora_clear(&decoder);
    ktv::TheoraApi.theora_comment_clear(&comment);
    ktv::TheoraApi.theora_info_clear(&info);
    seconds += ThreadSeconds() - start;
  }
  Record(state, "a", frames, seconds);
}

void DecodeThroughOurs(benchmark::State& state, bool convert, const char* name) {
  if (Clip().empty()) return state.SkipWithError("no clip");
  ktv::BuildYUVTables();
  // The player keeps the libraries loaded while it plays; so does this loop.
  ktv::tOggLibraryUse ogg;
  ktv::tTheoraLibraryUse theora;
  std::vector<uint8_t> picture(static_cast<size_t>(kWidth) * kHeight * 4);
  int64_t frames = 0;
  double seconds = 0;
  for (auto _ : state) {
    double start = ThreadSeconds();
    tMemorySource source(Clip());
    ktv::tOggLinkDecoders link;
    source.ReadStreamHeaders();
    if (!link.Open(source, ktv::tOggLinkDecoders::kVideo))
      return state.SkipWithError("the decoder did not open");
    ktv::tOggTheoraCodec& codec = *link.Video;
    ktv::tPictureRegion region = ktv::PictureRegion(codec.Info);
    yuv_buffer yuv;
    double time;
    while (codec.DecodeFrame(yuv, nullptr, time)) {
      if (convert) {
        // The picture region, as the bitmap back-ends convert it.
        yuv_buffer cut = yuv;
        cut.y += region.Y * yuv.y_stride + region.X;
        cut.u += region.Y / 2 * yuv.uv_stride + region.X / 2;
        cut.v += region.Y / 2 * yuv.uv_stride + region.X / 2;
        cut.y_width = region.Width, cut.y_height = region.Height;
        cut.uv_width = region.Width / 2, cut.uv_height = region.Height / 2;
        ktv::YUVToRGB32(picture.data(), kWidth * 4, cut);
        benchmark::DoNotOptimize(picture.data());
      }
      benchmark::DoNotOptimize(yuv.y);
      ++frames;
    }
    seconds += ThreadSeconds() - start;
  }
  Record(state, name, frames, seconds);
}

void BM_DemuxAndTheoraCodec(benchmark::State& state) {
  DecodeThroughOurs(state, false, "b");
}
void BM_DemuxTheoraCodecAndRGB32(benchmark::State& state) {
  DecodeThroughOurs(state, true, "c");
}

// Interleaved repetitions keep the three ways under the same machine load.
BENCHMARK(BM_BareTheora)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_DemuxAndTheoraCodec)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_DemuxTheoraCodecAndRGB32)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  auto& r = Results();
  std::printf("\n1280x720 Theora decode, frames per second:\n");
  for (auto [key, label] : {std::pair{"a", "(a) bare libtheora"}, std::pair{"b", "(b) demultiplexer + codec"},
                            std::pair{"c", "(c) (b) + YUVToRGB32"}})
    if (r.count(key)) std::printf("  %-28s %8.1f\n", label, r[key]);
  if (r.count("a") && r.count("b") && r["a"] > 0)
    std::printf("  ratio (b)/(a)                %8.3f  (target: at least 0.95)\n", r["b"] / r["a"]);
  return 0;
}
