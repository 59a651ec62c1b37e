// The stream controller without a window: real decoding threads on generated files and loopback servers, a
// recording view, and the main thread's side (synchronised calls, posted messages) pumped by the test.
#include "control/stream_controller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "library/player_settings.h"
#include "platform/clock.h"
#include "platform/main_thread.h"
#include "stream/ogg_thread_manager.h"
#include "support/script_server.h"
#include "support/test_support.h"

namespace ktv {
namespace {

// What a front end was told, in order, as short lines ("notify: ...", "error: ...", "size", ...).
class tRecordingView : public tStreamView {
 public:
  void StreamClosing(tOggThreadManager& stream) override {
    EXPECT_EQ(Open, &stream) << "only the current stream is closed";
    Open = nullptr;
    Log.push_back("closing");
  }
  void StreamOpened(tOggThreadManager* stream) override {
    Open = stream;
    if (!stream) return;
    ++Opened;
    // No sound output: the pictures and sound count as played by the wall clock, and a link ends once
    // everything was handed over.
    stream->OnPlaybackDone = [] { return true; };
  }
  void Progress(int code) override { Codes.push_back(code); }
  void Notify(const std::string& text) override { Log.push_back("notify: " + text); }
  void TitleChanged(const std::string& title) override {
    if (!title.empty()) Log.push_back("title: " + title);
  }
  void ErrorBox(const std::string& text) override { Log.push_back("error: " + text); }
  void PictureSizeChanged() override { Log.push_back("size"); }
  void SuppressVisualisation(bool suppressed) override { Suppressed.push_back(suppressed); }
  void PlaylistEnded() override { Log.push_back("ended"); }

  int Count(const std::string& line) const {
    return static_cast<int>(std::count(Log.begin(), Log.end(), line));
  }
  bool Has(const std::string& start) const {
    return std::any_of(Log.begin(), Log.end(), [&](const std::string& l) { return l.rfind(start, 0) == 0; });
  }

  tOggThreadManager* Open = nullptr;
  int Opened = 0;
  std::vector<int> Codes;
  std::vector<std::string> Log;
  std::vector<bool> Suppressed;
};

class StreamController : public ::testing::Test {
 protected:
  StreamController() { SetMainThread(); }

  // The main thread's turn: synchronised calls and posted messages, until `done` or the time is up.
  template <typename Done>
  bool PumpUntil(Done done, uint32_t ms = 15000) {
    const uint32_t start = timeGetTime();
    while (!done()) {
      if (timeGetTime() - start > ms) return false;
      Pump(5);
    }
    return true;
  }
  void Pump(uint32_t waitMs) {
    DrainMainThreadCalls();
    WaitForMainThreadCalls(waitMs);
    tMessage m;
    while (Messages.Take(m)) EXPECT_TRUE(Controller.HandleMessage(m.Msg, m.WParam, m.LParam));
  }
  bool Ended() {
    return PumpUntil([&] { return View.Has("ended"); });
  }

