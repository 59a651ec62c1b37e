// kestrova-cli play SOURCE [--seconds N] [--output ring|blocks|none] [--volume 0..65535] [--buffer SECONDS]
//                   [--reconnect N] [--reconnect-unit MS] [--stats] [--record FILE|FOLDER]
// Plays a stream or a local file through the decoding thread and a player without a window, printing the
// progress messages and status texts the main window would act on, then one line of JSON. --record keeps the
// network stream's pages in a new file (or a file named by station and time in the folder), as the window's
// Record does; a local file is refused.
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "cli/headless_player.h"
#include "control/stream_controller.h"
#include "platform/clock.h"
#include "platform/main_thread.h"
#include "stream/ogg_thread_manager.h"
#include "stream/stream_title.h"

namespace ktv::cli {
namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The progress messages, kept in order; each one wakes the loop at once.
class tWakingMessageQueue final : public tMessageTarget {
 public:
  void PostMessage(uint32_t msg, intptr_t wParam, intptr_t lParam) override {
    Messages.PostMessage(msg, wParam, lParam);
    WakeMainThread();
  }
  bool Take(tMessage& message) { return Messages.Take(message); }

 private:
  tMessageQueue Messages;
};

// The command's view of the stream controller: the player is attached to each stream, what the window would
// show is printed, and the figures of every stream played are added up.
class tCliStreamView final : public tStreamView {
 public:
  explicit tCliStreamView(tHeadlessPlayer& player) : Player(player) {}

  struct tTotals {
    int64_t Shown = 0, Dropped = 0;
    int32_t Links = 0, Rebuffers = 0, Reconnects = 0;
    double MediaSeconds = 0;
    int32_t FirstPictureMs = -1;  // of the first stream that showed a picture; -1: none did
  };
  // Adds a stream's figures (once, as it goes).
  void Count(tOggThreadManager& stream) {
    Totals.Shown += stream.FramesShown;
    Totals.Dropped += stream.FramesDropped;
    Totals.Links += stream.LinksOpened;
    Totals.Rebuffers += stream.Rebuffers;
    Totals.Reconnects += stream.Receiver().GetReconnects();
    Totals.MediaSeconds += stream.DecodedSeconds();
    if (Totals.FirstPictureMs < 0) Totals.FirstPictureMs = stream.FirstPictureMs;
  }

  void StreamClosing(tOggThreadManager& stream) override {
    Player.Detach();
    Count(stream);
  }
  void StreamOpened(tOggThreadManager* stream) override {
    if (stream) Player.Attach(*stream);
  }
  void Progress(int code) override {
    std::printf("progress %d\n", code);
    if (code == PROGRESS_PLAYING && !Played) {
      Played = true;
      PlayingSince = timeGetTime();
    }
  }
  void Notify(const std::string& text) override {
    std::printf("notify: %s\n", text.c_str());
    if (text.starts_with("Recording")) RecordingNotice = text;
  }
  void TitleChanged(const std::string& title) override {
    if (title.empty()) return;
    LastTitle = title;
    std::printf("title: %s\n", title.c_str());
  }
  void ErrorBox(const std::string& text) override { std::printf("error: %s\n", text.c_str()); }
  void PlaylistEnded() override { Ended = true; }

  tTotals Totals;
  std::string LastTitle;
  std::string RecordingNotice;  // the last thing said about the recording
  bool Ended = false;
  bool Played = false;
  uint32_t PlayingSince = 0;  // when the stream first played (progress 5)

 private:
  tHeadlessPlayer& Player;
};

// The status line is polled this often, as the main window does.
constexpr uint32_t kStatusPollMs = 100;

constexpr char kUsage[] =
    "play SOURCE [--seconds N] [--output ring|blocks|none] [--volume 0..65535] [--buffer SECONDS] "
    "[--reconnect N] [--reconnect-unit MS] [--stats] [--record FILE|FOLDER]";

constexpr int kBadUsage = 2;

int RunPlay(const std::vector<std::string>& args) {
  if (args.empty()) return kBadUsage;
  std::string source;
  double seconds = 0;  // 0: until the stream ends
  tSoundOutputKind kind = tSoundOutputKind::Ring;
  long volume = 65535;
  bool stats = false;
  bool record = false;
  std::string recordTarget;
  long bufferSeconds = 10;  // the player's default stream buffer
  tReceiverOptions options;
  options.ReconnectAttempts = 5;  // the player's default
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    bool hasValue = i + 1 < args.size();
    char* end = nullptr;
    if (a == "--seconds" && hasValue) {
      seconds = std::strtod(args[++i].c_str(), &end);
      if (*end || !(seconds > 0)) return kBadUsage;
    } else if (a == "--output" && hasValue) {
      if (!ParseSoundOutputKind(args[++i], kind)) return kBadUsage;
    } else if (a == "--volume" && hasValue) {
      volume = std::strtol(args[++i].c_str(), &end, 10);
      if (*end || volume < 0 || volume > 65535) return kBadUsage;
    } else if (a == "--buffer" && hasValue) {
      bufferSeconds = std::strtol(args[++i].c_str(), &end, 10);
      if (*end || bufferSeconds < 1 || bufferSeconds > 60) return kBadUsage;
    } else if (a == "--reconnect" && hasValue) {
      long attempts = std::strtol(args[++i].c_str(), &end, 10);
      if (*end || attempts < 0 || attempts > 100) return kBadUsage;
      options.ReconnectAttempts = static_cast<int32_t>(attempts);
    } else if (a == "--reconnect-unit" && hasValue) {
      // The waits before the attempts are 1, 2, 4, 8, 16 of this; tests shorten them.
      long unit = std::strtol(args[++i].c_str(), &end, 10);
      if (*end || unit < 1 || unit > 60000) return kBadUsage;
      options.ReconnectUnitMs = static_cast<uint32_t>(unit);
    } else if (a == "--record" && hasValue) {
      record = true;
      recordTarget = args[++i];
      if (recordTarget.empty()) return kBadUsage;
    } else if (a == "--stats") {
      stats = true;
    } else if (source.empty() && (a.empty() || a[0] != '-')) {
      source = a;
    } else {
      return kBadUsage;
    }
  }
  if (source.empty()) return kBadUsage;

