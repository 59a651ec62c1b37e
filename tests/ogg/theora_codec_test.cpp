#include "ogg/theora_codec.h"

#include <gtest/gtest.h>

#include <cmath>

#include "library_folder.h"
#include "media_files.h"
#include "memory_source.h"
#include "ogg/link_decoders.h"
#include "ogg/vorbis_codec.h"
#include "platform/module_loader.h"
#include "support/test_support.h"

namespace ktv {
namespace {

using test::MakeMedia;
using test::MakeMediaWithRaw;
using test::ReadFile;
using test::tMemorySource;

// One decoded picture cut to a region, in the layout of a Y4M frame (Y, then U and V at half resolution).
std::string CutPicture(const yuv_buffer& yuv, const tPictureRegion& r) {
  std::string out;
  auto rows = [&](const unsigned char* plane, int stride, int x, int y, int w, int h) {
    for (int row = 0; row < h; ++row)
      out.append(reinterpret_cast<const char*>(plane + static_cast<ptrdiff_t>(y + row) * stride + x),
                 static_cast<size_t>(w));
  };
  rows(yuv.y, yuv.y_stride, r.X, r.Y, r.Width, r.Height);
  int cw = (r.Width + 1) / 2, ch = (r.Height + 1) / 2;
  rows(yuv.u, yuv.uv_stride, r.X / 2, r.Y / 2, cw, ch);
  rows(yuv.v, yuv.uv_stride, r.X / 2, r.Y / 2, cw, ch);
  return out;
}

struct tDecodedVideo {
  theora_info Info{};
  tPictureRegion Region;
  std::vector<std::string> Pictures;  // cut with Region
  std::vector<std::string> Flipped;   // cut as if offset_y counted from the bottom
  std::vector<double> Times;
  std::vector<bool> Keyframes;
  std::vector<yuv_buffer> Buffers;
};

tDecodedVideo DecodeAll(const std::string& bytes) {
  tDecodedVideo out;
  tMemorySource src(bytes);
  tOggLinkDecoders link;
  EXPECT_TRUE(src.ReadStreamHeaders());
  EXPECT_TRUE(link.Open(src, tOggLinkDecoders::kVideo));
  if (!link.Video) return out;
  tOggTheoraCodec& codec = *link.Video;
  out.Info = codec.Info;
  out.Region = PictureRegion(codec.Info);
  tPictureRegion fromBottom = out.Region;
  fromBottom.Y = static_cast<int32_t>(codec.Info.height - codec.Info.frame_height - codec.Info.offset_y);
  yuv_buffer yuv;
  bool key = false;
  double time = 0;
  while (codec.DecodeFrame(yuv, &key, time)) {
    out.Pictures.push_back(CutPicture(yuv, out.Region));
    if (fromBottom.Y >= 0) out.Flipped.push_back(CutPicture(yuv, fromBottom));
    out.Times.push_back(time);
    out.Keyframes.push_back(key);
    out.Buffers.push_back(yuv);
  }
  return out;
}

using test::MeanPsnr;

TEST(TheoraCodec, PicturesMatchTheEncodedOnesAtEverySize) {
  struct {
    const char* width;
    const char* height;
    const char* note;
  } rows[] = {
      {"64", "48", "coded frame equals the picture: no margins"},
      {"90", "70", "uneven margins: offset_y counted from the wrong edge shifts the picture"},
      {"100", "90", "margins larger at the bottom than at the top"},
      {"33", "17", "odd sizes: chroma of the last column and row"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.note);
    auto media = MakeMediaWithRaw(
        {"--width", r.width, "--height", r.height, "--seconds", "1", "--fps", "10", "--no-audio"});
    test::tY4M raw = test::ParseY4M(ReadFile(media.Y4M));
    ASSERT_EQ(raw.Width, std::atoi(r.width));
    ASSERT_EQ(raw.Frames.size(), 10u);
    tDecodedVideo video = DecodeAll(ReadFile(media.Ogg));
    EXPECT_EQ(video.Region.Width, raw.Width);
    EXPECT_EQ(video.Region.Height, raw.Height);
    EXPECT_EQ(static_cast<int>(video.Info.width) % 16, 0);
    ASSERT_EQ(video.Pictures.size(), raw.Frames.size());
    double psnr = MeanPsnr(video.Pictures, raw.Frames);
    EXPECT_GT(psnr, 30.0) << "decoded pictures differ from the encoded ones beyond the codec's loss";
    // Where the margins are uneven the other reading of offset_y must be clearly worse: this is what
    // established that the legacy record counts it from the top.
    if (video.Info.height - video.Info.frame_height != 2 * video.Info.offset_y && !video.Flipped.empty()) {
      EXPECT_LT(MeanPsnr(video.Flipped, raw.Frames), psnr - 6);
    }
    // Times advance by one frame period, starting at the end of the first frame; the first frame is a key.
    for (size_t i = 0; i < video.Times.size(); ++i) EXPECT_NEAR(video.Times[i], (i + 1) / 10.0, 1e-9) << i;
    EXPECT_TRUE(video.Keyframes.front());
    EXPECT_FALSE(video.Keyframes[1]);
  }
}

TEST(TheoraCodec, StreamParameters) {
  struct {
    std::vector<std::string> args;
    double fps, aspect;
    int32_t pixfmt;
    const char* note;
  } rows[] = {
      {{"--fps", "25/2"}, 12.5, 1.0, 0, "fractional frame rate"},
      {{"--fps", "30000/1001", "--aspect", "0:0"}, 30000.0 / 1001, 1.0, 0, "unknown aspect reads as square"},
      {{"--aspect", "4:3"}, 25.0, 4.0 / 3, 0, "pixel aspect ratio"},
      {{"--pixfmt", "444"}, 25.0, 1.0, 3, "4:4:4 opens and reports its format"},
      {{"--pixfmt", "422"}, 25.0, 1.0, 2, "4:2:2 opens and reports its format"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.note);
    std::vector<std::string> args = {"--width", "48", "--height", "32", "--seconds", "0.5", "--no-audio"};
    args.insert(args.end(), r.args.begin(), r.args.end());
    tMemorySource src(ReadFile(MakeMedia(args)));
    ASSERT_TRUE(src.ReadStreamHeaders());
    tOggTheoraCodec codec;
    ASSERT_TRUE(codec.Open(src));
    EXPECT_DOUBLE_EQ(codec.FrameRate(), r.fps);
    EXPECT_DOUBLE_EQ(codec.AspectRatio(), r.aspect);
    EXPECT_EQ(codec.PixelFormat(), r.pixfmt);
    yuv_buffer yuv;
    double time;
    EXPECT_TRUE(codec.DecodeFrame(yuv, nullptr, time)) << "a null keyframe pointer is allowed";
  }
  tOggTheoraCodec codec;
  codec.Info.fps_numerator = 25;
  codec.Info.fps_denominator = 0;
  EXPECT_EQ(codec.FrameRate(), 15.0) << "a zero denominator counts as 15 frames per second";
  codec.Info.fps_numerator = 0xFFFFFFFFu;
  codec.Info.fps_denominator = 1;
  EXPECT_EQ(codec.FrameRate(), 4294967295.0) << "the fields are unsigned";
}

TEST(TheoraCodec, FindsItsStreamAndKeepsComments) {
  std::string bytes =
      ReadFile(MakeMedia({"--width", "32", "--height", "32", "--seconds", "0.5", "--extra-stream", "writ",
                          "--vcomment", "TITLE=Test card", "--vcomment", "ARTIST=Ktv"}));
  tMemorySource src(bytes);
  ASSERT_TRUE(src.ReadStreamHeaders());
  ASSERT_EQ(src.StreamCount(), 3);
  tOggTheoraCodec codec;
  ASSERT_TRUE(codec.Open(src));
  EXPECT_EQ(codec.StreamIndex, 0);
  EXPECT_TRUE(codec.IsOpen());
  ASSERT_EQ(codec.Comments.size(), 3u);
  EXPECT_NE(codec.Comments[0].find("Xiph"), std::string::npos) << "vendor string first";
  EXPECT_EQ(codec.Comments[1], "TITLE=Test card");
  EXPECT_EQ(codec.Comments[2], "ARTIST=Ktv");
  codec.Close();
  EXPECT_FALSE(codec.IsOpen());
  EXPECT_EQ(codec.StreamIndex, -1);
  EXPECT_TRUE(codec.Comments.empty());
  yuv_buffer yuv;
  double time = 7;
  EXPECT_FALSE(codec.DecodeFrame(yuv, nullptr, time)) << "a closed codec decodes nothing";
  EXPECT_EQ(time, 7);
}

TEST(TheoraCodec, NoTheoraStreamOrDamagedHeadersFailCleanly) {
  tMemorySource audioOnly(ReadFile(MakeMedia({"--no-video", "--seconds", "0.5"})));
  ASSERT_TRUE(audioOnly.ReadStreamHeaders());
  tOggTheoraCodec codec;
  EXPECT_FALSE(codec.Open(audioOnly));
  EXPECT_EQ(codec.StreamIndex, -1);

  std::string good = ReadFile(MakeMedia({"--width", "48", "--height", "32", "--seconds", "0.5"}));
  struct {
    std::string marker;
    size_t skip, length;
    char fill;
    const char* note;
  } rows[] = {
      {"\x82theora", 7, 64, '\0', "setup header wiped: decoder cannot be set up"},
      {"\x82theora", 7, 64, '\xff', "setup header filled with ones"},
      {"\x80theora", 7, 3, '\xff', "identification header with an unknown version"},
      {"\x80theora", 10, 4, '\0', "identification header with a zero-sized frame"},
      {"\x80theora", 10, 4, '\x03', "a frame of 12336 x 12336: refused before the decoder allocates for it"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.note);
    std::string bad = good;
    ASSERT_TRUE(test::DamageAfter(bad, r.marker, r.skip, r.length, r.fill));
    tMemorySource src(bad);
    ASSERT_TRUE(src.ReadStreamHeaders());
    src.FeedAllStreams = true;
    EXPECT_FALSE(codec.Open(src));
    EXPECT_FALSE(codec.IsOpen());
    // The audio of the same source is untouched by the failed video open.
    tOggVorbisCodec audio;
    EXPECT_TRUE(audio.Open(src));
  }
  // The same object still opens a good stream afterwards.
  tMemorySource src(good);
  ASSERT_TRUE(src.ReadStreamHeaders());
  EXPECT_TRUE(codec.Open(src));
  codec.Close();  // before its source goes
}

TEST(TheoraCodec, DecodesVideoWhenTheVorbisLibraryIsMissing) {
  // A folder holding the real Ogg and Theora libraries but no Vorbis library.
  test::tTempDir folder;
  ASSERT_NO_FATAL_FAILURE(test::LinkCodecLibraries(folder.Path(), {"libogg.so.0", "libtheora.so.0"}));
  SetModuleSearchFolder(folder.Path());
  {
    tMemorySource src(ReadFile(MakeMedia({"--width", "32", "--height", "32", "--seconds", "0.5"})));
    ASSERT_TRUE(src.ReadStreamHeaders());
    tOggVorbisCodec audio;
    tOggTheoraCodec video;
    EXPECT_FALSE(audio.VorbisAvailable);
    EXPECT_FALSE(audio.Open(src));
    EXPECT_TRUE(audio.Comments.empty());
    ASSERT_TRUE(video.Open(src));
    yuv_buffer yuv;
    double time;
    int frames = 0;
    while (video.DecodeFrame(yuv, nullptr, time)) ++frames;
    EXPECT_EQ(frames, 13);
  }
  SetModuleSearchFolder("");
}

}  // namespace
}  // namespace ktv