  tMessageQueue Messages;
  tRecordingView View;
  tStreamController Controller{View, Messages, nullptr};
};

std::string ShortClip(const std::vector<std::string>& extra = {}) {
  std::vector<std::string> args = {"--width", "64", "--height", "48", "--seconds", "1"};
  args.insert(args.end(), extra.begin(), extra.end());
  return "file://" + test::MakeMedia(args);
}

TEST_F(StreamController, AStreamPlaysToItsEndAndIsReportedOnce) {
  const std::string clip = ShortClip();
  Controller.OpenByUser(clip);
  EXPECT_NE(Controller.StreamId(), 0u);
  ASSERT_TRUE(Ended());
  EXPECT_EQ(View.Log.front(), "notify: Opening " + clip + ", Please Wait...");
  EXPECT_EQ(View.Count("notify: Stream closed or got disconnected."), 1);
  EXPECT_EQ(View.Count("size"), 1) << "sized to the picture once";
  EXPECT_TRUE(View.Has("title: "));
  EXPECT_FALSE(View.Has("error: "));
  EXPECT_EQ(Controller.EndError(), RE_ENDED);
  EXPECT_TRUE(Controller.Title().empty()) << "an ended stream has no title";
  EXPECT_EQ(View.Opened, 1) << "a single address is played once";
}

// The faults of a restarted stream: the replaced stream's last messages (here its "ended") must neither end
// the new stream nor move the playlist on, even where the new stream's manager lives at the old address.
TEST_F(StreamController, MessagesOfAReplacedStreamAreDropped) {
  const std::string clip = ShortClip();
  Controller.OpenByUser(clip);
  const uint64_t first = Controller.StreamId();
  // Let the first stream end (progress 6 is the last message its thread posts) without handing its messages
  // over.
  std::vector<tMessage> held;
  const uint32_t start = timeGetTime();
  while ((held.empty() || held.back().WParam != PROGRESS_IDLE) && timeGetTime() - start < 15000) {
    DrainMainThreadCalls();
    WaitForMainThreadCalls(5);
    tMessage m;
    while (Messages.Take(m)) held.push_back(m);
  }
  ASSERT_FALSE(held.empty());
  ASSERT_EQ(held.back().WParam, PROGRESS_IDLE);
  Controller.OpenByUser(clip);  // the user plays it again
  EXPECT_GT(Controller.StreamId(), first) << "ids rise";
  for (const tMessage& m : held) EXPECT_TRUE(Controller.HandleMessage(m.Msg, m.WParam, m.LParam));
  EXPECT_EQ(View.Count("notify: Stream closed or got disconnected."), 0);
  EXPECT_FALSE(View.Has("ended"));
  EXPECT_EQ(View.Opened, 2);
  ASSERT_TRUE(Ended()) << "the new stream plays to its own end";
  EXPECT_EQ(View.Count("notify: Stream closed or got disconnected."), 1);
}

TEST_F(StreamController, StopReportsNoDisconnection) {
  Controller.OpenByUser(ShortClip({"--seconds", "5"}));
  ASSERT_TRUE(
      PumpUntil([&] { return std::count(View.Codes.begin(), View.Codes.end(), PROGRESS_PLAYING) > 0; }));
  Controller.Stop();
  EXPECT_EQ(Controller.Stream(), nullptr);
  EXPECT_EQ(View.Open, nullptr);
  EXPECT_TRUE(Controller.UserClosed());
  for (int i = 0; i < 20; ++i) Pump(10);
  EXPECT_FALSE(View.Has("notify: Stream closed"));
  Controller.PlayAgain();
  ASSERT_NE(Controller.Stream(), nullptr) << "Play opens the same address again";
  EXPECT_TRUE(Ended());
}

// A text answer of a web server: its header with the length of the text.
std::string TextAnswer(const std::string& text) {
  return "HTTP/1.0 200 OK\r\nContent-Type: audio/x-mpegurl\r\nContent-Length: " +
         std::to_string(text.size()) + "\r\n\r\n" + text;
}

struct tFailure {
  const char* Name;
  std::string URL;
  std::string Error;
};

TEST_F(StreamController, FailuresShowTheirMessageAndEndThePlaylist) {
  test::tScriptServer refused({test::ReadRequest(), test::Send("FOO 500 Refused\r\n\r\n"), test::Close()});
  test::tScriptServer emptyList(
      {test::ReadRequest(), test::Send(TextAnswer("#EXTM3U\r\n#EXTINF:-1,Nothing here\r\n")), test::Close()});
  const std::vector<tFailure> failures = {
      {"missing file", "file:///nonexistent/kestrova/none.ogg", "error: " + ReceiverErrorText(RE_FILE)},
      {"refused answer", refused.URL("/gone.ogg"), "error: " + ReceiverErrorText(RE_NOT_AVAILABLE)},
      {"empty playlist answer", emptyList.URL("/list.m3u"), "error: The playlist specified is empty."},
  };
  for (const tFailure& f : failures) {
    SCOPED_TRACE(f.Name);
    View.Log.clear();
    Controller.OpenByUser(f.URL);
    ASSERT_TRUE(Ended());
    EXPECT_EQ(View.Count(f.Error), 1) << ::testing::PrintToString(View.Log);
  }
}

// A playlist a server sends in place of a stream plays entry after entry; the last one's end is reported.
TEST_F(StreamController, PlaylistAnswerPlaysItsEntriesInTurn) {
  const std::string clip =
      test::ReadFile(test::MakeMedia({"--width", "64", "--height", "48", "--seconds", "1"}));
  const std::string icy = "ICY 200 OK\r\nContent-Type: application/ogg\r\n\r\n";
  test::tScriptServer first({test::ReadRequest(), test::Send(icy + clip), test::Close()});
  test::tScriptServer second({test::ReadRequest(), test::Send(icy + clip), test::Close()});
  const std::string a = first.URL("/one.ogg"), b = second.URL("/two.ogg");
  test::tScriptServer server(
      {test::ReadRequest(), test::Send(TextAnswer("#EXTM3U\r\n" + a + "\r\n" + b + "\r\n")), test::Close()});
  Controller.OpenByUser(server.URL("/station.m3u"));
  ASSERT_TRUE(Ended());
  EXPECT_EQ(View.Opened, 3) << "the answer, then both entries";
  EXPECT_EQ(Controller.PlaylistIndex(), 2);
  EXPECT_EQ(first.Connections(), 1);
  EXPECT_EQ(second.Connections(), 1);
  EXPECT_EQ(View.Count("notify: Opening " + a + ", Please Wait..."), 1);
  EXPECT_EQ(View.Count("notify: Opening " + b + ", Please Wait..."), 1);
  EXPECT_EQ(View.Count("notify: Stream closed or got disconnected."), 1) << "only after the last entry";
  EXPECT_FALSE(View.Has("error: ")) << "a stream that ends is no error";

  // Picking an entry plays it, and the list ends after the last one again.
  View.Log.clear();
  Controller.PlayEntry(1);
  ASSERT_TRUE(Ended());
  EXPECT_EQ(second.Connections(), 2);
  EXPECT_EQ(first.Connections(), 1);
}

// Several sources given at once (a command line, a second start): the first plays, the rest follow it.
TEST_F(StreamController, SeveralSourcesPlayInTurn) {
  const std::string first = ShortClip(), second = ShortClip({"--no-video"});
  Controller.OpenAll({first, second});
  EXPECT_EQ(Controller.CurrentURL(), first);
  ASSERT_EQ(Controller.Playlist().Count(), 2);
  EXPECT_EQ(Controller.PlaylistIndex(), 1) << "the next entry is the second source";
  ASSERT_TRUE(Ended());
  EXPECT_EQ(Controller.CurrentURL(), second);
  EXPECT_EQ(View.Opened, 2);
  EXPECT_FALSE(View.Has("error: "));
}

// A playlist a server sends may name itself or local files: it ends after a few levels, and opens nothing
// local.
TEST_F(StreamController, PlaylistAnswersAreBoundedAndNameOnlyStreams) {
  test::tScriptServer self({test::ReadRequest(), test::Send(TextAnswer("#EXTM3U\r\n")), test::Close()});
  const std::string selfList = "#EXTM3U\r\n" + self.URL("/self.m3u") + "\r\n";
  test::tScriptServer loop({test::ReadRequest(), test::Send(TextAnswer(selfList)), test::Close()});
  // (The first server only gives the port; the looping one answers every request with itself.)
  const std::string loopList = "#EXTM3U\r\n" + loop.URL("/self.m3u") + "\r\n";
  test::tScriptServer looping({test::ReadRequest(), test::Send(TextAnswer(loopList)), test::Close()});
  Controller.OpenByUser(looping.URL("/self.m3u"));
  ASSERT_TRUE(Ended());
  EXPECT_LE(looping.Connections() + loop.Connections() + self.Connections(), 4) << "three levels at most";
  EXPECT_TRUE(View.Has("error: ")) << ::testing::PrintToString(View.Log);

  View.Log.clear();
  const std::string clip = test::MakeMedia({"--width", "64", "--height", "48", "--seconds", "1"});
  test::tScriptServer local({test::ReadRequest(),
                             test::Send(TextAnswer("#EXTM3U\r\nfile://" + clip + "\r\n" + clip + "\r\n")),
                             test::Close()});
  Controller.OpenByUser(local.URL("/local.m3u"));
  ASSERT_TRUE(Ended());
  EXPECT_EQ(View.Count("error: " + ReceiverErrorText(RE_NOT_AVAILABLE)), 2)
      << ::testing::PrintToString(View.Log);
  EXPECT_FALSE(View.Has("title: ")) << "no local file was played";
}

// A chained stream whose first link has no picture: the visualisation may show in that link, and the
// picture link that follows sizes the window and suppresses it again.
TEST_F(StreamController, ChainedStreamPictureComesAndGoes) {
  Controller.OpenByUser("file://" + test::MakeMedia({"--no-video", "--seconds", "1", "--link", "--video",
                                                     "--width", "64", "--height", "48", "--seconds", "1",
                                                     "--link", "--no-video", "--seconds", "1"}));
  ASSERT_TRUE(Ended());
  EXPECT_EQ(std::count(View.Codes.begin(), View.Codes.end(), PROGRESS_STREAMS), 3);
  EXPECT_EQ(View.Count("size"), 1) << "the picture link sizes the window";
  // The sound-only links let the visualisation show; the picture link turns it off.
  std::vector<bool> changes;
  for (bool s : View.Suppressed)
    if (changes.empty() || changes.back() != s) changes.push_back(s);
  EXPECT_EQ(changes, (std::vector<bool>{true, false, true, false, true}));
}

// Pictures in 4:2:2 and 4:4:4 size the window and keep the visualisation away, as 4:2:0 ones do; a file with
// such pictures alone is a playable stream.
TEST_F(StreamController, EveryChromaLayoutSizesTheWindowAndSuppressesTheVisualisation) {
  struct {
    std::vector<std::string> Options;
    const char* Note;
  } rows[] = {
      {{"--pixfmt", "444"}, "4:4:4 with sound"},
      {{"--pixfmt", "422"}, "4:2:2 with sound"},
      {{"--pixfmt", "444", "--no-audio"}, "4:4:4 alone"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.Note);
    View.Log.clear();
    View.Suppressed.clear();
    Controller.OpenByUser(ShortClip(r.Options));
    ASSERT_TRUE(Ended());
    EXPECT_EQ(View.Count("size"), 1) << "sized to the picture";
    EXPECT_FALSE(View.Has("error: ")) << ::testing::PrintToString(View.Log);
    ASSERT_FALSE(View.Suppressed.empty());
    EXPECT_TRUE(std::all_of(View.Suppressed.begin(), View.Suppressed.end(), [](bool s) { return s; }))
        << "the visualisation never shows beside the picture";
  }
}

TEST_F(StreamController, WhatTheUserOpenedBecomesARecentStation) {
  test::tTempDir dir;
  tPlayerSettings settings(dir.File("settings"));
  settings.LoadSettings();
  settings.BufferSeconds = 1;
  tStreamController controller(View, Messages, &settings);
  const std::string clip = ShortClip();
  controller.OpenByUser(clip);
  const uint32_t start = timeGetTime();
  while (!View.Has("ended") && timeGetTime() - start < 15000) {
    DrainMainThreadCalls();
    WaitForMainThreadCalls(5);
    tMessage m;
    while (Messages.Take(m)) controller.HandleMessage(m.Msg, m.WParam, m.LParam);
  }
  ASSERT_TRUE(View.Has("ended"));
  ASSERT_EQ(settings.recent.size(), 1u);
  EXPECT_EQ(settings.recent[0]->URLs, std::vector<std::string>{clip});
  EXPECT_EQ(controller.Playlist().Count(), 1) << "the address is not doubled in the playlist";
}

// Next and previous (the desktop's media controls) move through the playlist from the entry playing, and do
// nothing at either end.
TEST_F(StreamController, NextAndPreviousMoveThroughThePlaylist) {
  // Three different clips, long enough that none ends by itself while the test steps through them.
  tPlaylist list;
  for (const char* width : {"64", "80", "96"}) {
    const std::string clip = test::MakeMedia({"--width", width, "--height", "48", "--seconds", "30"});
    ASSERT_FALSE(clip.empty());
    list.Add({"file://" + clip, width, "", "", "", -1});
  }
  struct {
    int32_t playing;  // the entry playing before the step
    bool next;        // next (true) or previous
    bool moves;
    int32_t after;  // the entry playing after it
    const char* note;
  } rows[] = {
      {0, true, true, 1, "from the first entry on"}, {1, true, true, 2, "to the last entry"},
      {2, true, false, 2, "past the end: nothing"},  {2, false, true, 1, "back from the last"},
      {1, false, true, 0, "back to the first"},      {0, false, false, 0, "before the first: nothing"},
  };
  for (const auto& r : rows) {
    const uint64_t previous = Controller.StreamId();
    Controller.PlayPlaylist(list, r.playing);  // posted: the entry opens once the message is handled
    ASSERT_TRUE(PumpUntil([&] { return Controller.StreamId() != previous; })) << r.note;
    ASSERT_EQ(Controller.CurrentURL(), list[r.playing].Location) << r.note;
    EXPECT_EQ(Controller.HasNext(), r.playing < 2) << r.note;
    EXPECT_EQ(Controller.HasPrevious(), r.playing > 0) << r.note;
    const uint64_t before = Controller.StreamId();
    EXPECT_EQ(r.next ? Controller.PlayNext() : Controller.PlayPrevious(), r.moves) << r.note;
    if (r.moves) {
      ASSERT_TRUE(PumpUntil([&] { return Controller.StreamId() != before; })) << r.note;
    } else {
      Pump(20);
      EXPECT_EQ(Controller.StreamId(), before) << r.note << ": the stream playing stays";
    }
    EXPECT_EQ(Controller.CurrentURL(), list[r.after].Location) << r.note;
  }
  // After a stop the list keeps its place: next still follows the entry that played last (the first).
  Controller.Stop();
  EXPECT_TRUE(Controller.HasNext());
  EXPECT_FALSE(Controller.HasPrevious());
}

}  // namespace
}  // namespace ktv
