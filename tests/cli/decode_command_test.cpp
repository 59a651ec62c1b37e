// kestrova-cli decode, run as the user runs it, on generated media.
#include <gtest/gtest.h>

#include <ogg/ogg.h>
#include <theora/theoradec.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "ogg/media_files.h"
#include "support/test_support.h"

namespace ktv {
namespace {

using test::MakeMedia;
using test::MakeMediaWithRaw;
using test::ReadFile;
using test::RunCli;

double Field(const std::string& json, const std::string& name) {
  return test::JsonNumber(json, name);
}

// The pictures of a file's first Theora stream as the library's own decoder hands them out
// (th_decode_ycbcr_out), each cut to the picture region in the stream's chroma layout, as Y4M frames.
struct tLibraryPictures {
  int PixelFormat = -1;
  std::vector<std::string> Frames;
};

tLibraryPictures DecodeWithLibrary(const std::string& bytes) {
  tLibraryPictures out;
  ogg_sync_state sync;
  ogg_sync_init(&sync);
  char* buffer = ogg_sync_buffer(&sync, static_cast<long>(bytes.size()));
  std::memcpy(buffer, bytes.data(), bytes.size());
  ogg_sync_wrote(&sync, static_cast<long>(bytes.size()));
  th_info info;
  th_info_init(&info);
  th_comment comment;
  th_comment_init(&comment);
  th_setup_info* setup = nullptr;
  th_dec_ctx* decoder = nullptr;
  ogg_stream_state stream{};
  bool found = false;
  ogg_page page;
  ogg_packet packet;
  auto cut = [&] {
    th_ycbcr_buffer planes;
    if (th_decode_ycbcr_out(decoder, planes) != 0) return;
    const int xdec = !(info.pixel_fmt & 1), ydec = !(info.pixel_fmt & 2);
    std::string frame;
    auto rows = [&](const th_img_plane& plane, int x, int y, int w, int h) {
      for (int row = y; row < y + h; ++row)
        frame.append(
            reinterpret_cast<const char*>(plane.data) + static_cast<ptrdiff_t>(row) * plane.stride + x,
            static_cast<size_t>(w));
    };
    const int x = static_cast<int>(info.pic_x), y = static_cast<int>(info.pic_y);
    const int w = static_cast<int>(info.pic_width), h = static_cast<int>(info.pic_height);
    rows(planes[0], x, y, w, h);
    for (int p = 1; p <= 2; ++p)
      rows(planes[p], x >> xdec, y >> ydec, (w + xdec) >> xdec, (h + ydec) >> ydec);
    out.Frames.push_back(std::move(frame));
  };
  while (ogg_sync_pageout(&sync, &page) == 1) {
    if (!found) {
      if (!ogg_page_bos(&page)) continue;
      ogg_stream_init(&stream, ogg_page_serialno(&page));
      ogg_stream_pagein(&stream, &page);
      if (ogg_stream_packetout(&stream, &packet) == 1 &&
          th_decode_headerin(&info, &comment, &setup, &packet) > 0)
        found = true;
      else
        ogg_stream_clear(&stream);
      continue;
    }
    if (ogg_page_serialno(&page) != stream.serialno) continue;
    ogg_stream_pagein(&stream, &page);
    while (ogg_stream_packetout(&stream, &packet) == 1) {
      if (!decoder) {
        // Headers until the first picture packet, which the header reader leaves to the decoder (0).
        if (th_decode_headerin(&info, &comment, &setup, &packet) != 0) continue;
        decoder = th_decode_alloc(&info, setup);
        out.PixelFormat = info.pixel_fmt;
        if (!decoder) break;
      }
      const int result = th_decode_packetin(decoder, &packet, nullptr);
      if (result == 0 || result == TH_DUPFRAME) cut();
    }
  }
  if (decoder) th_decode_free(decoder);
  th_setup_free(setup);
  if (found) ogg_stream_clear(&stream);
  th_comment_clear(&comment);
  th_info_clear(&info);
  ogg_sync_clear(&sync);
  return out;
}

// Every layout, odd sizes and offsets: the written pictures are the decoder's planes, byte for byte, under
// the layout's own chroma tag, and they are the pictures that were encoded.
TEST(DecodeCommand, PicturesAreTheDecodersPlanesInEveryLayout) {
  struct {
    std::vector<std::string> Args;
    const char* Tag;
    int PixelFormat;
    const char* Note;
  } rows[] = {
      {{"--width", "90", "--height", "70"}, "C420jpeg", 0, "4:2:0"},
      {{"--pixfmt", "422", "--width", "64", "--height", "48"}, "C422", 2, "4:2:2"},
      {{"--pixfmt", "422", "--width", "33", "--height", "17", "--offset", "4:3"},
       "C422",
       2,
       "4:2:2, odd size, odd row offset"},
      {{"--pixfmt", "444", "--width", "64", "--height", "48"}, "C444", 3, "4:4:4"},
      {{"--pixfmt", "444", "--width", "31", "--height", "19", "--offset", "5:3"},
       "C444",
       3,
       "4:4:4, odd size and offsets"},
  };
  for (const auto& r : rows) {
    std::vector<std::string> args = r.Args;
    for (const char* a : {"--seconds", "0.6", "--keyint", "8", "--no-audio"}) args.push_back(a);
    auto media = MakeMediaWithRaw(args);
    test::tTempDir out;
    auto run = RunCli({"decode", media.Ogg, "--y4m", out.File("a.y4m")});
    ASSERT_EQ(run.ExitCode, 0) << r.Note << ": " << run.Err;
    test::tY4M got = test::ParseY4M(ReadFile(out.File("a.y4m")));
    EXPECT_EQ(got.Header.substr(got.Header.rfind(' ') + 1), r.Tag) << r.Note;
    const tLibraryPictures library = DecodeWithLibrary(ReadFile(media.Ogg));
    EXPECT_EQ(library.PixelFormat, r.PixelFormat) << r.Note;
    ASSERT_EQ(got.Frames.size(), 15u) << r.Note;
    ASSERT_EQ(library.Frames.size(), got.Frames.size()) << r.Note;
    for (size_t f = 0; f < got.Frames.size(); ++f)
      EXPECT_TRUE(got.Frames[f] == library.Frames[f]) << r.Note << ", picture " << f;
    test::tY4M raw = test::ParseY4M(ReadFile(media.Y4M));
    EXPECT_GT(test::MeanPsnr(got.Frames, raw.Frames), 30.0) << r.Note << ": planes cut from the wrong place";
  }
}

TEST(DecodeCommand, WritesThePicturesAndSoundThatWereEncoded) {
  auto media = MakeMediaWithRaw({"--width", "90", "--height", "70", "--seconds", "2", "--keyint", "16",
                                 "--aspect", "4:3", "--fps", "25/2"});
  test::tTempDir out;
  auto run = RunCli({"decode", media.Ogg, "--y4m", out.File("a.y4m"), "--wav", out.File("a.wav")});
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_EQ(run.Out.find('\n'), run.Out.size() - 1) << "one line";
  EXPECT_EQ(Field(run.Out, "frames"), 25);
  EXPECT_EQ(Field(run.Out, "keyframes"), 2);
  EXPECT_EQ(Field(run.Out, "audio_frames"), 88200);
  EXPECT_EQ(Field(run.Out, "links"), 1);
  EXPECT_NEAR(Field(run.Out, "media_seconds"), 2.0, 0.001);
  EXPECT_GE(Field(run.Out, "wall_seconds"), 0);

  test::tY4M raw = test::ParseY4M(ReadFile(media.Y4M));
  test::tY4M got = test::ParseY4M(ReadFile(out.File("a.y4m")));
  EXPECT_EQ(got.Header, "YUV4MPEG2 W90 H70 F25:2 Ip A4:3 C420jpeg");
  ASSERT_EQ(got.Frames.size(), 25u);
  EXPECT_GT(test::MeanPsnr(got.Frames, raw.Frames), 30.0)
      << "picture region cut from the wrong place or planes mixed up";

  test::tWav rawWav = test::ParseWav(ReadFile(media.Wav));
  test::tWav gotWav = test::ParseWav(ReadFile(out.File("a.wav")));
  EXPECT_EQ(gotWav.Channels, 2);
  EXPECT_EQ(gotWav.Rate, 44100);
  EXPECT_EQ(gotWav.Bits, 16);
  ASSERT_EQ(gotWav.Samples.size(), rawWav.Samples.size()) << "header sizes written at the end";
  EXPECT_GT(test::SnrDb(rawWav.Samples, gotWav.Samples), 20.0);

  // A second run gives the same bytes.
  auto again = RunCli({"decode", media.Ogg, "--y4m", out.File("b.y4m"), "--wav", out.File("b.wav")});
  ASSERT_EQ(again.ExitCode, 0);
  EXPECT_TRUE(ReadFile(out.File("a.y4m")) == ReadFile(out.File("b.y4m")));
  EXPECT_TRUE(ReadFile(out.File("a.wav")) == ReadFile(out.File("b.wav")));
}

TEST(DecodeCommand, OpusSoundIsWrittenAt48kHzWithEverySampleInPlace) {
  auto media = MakeMediaWithRaw({"--no-video", "--opus", "--seconds", "1.013"});
  test::tTempDir out;
  auto run = RunCli({"decode", media.Ogg, "--wav", out.File("o.wav")});
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_EQ(Field(run.Out, "audio_frames"), 48624);
  EXPECT_NEAR(Field(run.Out, "media_seconds"), 1.013, 0.001);
  test::tWav raw = test::ParseWav(ReadFile(media.Wav)), got = test::ParseWav(ReadFile(out.File("o.wav")));
  EXPECT_EQ(got.Rate, 48000);
  EXPECT_EQ(got.Channels, 2);
  ASSERT_EQ(got.Samples.size(), raw.Samples.size());
  EXPECT_GT(test::SnrDb(raw.Samples, got.Samples), 20.0);
}

TEST(DecodeCommand, FollowsChainedLinks) {
  // Link 1: video and stereo sound; link 2: sound only; link 3: video again, of another size.
  std::string chained = MakeMedia({"--width", "64", "--height", "48", "--seconds", "1", "--link",
                                   "--no-video", "--link", "--video", "--width", "32", "--height", "32"});
  test::tTempDir out;
  auto run = RunCli({"decode", chained, "--y4m", out.File("c.y4m"), "--wav", out.File("c.wav")});
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_EQ(Field(run.Out, "links"), 3);
  EXPECT_EQ(Field(run.Out, "frames"), 50);
  EXPECT_EQ(Field(run.Out, "audio_frames"), 3 * 44100) << "no sound lost at the link boundaries";
  EXPECT_NEAR(Field(run.Out, "media_seconds"), 3.0, 0.001);
  test::tY4M y4m = test::ParseY4M(ReadFile(out.File("c.y4m")));
  EXPECT_EQ(y4m.Width, 64);
  EXPECT_EQ(y4m.Frames.size(), 25u) << "pictures of another size end the Y4M output";
  EXPECT_EQ(std::count(run.Err.begin(), run.Err.end(), '\n'), 1) << run.Err;
  EXPECT_NE(run.Err.find("another size"), std::string::npos) << run.Err;
  EXPECT_EQ(test::ParseWav(ReadFile(out.File("c.wav"))).Frames(), 3u * 44100) << "same format: all links";
}

TEST(DecodeCommand, ExitCodes) {
  test::tTempDir dir;
  test::WriteFile(dir.File("text.ogg"), std::string(20000, 'x'));
  std::string extraOnly = dir.File("extra.ogg");
  // Only the unknown stream of a generated file: keep the pages whose serial number ends in 3.
  {
    std::string kept;
    for (const std::string& page :
         test::SplitPages(ReadFile(MakeMedia({"--width", "32", "--height", "32", "--extra-stream", "writ"}))))
      if (static_cast<uint8_t>(page[14]) == 0x03) kept += page;
    ASSERT_FALSE(kept.empty());
    test::WriteFile(extraOnly, kept);
  }
  std::string good = MakeMedia({"--width", "32", "--height", "32", "--seconds", "0.5"});
  std::string futureOpus = dir.File("opus16.ogg");
  {
    std::string bytes = ReadFile(MakeMedia({"--no-video", "--opus", "--seconds", "0.5"}));
    ASSERT_TRUE(test::DamageAfter(bytes, "OpusHead", 8, 1, '\x10'));
    test::WriteFile(futureOpus, bytes);
  }
  const std::string kCannotPlay = "This program cannot play this type of stream.";
  struct {
    std::vector<std::string> args;
    int code;
    std::string err;
    const char* note;
  } rows[] = {
      {{"decode"}, 2, "usage", "no source"},
      {{"decode", good, "--y4m"}, 2, "usage", "option without its value"},
      {{"decode", good, "--mp4", "x"}, 2, "usage", "unknown option"},
      {{"decode", good, good}, 2, "usage", "two sources"},
      {{"decode", dir.File("missing.ogg")}, 1, "cannot open", "no such file"},
      {{"decode", dir.File("text.ogg")}, 1, kCannotPlay, "not an Ogg file"},
      {{"decode", extraOnly}, 1, kCannotPlay, "an Ogg file with no stream we decode"},
      {{"decode", futureOpus}, 1, kCannotPlay, "Opus of a major version we do not know"},
      {{"decode", "file://" + good}, 0, "", "file:// address"},
  };
  for (const auto& r : rows) {
    auto run = RunCli(r.args);
    EXPECT_EQ(run.ExitCode, r.code) << r.note;
    if (!r.err.empty()) {
      EXPECT_NE(run.Err.find(r.err), std::string::npos) << r.note << ": " << run.Err;
    }
    if (r.code != 0) {
      EXPECT_EQ(run.Out, "") << r.note;
    }
  }
}

TEST(DecodeCommand, DamagedFilesDecodeWhatTheyCanAndEnd) {
  std::string good = ReadFile(MakeMedia({"--width", "48", "--height", "32", "--seconds", "2"}));
  ASSERT_FALSE(good.empty());
  test::tTempDir dir;
  struct {
    size_t from, step;
    const char* note;
  } rows[] = {
      {12000, 997, "data pages damaged all through: pages lost, packets with holes"},
      {good.size() / 2, 1, "second half garbage"},
  };
  for (const auto& r : rows) {
    std::string bad = good;
    for (size_t i = r.from; i < bad.size(); i += r.step) bad[i] = static_cast<char>(i * 131 + 7);
    test::WriteFile(dir.File("bad.ogg"), bad);
    auto run =
        RunCli({"decode", dir.File("bad.ogg"), "--y4m", dir.File("bad.y4m"), "--wav", dir.File("bad.wav")});
    EXPECT_EQ(run.ExitCode, 0) << r.note << ": " << run.Err;
    EXPECT_LT(Field(run.Out, "frames"), 50) << r.note;
    EXPECT_EQ(test::ParseY4M(ReadFile(dir.File("bad.y4m"))).Frames.size(), Field(run.Out, "frames"))
        << r.note;
    EXPECT_EQ(test::ParseWav(ReadFile(dir.File("bad.wav"))).Frames(), Field(run.Out, "audio_frames"))
        << r.note;
  }
}

TEST(DecodeCommand, FileWithoutSoundWritesNoWav) {
  test::tTempDir out;
  std::string silent = MakeMedia({"--no-audio", "--width", "32", "--height", "32", "--seconds", "0.5"});
  auto run = RunCli({"decode", silent, "--wav", out.File("x.wav")});
  ASSERT_EQ(run.ExitCode, 0) << run.Err;
  EXPECT_EQ(Field(run.Out, "audio_frames"), 0);
  EXPECT_NE(run.Err.find("no sound"), std::string::npos);
}

}  // namespace
}  // namespace ktv
