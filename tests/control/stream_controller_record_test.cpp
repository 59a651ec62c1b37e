// Recording through the stream controller: what starts and ends a recording, where it goes, and what the
// front end is told, on a real icecast2 mount.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "control/stream_controller.h"
#include "platform/clock.h"
#include "platform/main_thread.h"
#include "stream/ogg_page_splitter.h"
#include "stream/ogg_thread_manager.h"
#include "stream/record_media.h"  // SplitPages
#include "support/icecast_server.h"
#include "support/test_support.h"

namespace ktv {
namespace {

using namespace ktv::test;

class tRecordView : public tStreamView {
 public:
  void StreamOpened(tOggThreadManager* stream) override {
    if (stream) stream->OnPlaybackDone = [] { return true; };
  }
  void Notify(const std::string& text) override { Log.push_back(text); }
  void RecordingChanged(bool recording) override { Marks.push_back(recording); }
  bool Has(const std::string& start) const {
    return std::any_of(Log.begin(), Log.end(), [&](const std::string& l) { return l.starts_with(start); });
  }
  std::vector<std::string> Log;
  std::vector<bool> Marks;  // the Record item's check mark, as it was set
};

class ControllerRecording : public ::testing::Test {
 protected:
  ControllerRecording() { SetMainThread(); }
  template <typename Done>
  bool PumpUntil(Done done, uint32_t ms = 20000) {
    const uint32_t start = timeGetTime();
    while (!done()) {
      if (timeGetTime() - start > ms) return false;
      DrainMainThreadCalls();
      WaitForMainThreadCalls(5);
      tMessage m;
      while (Messages.Take(m)) Controller.HandleMessage(m.Msg, m.WParam, m.LParam);
    }
    return true;
  }
  bool HeadersRead() {
    return PumpUntil([&] { return !Controller.Title().empty(); });
  }