  const double cpuStart = CpuSeconds();
  tWakingMessageQueue messages;
  tHeadlessPlayer player(kind);
  player.SetVolume(static_cast<uint16_t>(volume));
  options.BufferSeconds = static_cast<int32_t>(bufferSeconds);
  tCliStreamView view(player);
  tStreamController controller(view, messages, nullptr);
  controller.Options = options;
  controller.OpenByUser(source);
  if (record && !controller.StartRecording(recordTarget)) {
    std::printf("error: %s cannot be recorded\n", source.c_str());
    controller.Stop();
    return 1;
  }

  std::string status;
  const uint32_t start = timeGetTime();
  uint32_t lastPoll = start;
  bool timeUp = false;
  while (!view.Ended && !timeUp) {
    DrainMainThreadCalls();
    // Nothing to do until a call or a message arrives, the status is due, or the time is up.
    uint32_t elapsed = timeGetTime() - lastPoll;
    uint32_t wait = elapsed < kStatusPollMs ? kStatusPollMs - elapsed : 0;
    if (seconds > 0) {
      double left = seconds * 1000.0 - (timeGetTime() - start);
      wait = static_cast<uint32_t>(std::clamp<double>(std::ceil(left), 0.0, wait));
    }
    if (wait > 0) WaitForMainThreadCalls(wait);
    DrainMainThreadCalls();
    tMessage m;
    while (!view.Ended && messages.Take(m)) controller.HandleMessage(m.Msg, m.WParam, m.LParam);
    std::fflush(stdout);
    uint32_t now = timeGetTime();
    if (now - lastPoll >= kStatusPollMs) {  // the main window's status line
      lastPoll = now;
      std::string text = controller.StatusText();
      if (text != status) {
        status = text;
        if (!text.empty()) std::printf("status: %s\n", text.c_str());
      }
    }
    timeUp = seconds > 0 && (now - start) / 1000.0 >= seconds;
  }
  uint8_t endState = controller.EndState(), endError = controller.EndError();
  if (tOggThreadManager* stream = controller.Stream(); stream && !view.Ended) {
    // Stopped by the clock: how the stream stands now.
    endState = stream->Receiver().GetState();
    endError = stream->Receiver().GetErrorCode();
  }
  if (player.SoundUnavailable())
    std::fprintf(stderr, "kestrova-cli: no sound output; pictures timed by the clock\n");

  const double playingSeconds = view.Played ? (timeGetTime() - view.PlayingSince) / 1000.0 : 0.0;
  const std::string title = view.LastTitle;
  controller.Stop();  // the last stream's figures are added as it goes
  const double cpu = CpuSeconds() - cpuStart;
  const tCliStreamView::tTotals& t = view.Totals;

  bool failed = endError != RE_NONE && endError != RE_ENDED;
  const double mediaSeconds = t.MediaSeconds;
  std::string json =
      "{\"shown\":" + std::to_string(t.Shown) + ",\"dropped\":" + std::to_string(t.Dropped) +
      ",\"media_seconds\":" + std::to_string(mediaSeconds) + ",\"links\":" + std::to_string(t.Links) +
      ",\"reconnects\":" + std::to_string(t.Reconnects) + ",\"state\":" + std::to_string(endState) +
      ",\"error_code\":" + std::to_string(endError) +
      ",\"error_text\":" + JsonString(ReceiverErrorText(endError)) + ",\"title\":" + JsonString(title);
  if (record) {
    json += ",\"record_path\":" + JsonString(controller.RecordingPath()) +
            ",\"record_bytes\":" + std::to_string(controller.RecordedBytes()) +
            ",\"record_notice\":" + JsonString(view.RecordingNotice);
  }
  if (stats) {
    json += ",\"rebuffers\":" + std::to_string(t.Rebuffers) +
            ",\"playing_seconds\":" + std::to_string(playingSeconds) +
            ",\"cpu_seconds\":" + std::to_string(cpu) +
            ",\"cpu_per_media_second\":" + std::to_string(mediaSeconds > 0 ? cpu / mediaSeconds : 0.0) +
            ",\"first_picture_ms\":" + (t.FirstPictureMs < 0 ? "null" : std::to_string(t.FirstPictureMs));
  }
  std::printf("%s}\n", json.c_str());
  return failed ? 1 : 0;
}

tCommandRegistration reg{"play", kUsage, RunPlay};

}  // namespace
}  // namespace ktv::cli
