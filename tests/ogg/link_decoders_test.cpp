#include "ogg/link_decoders.h"

#include <gtest/gtest.h>

#include "library_folder.h"
#include "media_files.h"
#include "memory_source.h"
#include "ogg/codec_libraries.h"
#include "platform/module_loader.h"
#include "support/test_support.h"

namespace ktv {
namespace {

using test::MakeMedia;
using test::ReadFile;
using test::tMemorySource;

// Frames of sound the open decoder gives until it has no more. Times are the link's own: once known, each
// block's time is the frames before it.
int64_t DecodeToEnd(tOggAudioCodec& audio) {
  std::vector<int16_t> buffer(4096 * static_cast<size_t>(audio.Channels()));
  int64_t frames = 0;
  double time;
  for (int32_t count = 4096; audio.Decode(buffer.data(), count, time); count = 4096) {
    if (time >= 0) {
      EXPECT_NEAR(time, static_cast<double>(frames) / audio.Rate(), 1e-6) << "at " << frames;
    }
    frames += count;
  }
  return frames;
}

TEST(LinkDecoders, EachLinkPlaysTheSoundCodecItHas) {
  // A station that changes from Vorbis with pictures to Opus and back, with the rate and the channels.
  const std::string bytes = ReadFile(MakeMedia(
      {"--seconds", "1", "--acomment", "TITLE=One", "--link", "--no-video", "--opus", "--channels", "1",
       "--acomment", "TITLE=Two", "--link", "--vorbis", "--rate", "22050", "--acomment", "TITLE=Three"}));
  struct {
    tAudioCodecKind kind;
    int rate, channels;
    int64_t frames;
    const char* title;
  } links[] = {
      {tAudioCodecKind::Vorbis, 44100, 1, 44100, "TITLE=One"},
      {tAudioCodecKind::Opus, 48000, 1, 48000, "TITLE=Two"},
      {tAudioCodecKind::Vorbis, 22050, 1, 22050, "TITLE=Three"},
  };
  tMemorySource src(bytes);
  tOggLinkDecoders link;
  ASSERT_TRUE(src.ReadStreamHeaders());
  for (size_t i = 0; i < std::size(links); ++i) {
    SCOPED_TRACE("link " + std::to_string(i + 1));
    if (i > 0) {
      ASSERT_TRUE(src.PagePending) << "the next link's first page ends the one before";
      ASSERT_TRUE(link.NextLink(src));
    }
    ASSERT_TRUE(link.Open(src));
    EXPECT_EQ(link.Video != nullptr, i == 0) << "pictures in the first link only";
    ASSERT_TRUE(link.Audio);
    EXPECT_EQ(link.Audio->StreamIndex, i == 0 ? 1 : 0) << "the sound found after the pictures";
    EXPECT_EQ(link.Audio->Kind(), links[i].kind);
    EXPECT_EQ(link.Audio->Rate(), links[i].rate);
    EXPECT_EQ(link.Audio->Channels(), i == 0 ? 2 : links[i].channels);
    EXPECT_EQ(link.Audio->Comments.back(), links[i].title);
    EXPECT_EQ(DecodeToEnd(*link.Audio), links[i].frames) << "every sample of the link, no more";
  }
  EXPECT_FALSE(src.PagePending);
}

// One link whose sound comes twice, as Vorbis and as Opus (the Opus stream under another serial number):
// every first page, then every other header page, then the data pages of both.
std::string BothSoundCodecs(bool withVorbis) {
  std::vector<std::string> vorbis = test::SplitPages(ReadFile(MakeMedia({"--no-video", "--seconds", "1"})));
  std::vector<std::string> opus =
      test::SplitPages(ReadFile(MakeMedia({"--no-video", "--opus", "--seconds", "1", "--tone", "660"})));
  for (std::string& page : opus) test::SetPageSerial(page, 0x4F505553);
  std::string first, headers, data;
  for (auto* pages : {&opus, &vorbis}) {
    if (pages == &vorbis && !withVorbis) continue;
    for (const std::string& page : *pages) {
      bool bos = page[5] & 0x02;
      (bos ? first : test::PageGranule(page) == 0 ? headers : data) += page;
    }
  }
  return first + headers + data;
}

TEST(LinkDecoders, VorbisIsPreferredWhereALinkHasBothAndOpusServesWhereItHasNoVorbis) {
  struct {
    bool withVorbis;
    tAudioCodecKind kind;
    int32_t streamIndex;
    int64_t frames;
    const char* note;
  } rows[] = {
      {true, tAudioCodecKind::Vorbis, 1, 44100, "Opus first in the link, Vorbis still chosen"},
      {false, tAudioCodecKind::Opus, 0, 48000, "no Vorbis"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.note);
    tMemorySource src(BothSoundCodecs(r.withVorbis));
    ASSERT_TRUE(src.ReadStreamHeaders());
    ASSERT_EQ(src.StreamCount(), r.withVorbis ? 2 : 1);
    tOggLinkDecoders link;
    ASSERT_TRUE(link.Open(src));
    ASSERT_TRUE(link.Audio);
    EXPECT_EQ(link.Audio->Kind(), r.kind);
    EXPECT_EQ(link.Audio->StreamIndex, r.streamIndex);
    EXPECT_EQ(DecodeToEnd(*link.Audio), r.frames);
  }
  // With pictures, Opus sound beside Theora.
  tMemorySource src(ReadFile(MakeMedia({"--width", "32", "--height", "32", "--opus", "--seconds", "1"})));
  ASSERT_TRUE(src.ReadStreamHeaders());
  tOggLinkDecoders link;
  ASSERT_TRUE(link.Open(src));
  ASSERT_TRUE(link.Video && link.Audio);
  EXPECT_EQ(link.Audio->Kind(), tAudioCodecKind::Opus);
  EXPECT_EQ(link.Kinds(), tOggLinkDecoders::kBoth);
}

TEST(LinkDecoders, WithoutLibopusAnOpusLinkHasNoDecoder) {
  // A folder with every codec library but libopus.
  test::tTempDir folder;
  ASSERT_NO_FATAL_FAILURE(
      test::LinkCodecLibraries(folder.Path(), {"libogg.so.0", "libvorbis.so.0", "libtheora.so.0"}));
  SetModuleSearchFolder(folder.Path());
  {
    EXPECT_FALSE(LoadOpusLibrary());
    tMemorySource opus(ReadFile(MakeMedia({"--no-video", "--opus", "--seconds", "0.5"})));
    ASSERT_TRUE(opus.ReadStreamHeaders());
    tOggLinkDecoders link;
    EXPECT_FALSE(link.Open(opus)) << "nothing to play: the player's no-decoder path";
    EXPECT_EQ(link.Kinds(), tOggLinkDecoders::kNone);
    tMemorySource vorbis(ReadFile(MakeMedia({"--no-video", "--seconds", "0.5"})));
    ASSERT_TRUE(vorbis.ReadStreamHeaders());
    tOggLinkDecoders vorbisLink;  // declared after its source: it closes first
    EXPECT_TRUE(vorbisLink.Open(vorbis)) << "Vorbis plays as before";
  }
  SetModuleSearchFolder("");
}

}  // namespace
}  // namespace ktv
