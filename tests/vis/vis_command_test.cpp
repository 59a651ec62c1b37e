// The PNG writer and the vis command of kestrova-cli.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "vis/png_writer.h"

namespace ktv {
namespace {

uint32_t BigEndian32(const std::string& s, size_t at) {
  return (uint32_t{static_cast<uint8_t>(s[at])} << 24) | (static_cast<uint8_t>(s[at + 1]) << 16) |
         (static_cast<uint8_t>(s[at + 2]) << 8) | static_cast<uint8_t>(s[at + 3]);
}

struct tDecoded {
  bool Ok = false;
  uint32_t Width = 0, Height = 0;
  std::vector<uint32_t> Pixels;  // 0x00RRGGBB
};

// Reads back what EncodePng writes (8-bit RGB, filter 0), checking every chunk's CRC on the way.
tDecoded DecodePng(const std::string& png) {
  tDecoded out;
  if (png.size() < 8 || png.compare(0, 8, std::string("\x89PNG\r\n\x1a\n", 8)) != 0) return out;
  std::string idat;
  bool ended = false;
  for (size_t at = 8; at + 12 <= png.size() && !ended;) {
    uint32_t length = BigEndian32(png, at);
    if (at + 12 + length > png.size()) return out;
    std::string type = png.substr(at + 4, 4), body = png.substr(at + 8, length);
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.data() + at + 4), length + 4);
    if (crc != BigEndian32(png, at + 8 + length)) return out;
    if (type == "IHDR") {
      out.Width = BigEndian32(body, 0), out.Height = BigEndian32(body, 4);
      if (body.substr(8, 5) != std::string("\x08\x02\x00\x00\x00", 5)) return out;
    } else if (type == "IDAT") {
      idat += body;
    } else if (type == "IEND") {
      ended = true;
    }
    at += 12 + length;
  }
  size_t rowBytes = 1 + 3 * size_t{out.Width};
  std::vector<Bytef> raw(rowBytes * out.Height);
  uLongf rawSize = raw.size();
  if (!ended ||
      uncompress(raw.data(), &rawSize, reinterpret_cast<const Bytef*>(idat.data()), idat.size()) != Z_OK ||
      rawSize != raw.size())
    return out;
  for (uint32_t y = 0; y < out.Height; ++y) {
    if (raw[y * rowBytes] != 0) return out;
    for (uint32_t x = 0; x < out.Width; ++x) {
      const Bytef* p = &raw[y * rowBytes + 1 + 3 * x];
      out.Pixels.push_back((uint32_t{p[0]} << 16) | (p[1] << 8) | p[2]);
    }
  }
  out.Ok = true;
  return out;
}

TEST(PngWriterTest, RoundTripsThePixels) {
  // 3 x 2 with distinct channels; the spare byte is not written.
  std::vector<uint32_t> pixels = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xAA123456, 0x00000000, 0x00FFFFFF};
  tDecoded d = DecodePng(EncodePng(pixels.data(), 3, 2));
  ASSERT_TRUE(d.Ok);
  EXPECT_EQ(d.Width, 3u);
  EXPECT_EQ(d.Height, 2u);
  pixels[3] = 0x00123456;
  EXPECT_EQ(d.Pixels, pixels);
  EXPECT_TRUE(EncodePng(pixels.data(), 0, 2).empty());
  EXPECT_TRUE(EncodePng(nullptr, 3, 2).empty());
  EXPECT_FALSE(WritePng("/nonexistent-folder/x.png", pixels.data(), 3, 2));
}

