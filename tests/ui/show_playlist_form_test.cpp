#include "ui/show_playlist_form.h"

#include <gtest/gtest.h>

#include <QFileDialog>
#include <QTest>
#include <QTreeWidget>
#include <functional>
#include <string>
#include <vector>

#include "library/playlist.h"
#include "support/qt/qt_test_support.h"
#include "support/test_support.h"
#include "ui/kestrova_button.h"
#include "ui/modal_user.h"
#include "ui/my_message_box.h"
#include "ui/report_rows.h"

namespace ktv {
namespace {

tPlayListEntry Entry(const std::string& title, int64_t duration) {
  tPlayListEntry entry;
  entry.Location = "http://127.0.0.1/" + title;
  entry.Title = title;
  entry.Annotation = title + " notes";
  entry.Genre = "Jazz";
  entry.Info = "http://info.example/" + title;
  entry.Duration = duration;
  return entry;
}

using test::ClickRow;
using test::Column;

TEST(PlaylistViewer, RowsShowEveryEntryWithItsLength) {
  struct Row {
    int64_t Duration;
    const char* Shown;
  } rows[] = {
      {3725, "01:02:05"},
      {100 * 3600, "+99:00:00"},
      {-1, "Unknown"},
      {0, "00:00:00"},
      {359999, "99:59:59"},
      {100 * 3600 + 3599, "+99:59:59"},
      {int64_t{1} << 40, "+99:36:16"},
  };
  tPlaylist playlist;
  std::vector<std::string> lengths;
  for (const Row& row : rows) {
    playlist.Add(Entry("clip" + std::to_string(playlist.Count()), row.Duration));
    lengths.push_back(row.Shown);
  }
  TfmShowPlaylist form;
  form.ShowPlaylist(playlist, -1);
  EXPECT_EQ(Column(form.Views, 4), lengths);
  const QTreeWidgetItem* first = form.Views->topLevelItem(0);
  EXPECT_EQ(first->text(0) + "|" + first->text(1) + "|" + first->text(2) + "|" + first->text(3),
            "clip0|clip0 notes|Jazz|http://info.example/clip0");
  EXPECT_EQ(form.SelectedEntry(), -1);
  EXPECT_FALSE(form.btnPlay->isEnabled()) << "nothing to play without a selection";
}

TEST(PlaylistViewer, PicksAnEntry) {
  struct Row {
    int32_t Index;
    const char* Gesture;
    bool Picked;
    int32_t Result;
    const char* Note;
  } rows[] = {
      {1, "play", true, 1, "the entry given is selected and played"},
      {1, "enter", true, 1, "Enter plays the selection"},
      {-1, "double click 2", true, 2, "a double click picks its row"},
      {5, "click 0, play", true, 0, "an index past the end selects nothing; a click does"},
      {0, "close", false, 0, "closed: nothing picked, the index stays"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Note);
    tPlaylist playlist;
    for (int i = 0; i < 3; ++i) playlist.Add(Entry("clip" + std::to_string(i), 60 * i));
    TfmShowPlaylist form;
    int32_t index = row.Index;
    const bool picked = test::ShowWithUser(
        form,
        [&] {
          const bool valid = row.Index >= 0 && row.Index < 3;
          EXPECT_EQ(form.SelectedEntry(), valid ? row.Index : -1);
          EXPECT_EQ(form.btnPlay->isEnabled(), valid);
          const std::string gesture = row.Gesture;
          if (gesture == "play") {
            test::SaveScreenshot(form.grab().toImage(), "playlist_viewer");
            QTest::mouseClick(form.btnPlay, Qt::LeftButton);
          } else if (gesture == "enter") {
            QTest::keyClick(form.Views, Qt::Key_Return);
          } else if (gesture == "double click 2") {
            test::DoubleClickRow(form.Views, 2);
          } else if (gesture == "click 0, play") {
            ClickRow(form.Views, 0);
            EXPECT_TRUE(form.btnPlay->isEnabled());
            QTest::mouseClick(form.btnPlay, Qt::LeftButton);
          } else {
            QTest::mouseClick(&form, Qt::LeftButton, {}, form.CloseRect().center());
          }
        },
        [&] { return ShowPlaylistDialog(form, playlist, index); });
    EXPECT_EQ(picked, row.Picked);
    EXPECT_EQ(index, row.Result);
  }
}

class PlaylistLoading : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMessageBoxHandler([this](const QString& text, const QString& caption, int flags) {
      Boxes.push_back((caption + "|" + text).toStdString() + "|" + std::to_string(flags));
      return IDOK;
    });
    Playlist.Add(Entry("playing", 30));
    Form.ShowPlaylist(Playlist, 0);
    Form.show();
  }
  void TearDown() override { SetMessageBoxHandler({}); }

  // Picks the file in the viewer's open dialog, as its Open button does.
  void Load(const std::string& file) {
    QTest::mouseClick(Form.btnLoad, Qt::LeftButton);
    ASSERT_TRUE(test::WaitUntil([&] { return Form.OpenPlaylist->isVisible(); }));
    EXPECT_EQ(Form.OpenPlaylist->windowTitle(), "Select a Playlist to Load...");
    Form.OpenPlaylist->selectFile(QString::fromStdString(file));
    static_cast<QDialog*>(Form.OpenPlaylist)->accept();
  }

  test::tTempDir Dir;
  tPlaylist Playlist;
  TfmShowPlaylist Form;
  std::vector<std::string> Boxes;
};

TEST_F(PlaylistLoading, APlaylistFileReplacesTheRows) {
  const std::string file = Dir.File("list.m3u");
  ASSERT_TRUE(
      test::WriteFile(file, "#EXTM3U\n#EXTINF:3725,First Show\nhttp://one.example/\nhttp://two.example/\n"));
  Load(file);
  EXPECT_EQ(Column(Form.Views, 0), (std::vector<std::string>{"First Show", ""}));
  EXPECT_EQ(Column(Form.Views, 4), (std::vector<std::string>{"01:02:05", "Unknown"}));
  ASSERT_EQ(Playlist.Count(), 2) << "the caller's playlist is the one loaded";
  EXPECT_EQ(Playlist[1].Location, "http://two.example/");
  EXPECT_TRUE(Boxes.empty());
}

TEST_F(PlaylistLoading, AnOggFileIsReportedAndChangesNothing) {
  const std::string file = Dir.File("clip.ogg");
  ASSERT_TRUE(test::WriteFile(file, std::string("OggS\0\2", 6) + std::string(40, '\0')));
  Load(file);
  EXPECT_EQ(Boxes, (std::vector<std::string>{"Error|Unable to load playlist.|" +
                                             std::to_string(MB_ICONINFORMATION)}));
  ASSERT_EQ(Playlist.Count(), 1);
  EXPECT_EQ(Playlist[0].Title, "playing") << "the programme is kept";
  EXPECT_EQ(Column(Form.Views, 0), (std::vector<std::string>{"playing"}));
  EXPECT_EQ(Form.SelectedEntry(), 0);
}

}  // namespace
}  // namespace ktv
