// The command-line program's player without a window, driven by a real decoding thread on a generated clip.
#include "cli/headless_player.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/main_thread.h"
#include "platform/manual_sound_device.h"
#include "support/test_support.h"

namespace ktv {
namespace {

TEST(HeadlessPlayer, SoundOutputKindsByName) {
  struct {
    const char* Text;
    bool Known;
    tSoundOutputKind Kind;
  } rows[] = {{"ring", true, tSoundOutputKind::Ring},
              {"blocks", true, tSoundOutputKind::Blocks},
              {"none", true, tSoundOutputKind::None},
              {"Ring", false, tSoundOutputKind::None},
              {"", false, tSoundOutputKind::None}};
  for (const auto& row : rows) {
    tSoundOutputKind kind = tSoundOutputKind::None;
    EXPECT_EQ(ParseSoundOutputKind(row.Text, kind), row.Known) << row.Text;
    if (row.Known) {
      EXPECT_EQ(kind, row.Kind) << row.Text;
    }
  }
}

// Plays the clip through the player until the decoding thread goes idle; false when it never does.
bool PlayToTheEnd(tHeadlessPlayer& player, const std::string& clip) {
  SetMainThread();
  tMessageQueue messages;
  tOggThreadManager manager(clip, MSG_PROGRESS, &messages, 10);
  player.Attach(manager);
  const uint32_t start = timeGetTime();
  bool idle = false;
  while (!idle && timeGetTime() - start < 60000) {
    DrainMainThreadCalls();
    WaitForMainThreadCalls(5);
    tMessage message;
    while (messages.Take(message)) idle = idle || message.WParam == PROGRESS_IDLE;
  }
  player.Detach();
  return idle;
}

TEST(HeadlessPlayer, WithoutSoundEveryPictureArrivesAndPlaybackEnds) {
  const std::string clip = test::MakeMedia({"--width", "64", "--height", "48", "--seconds", "1"});
  ASSERT_FALSE(clip.empty());
  struct {
    tSoundOutputKind Kind;
    bool Unavailable;
    const char* Note;
  } rows[] = {
      {tSoundOutputKind::None, false, "no sound output asked for"},
      {tSoundOutputKind::Ring, true, "a ring whose device cannot open"},
      {tSoundOutputKind::Blocks, true, "a block queue whose device cannot open"},
  };
  for (const auto& row : rows) {
    tHeadlessPlayer player(row.Kind, nullptr, [] { return std::make_unique<tManualSoundDevice>(true); });
    ASSERT_TRUE(PlayToTheEnd(player, clip)) << row.Note;
    EXPECT_EQ(player.SoundUnavailable(), row.Unavailable) << row.Note;
    EXPECT_EQ(player.FramesReceived, 25) << "every picture, timed by the clock: " << row.Note;
    EXPECT_EQ(player.LastFrameWidth, 64) << row.Note;
    EXPECT_EQ(player.LastFrameHeight, 48) << row.Note;
  }
}

}  // namespace
}  // namespace ktv