  tMessageQueue Messages;
  tRecordView View;
  tStreamController Controller{View, Messages, nullptr};
};

TEST_F(ControllerRecording, NothingOrALocalFileIsNotRecorded) {
  EXPECT_FALSE(Controller.CanRecord());
  EXPECT_FALSE(Controller.StartRecording());
  EXPECT_TRUE(View.Has("Nothing is playing to record."));
  const std::string clip = MakeMedia({"--width", "32", "--height", "32", "--seconds", "3"});
  tTempDir dir;
  for (const std::string& url : {clip, "file://" + clip}) {
    Controller.OpenByUser(url);
    EXPECT_FALSE(Controller.CanRecord()) << url;
    EXPECT_FALSE(Controller.StartRecording(dir.Path())) << url;
    ASSERT_TRUE(HeadersRead());
    Controller.ToggleRecording();
    EXPECT_FALSE(Controller.IsRecording()) << url;
  }
  EXPECT_TRUE(View.Has("Local files are not recorded"));
  EXPECT_TRUE(View.Marks.empty()) << "the check mark was never set";
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST_F(ControllerRecording, JoinedMidStreamTheFileStartsWithTheHeadersAndEndsWithTheStream) {
  const std::string clip =
      MakeMedia({"--width", "64", "--height", "48", "--seconds", "30", "--keyint", "10", "--kbps", "160"});
  tIcecastServer server;
  ASSERT_TRUE(server.Running()) << server.Log();
  ASSERT_TRUE(server.Feed(clip, "/live.ogg", "Mid Stream", "Tests", "Joined")) << server.Log();
  tTempDir dir;
  tScopedEnv home("HOME", dir.Path());
  tScopedEnv config("XDG_CONFIG_HOME", dir.File("config"));
  std::filesystem::create_directories(dir.File("config"));
  std::filesystem::create_directories(dir.File("Videos"));
  ASSERT_TRUE(WriteFile(dir.File("config/user-dirs.dirs"), "XDG_VIDEOS_DIR=\"$HOME/Videos\"\n"));
  Controller.Options.BufferSeconds = 1;
  Controller.OpenByUser(server.URL("/live.ogg"));
  ASSERT_TRUE(PumpUntil([&] { return Controller.Position() > 2.0; })) << "the stream plays";
  ASSERT_TRUE(Controller.CanRecord());
  ASSERT_TRUE(Controller.StartRecording());  // the user's videos folder
  EXPECT_TRUE(Controller.IsRecording());
  const std::string path = Controller.RecordingPath();
  EXPECT_EQ(std::filesystem::path(path).parent_path(), dir.File("Videos"));
  EXPECT_TRUE(View.Has("Recording to " + path));
  ASSERT_TRUE(PumpUntil([&] { return Controller.Position() > 5.0; }));
  // A new stream ends the recording (here: the same address again).
  Controller.OpenByUser(server.URL("/live.ogg"));
  EXPECT_FALSE(Controller.IsRecording());
  EXPECT_TRUE(View.Has("Recording saved: " + path));
  EXPECT_EQ(View.Marks, (std::vector<bool>{true, false}));
  const std::string bytes = ReadFile(path);
  EXPECT_EQ(Controller.RecordedBytes(), static_cast<int64_t>(bytes.size()));
  const std::vector<std::string> pages = SplitPages(bytes);
  ASSERT_GT(pages.size(), 4u);
  EXPECT_TRUE(ReadOggPageInfo(pages[0]).BeginsStream) << "the link's headers come first";
  // (That such a file plays on its own, and equals its source, the tap's and the command's tests show.)
  Controller.Stop();
}

TEST_F(ControllerRecording, StopAndAFailureEndTheRecordingOnce) {
  const std::string clip = MakeMedia({"--width", "64", "--height", "48", "--seconds", "20", "--kbps", "160"});
  tIcecastServer server;
  ASSERT_TRUE(server.Running()) << server.Log();
  ASSERT_TRUE(server.Feed(clip, "/live.ogg", "Ice TV", "Tests", "Stopped")) << server.Log();
  tTempDir dir;
  Controller.Options.BufferSeconds = 1;
  Controller.OpenByUser(server.URL("/live.ogg"));
  // Asked before the headers: it waits for them.
  ASSERT_TRUE(Controller.StartRecording(dir.Path()));
  EXPECT_TRUE(Controller.RecordingPath().empty());
  ASSERT_TRUE(PumpUntil([&] { return !Controller.RecordingPath().empty(); }));
  const std::string path = Controller.RecordingPath();
  EXPECT_TRUE(path.ends_with(".ogv")) << path;
  ASSERT_TRUE(PumpUntil([&] { return Controller.RecordedBytes() > 0; }));
  // A recorder's own end that arrives after the owner stopped it is stale; the current one's is not.
  Controller.HandleMessage(MSG_RECORDING_ENDED, static_cast<intptr_t>(tRecordEnd::DiskFull), 12345);
  EXPECT_TRUE(Controller.IsRecording()) << "another recording's message";
  Controller.Stop();
  EXPECT_FALSE(Controller.IsRecording());
  EXPECT_TRUE(View.Has("Recording saved: " + path));
  const int64_t saved = Controller.RecordedBytes();
  EXPECT_EQ(static_cast<int64_t>(ReadFile(path).size()), saved);
  // The second recording of the same station in the same second gets a name of its own.
  Controller.OpenByUser(server.URL("/live.ogg"));
  ASSERT_TRUE(PumpUntil([&] { return Controller.Position() > 0.5; }));
  ASSERT_TRUE(Controller.StartRecording(dir.Path()));
  EXPECT_NE(Controller.RecordingPath(), path);
  EXPECT_FALSE(Controller.RecordingPath().empty());
  Controller.StopRecording();
  EXPECT_EQ(ReadFile(path).size(), static_cast<size_t>(saved)) << "the first file was left alone";
  EXPECT_EQ(View.Marks, (std::vector<bool>{true, false, true, false}));
}

}  // namespace
}  // namespace ktv