// Runs the command on a source; checks the pictures it reports are there, the right size, lit and moving.
void ExpectMovingPictures(const std::string& source, int expectedPictures, int minBeats) {
  test::tTempDir dir;
  std::string out = dir.File("pictures");
  test::tRunResult r = test::RunCli({"vis", source, "--png", out, "--frames", "25", "--size", "64x48"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Out.find("\"pictures\":" + std::to_string(expectedPictures) + ","), std::string::npos) << r.Out;
  size_t at = r.Out.find("\"beats\":");
  ASSERT_NE(at, std::string::npos) << r.Out;
  EXPECT_GE(std::atoi(r.Out.c_str() + at + 8), minBeats) << "the clicks were not heard: " << r.Out;
  std::vector<tDecoded> pictures;
  for (int i = 0; i < expectedPictures; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame_%05d.png", i);
    pictures.push_back(DecodePng(test::ReadFile(out + name)));
    ASSERT_TRUE(pictures.back().Ok) << name;
    ASSERT_EQ(pictures.back().Width, 64u);
    ASSERT_EQ(pictures.back().Height, 48u);
  }
  int lit = 0, changed = 0;
  for (size_t i = 1; i < pictures.size(); ++i) {
    for (uint32_t p : pictures[i].Pixels) lit += p != 0;
    changed += pictures[i].Pixels != pictures[i - 1].Pixels;
  }
  EXPECT_GT(lit, 64 * 48) << "the pictures are black";
  EXPECT_EQ(changed, expectedPictures - 1) << "the picture stood still";
}

TEST(VisCommandTest, WritesMovingBeatDrivenPicturesFromOggAndWav) {
  // Two clicks a second for 4 s: frames 0..200 at 20 ms, every 25th written; the first click meets an empty
  // history, so at least 6 of the 8 beat.
  test::tMediaFiles media =
      test::MakeMediaWithRaw({"--no-video", "--clicks", "2", "--seconds", "4", "--tone", "229.6875"});
  ASSERT_FALSE(media.Ogg.empty());
  ExpectMovingPictures(media.Ogg, 9, 6);
  ExpectMovingPictures(media.Wav, 9, 6);
  // A chained file whose second link has another rate and channel count; a file with video shows its sound.
  std::string chained =
      test::MakeMedia({"--no-video", "--clicks", "2", "--seconds", "2", "--tone", "229.6875", "--link",
                       "--rate", "22050", "--channels", "1", "--tone", "114.84375"});
  ExpectMovingPictures(chained, 9, 5);
  // Opus sound is heard at 48 kHz.
  std::string opus =
      test::MakeMedia({"--no-video", "--opus", "--clicks", "2", "--seconds", "4", "--tone", "250"});
  ExpectMovingPictures(opus, 9, 6);
  std::string withVideo = test::MakeMedia(
      {"--width", "64", "--height", "48", "--clicks", "2", "--seconds", "2", "--tone", "229.6875"});
  ExpectMovingPictures(withVideo, 5, 2);
}

TEST(VisCommandTest, RefusesBadUse) {
  test::tTempDir dir;
  test::WriteFile(dir.File("not.wav"), "this is no sound");
  struct tCase {
    std::vector<std::string> Args;
    int Exit;
    const char* Fault;
  } cases[] = {
      {{"vis"}, 2, "no source"},
      {{"vis", dir.File("not.wav")}, 2, "no --png folder"},
      {{"vis", dir.File("not.wav"), "--png", dir.File("p"), "--size", "0x10"}, 2, "an empty size"},
      {{"vis", dir.File("not.wav"), "--png", dir.File("p"), "--frames", "-3"}, 2, "a negative interval"},
      {{"vis", dir.File("not.wav"), "--png", dir.File("p")}, 1, "a file that is not sound"},
      {{"vis", test::MakeMedia({"--no-audio", "--seconds", "1"}), "--png", dir.File("p")},
       1,
       "no Vorbis stream"},
      {{"vis", dir.File("missing.wav"), "--png", dir.File("p")}, 1, "a missing file"},
  };
  for (const tCase& c : cases) EXPECT_EQ(test::RunCli(c.Args).ExitCode, c.Exit) << c.Fault;
}

}  // namespace
}  // namespace ktv