namespace ktv {
namespace {

using test::PageGranule;
using test::SplitPages;

TEST(TheoraCodec, StreamJoinedInTheMiddleKeepsItsOwnTimes) {
  // Small pictures: many frames share a page, and only a page's last frame carries a position.
  std::string bytes = ReadFile(
      MakeMedia({"--no-audio", "--width", "160", "--height", "120", "--seconds", "6", "--keyint", "16"}));
  std::vector<std::string> pages = SplitPages(bytes);
  // A listener joins as a server lets it: the headers, then from a page that begins with a keyframe.
  std::string joined;
  size_t data = 0;
  while (data < pages.size() && PageGranule(pages[data]) == 0) joined += pages[data++];
  size_t join = data + 1;
  auto startsWithKeyframe = [&](const std::string& page) {
    bool continued = page[5] & 0x01;
    return !continued && (static_cast<uint8_t>(page[27 + static_cast<uint8_t>(page[26])]) & 0x40) == 0;
  };
  while (join < pages.size() && !startsWithKeyframe(pages[join])) ++join;
  ASSERT_LT(join + 2, pages.size()) << "no keyframe page to join at";
  for (size_t i = join; i < pages.size(); ++i) joined += pages[i];

  tDecodedVideo whole = DecodeAll(bytes), tail = DecodeAll(joined);
  ASSERT_GT(tail.Times.size(), 4u);
  ASSERT_LT(tail.Times.size(), whole.Times.size());
  EXPECT_TRUE(tail.Keyframes[0]);
  size_t skipped = whole.Times.size() - tail.Times.size();
  EXPECT_GT(whole.Times[skipped], 0.5) << "joined well after the start";
  for (size_t i = 0; i < tail.Times.size(); ++i)
    EXPECT_NEAR(tail.Times[i], whole.Times[skipped + i], 1e-6) << "frame " << i << " after the join";
}

}  // namespace
}  // namespace ktv
