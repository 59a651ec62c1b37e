// Several sources given at once: the first plays, the others are the playlist that follows it.
#include "app_test_support.h"

namespace ktv {
namespace {

using namespace ktv::test;

TEST_F(PlayerWindowTest, SeveralSourcesPlayTheFirstAndTheRestFollow) {
  Make();
  const QString first = QString::fromStdString(Clip(64, 48, 1));
  const QString second = QString::fromStdString(Clip(80, 64, 1));
  Window->PlaySources({first, second});
  EXPECT_EQ(Window->CurrentURL, first);
  EXPECT_EQ(Window->OpenedByUser, first);
  ASSERT_EQ(Window->Playlist().Count(), 2);
  EXPECT_EQ(Window->Playlist()[1].Location, second.toStdString());
  EXPECT_EQ(Window->PlaylistIndex, 1) << "the next entry is the second source";
  // The first clip ends after a second; the second follows without a word to the user.
  ASSERT_TRUE(WaitUntil([&] { return Window->CurrentURL == second; }, 20000));
  EXPECT_TRUE(Boxes.Boxes.empty());

  Window->PlaySources({second});
  EXPECT_EQ(Window->Playlist().Count(), 1) << "one source is a playlist of one, as a single argument makes";
  EXPECT_EQ(Window->CurrentURL, second);
}

}  // namespace
}  // namespace ktv
