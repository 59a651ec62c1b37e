#include "control/stream_controller.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "library/player_settings.h"
#include "stream/ogg_thread_manager.h"
#include "stream/recording_names.h"
#include "stream/stream_title.h"

namespace ktv {

namespace {

// A recording's name is taken: " (2)" up to this many copies are tried.
constexpr int kMaxRecordingCopies = 100;

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

tStreamController::tStreamController(tStreamView& view, tMessageTarget& messages, tPlayerSettings* settings)
    : View(view), Messages(messages), Settings(settings) {}

tStreamController::~tStreamController() {
  // The file is closed whole; the front end, going too, is not told.
  if (Recorder) {
    if (Manager) Manager->Receiver().AttachRecorder(nullptr);
    Recorder->Finish();
  }
  if (Manager) View.StreamClosing(*Manager);
  Manager.reset();
}

uint64_t tStreamController::StreamId() const {
  return Manager ? Manager->Id : 0;
}

bool tStreamController::HandleMessage(uint32_t msg, intptr_t wParam, intptr_t lParam) {
  if (msg == MSG_RECORDING_ENDED) {
    // A recording stopped since is over already.
    if (Recorder && lParam == RecordingId) {
      const int error = Recorder->EndError();
      EndRecording(RecordEndText(static_cast<tRecordEnd>(wParam), error));
    }
    return true;
  }
  if (msg != MSG_PROGRESS && msg != MSG_NEXT_ENTRY) return false;
  // A message about a stream replaced since it was posted is stale.
  if (lParam != static_cast<intptr_t>(StreamId())) return true;
  if (msg == MSG_PROGRESS)
    Progress(static_cast<int>(wParam));
  else
    NextEntry();
  return true;
}

// --- Opening and closing -----------------------------------------------------------------------------------

void tStreamController::OpenStream(const std::string& url) {
  Open(url, nullptr);
}

void tStreamController::Open(const std::string& url, const tReceiverOptions* given) {
  if (Recording)
    EndRecording(RecordPath.empty() || !Recorder ? "Recording stopped." : "Recording saved: " + RecordPath);
  HeadersRead = false;
  Closed = false;
  ShowDisconnected = false;
  if (CurrentPlaylist.Count() == 0) {
    CurrentPlaylist.SetSingleEntry(url);
    // The entry opened now is played: when it ends the list has run out (it is not opened again).
    Index = 1;
  }
  if (!url.empty()) View.Notify("Opening " + url + ", Please Wait...");
  const std::string trimmed = Trimmed(url);
  if (!trimmed.empty()) URL = trimmed;

  if (Manager) {
    View.StreamClosing(*Manager);
    Manager.reset();
  }
  if (!trimmed.empty()) {
    tReceiverOptions options = given ? *given : Options;
    if (Settings) {
      options.BufferSeconds = Settings->BufferSeconds;
      options.ReconnectAttempts = Settings->ReconnectAttempts;
    }
    Manager = std::make_unique<tOggThreadManager>(trimmed, MSG_PROGRESS, &Messages, options);
  }
  View.StreamOpened(Manager.get());
}

void tStreamController::OpenByUser(const std::string& url) {
  EntryOptions.reset();
  OpenedByUser = url;
  CurrentPlaylist.Clear();
  OpenStream(url);
}

void tStreamController::OpenAll(const std::vector<std::string>& urls) {
  if (urls.empty()) return;
  EntryOptions.reset();
  OpenedByUser = urls.front();
  CurrentPlaylist.Clear();
  for (const std::string& url : urls) {
    tPlaylist single;
    single.SetSingleEntry(url);
    CurrentPlaylist.Add(single[0]);
  }
  OpenStream(urls.front());
  Index = 1;  // the first is playing; the next follows when it ends
}

void tStreamController::Stop() {
  OpenStream(std::string());
  Closed = true;
}

void tStreamController::PlayAgain() {
  OpenStream(URL);
}

void tStreamController::PlayPlaylist(const tPlaylist& playlist, int32_t index) {
  EntryOptions.reset();
  OpenedByUser.clear();
  if (&playlist != &CurrentPlaylist) CurrentPlaylist = playlist;
  PlayEntry(index);
  if (Settings) Settings->AddPlaylistToRecent(CurrentPlaylist);
}

void tStreamController::PlayEntry(int32_t index) {
  Index = index;
  PostNextEntry();
}

bool tStreamController::HasNext() const {
  return Index >= 0 && Index < CurrentPlaylist.Count();
}

bool tStreamController::HasPrevious() const {
  // Index - 1 plays now; the one before it must exist.
  return Index >= 2 && Index - 2 < CurrentPlaylist.Count();
}

bool tStreamController::PlayNext() {
  if (!HasNext()) return false;
  PlayEntry(Index);
  return true;
}

bool tStreamController::PlayPrevious() {
  if (!HasPrevious()) return false;
  PlayEntry(Index - 2);
  return true;
}

// --- Progress ----------------------------------------------------------------------------------------------

void tStreamController::Progress(int code) {
  View.Progress(code);
  switch (code) {
    case PROGRESS_OPENING:
      View.SuppressVisualisation(true);
      break;
    case PROGRESS_VIDEO:
      View.PictureSizeChanged();
      View.SuppressVisualisation(true);
      break;
    case PROGRESS_AUDIO:
      View.SuppressVisualisation(Manager->HasVideo());
      break;
    case PROGRESS_IDLE: {
      if (Recording) EndRecording(Recorder ? "Recording saved: " + RecordPath : "Recording stopped.");
      StreamTitle.clear();
      View.TitleChanged(StreamTitle);
      View.SuppressVisualisation(true);
      tNetworkOggReceiver& receiver = Manager->Receiver();
      LastState = receiver.GetState();
      LastError = receiver.GetErrorCode();
      const std::string error = ReceiverErrorText(LastError);
      if (!error.empty()) View.ErrorBox(error);
      ShowDisconnected = !Closed;
      if (!Closed) PostNextEntry();
      break;
    }
    case PROGRESS_TEXT:
      View.SuppressVisualisation(true);
      LastState = RS_TEXT;
      PlayTextAsPlaylist();
      StreamTitle.clear();
      break;
    case PROGRESS_STREAMS:
      StreamHeadersRead();
      break;
    default:
      break;
  }
}

void tStreamController::StreamHeadersRead() {
  tNetworkOggReceiver& receiver = Manager->Receiver();
  StreamTitle = BuildStreamTitle(receiver.GetStationName(), receiver.GetDescription(),
                                 CommentTitle(Manager->VideoComments(), Manager->AudioComments()),
                                 receiver.GetStreamURL());
  View.TitleChanged(StreamTitle);
  if (!OpenedByUser.empty()) RecordRecent();
  HeadersRead = true;
  if (Recording && !Recorder) BeginRecording();
}

// The address the user opened gets the station's texts and goes to the recent stations.
void tStreamController::RecordRecent() {
  tNetworkOggReceiver& receiver = Manager->Receiver();
  tPlayListEntry entry;
  // A stream that redirects is remembered at the address it came from in the end; the typed address stays in
  // the recently used list.
  const std::string finalURL = receiver.GetFinalURL();
  entry.Location = finalURL.empty() ? OpenedByUser : finalURL;
  entry.Title = receiver.GetStationName().empty() ? receiver.GetStreamURL() : receiver.GetStationName();
  entry.Annotation = receiver.GetDescription();
  entry.Genre = receiver.GetGenre();
  entry.Info = receiver.GetStationURL();
  // The entry made when the address was opened gets the station's texts; a second entry of the same address
  // would be played again when the stream ends, and doubles the address in the recent list.
  int same = -1;
  for (int i = 0; i < CurrentPlaylist.Count() && same < 0; ++i)
    if (CurrentPlaylist[i].Location == entry.Location || CurrentPlaylist[i].Location == OpenedByUser)
      same = i;
  if (same >= 0)
    CurrentPlaylist[same] = entry;
  else
    CurrentPlaylist.Add(entry);
  if (Settings) Settings->AddPlaylistToRecent(CurrentPlaylist);
  OpenedByUser.clear();
}

void tStreamController::PlayTextAsPlaylist() {
  Index = 0;
  // The address turned out to be a playlist: its entries are what is played and remembered. Recording the
  // address itself once the first entry's headers arrive would add it behind the entries, and the whole list
  // would play a second time.
  OpenedByUser.clear();
  EntryOptions = Manager->Receiver().EntryOptions();
  const std::string text = Manager->Receiver().GetTextData();
  if (!text.empty()) CurrentPlaylist.LoadFromText(text);
  if (!text.empty() && CurrentPlaylist.Count() > 0)
    PostNextEntry();
  else {
    View.ErrorBox("The playlist specified is empty.");
    View.PlaylistEnded();
  }
}

void tStreamController::NextEntry() {
  if (CurrentPlaylist.Count() > Index) {
    if (Settings) Settings->AddPlaylistToRecent(CurrentPlaylist);
    const std::string location = CurrentPlaylist[Index].Location;
    Open(location, EntryOptions ? &*EntryOptions : nullptr);
    ++Index;
    View.SuppressVisualisation(true);
  } else if (ShowDisconnected) {
    View.Notify("Stream closed or got disconnected.");
    View.PlaylistEnded();
  }
  ShowDisconnected = false;
}

void tStreamController::PostNextEntry() {
  Messages.PostMessage(MSG_NEXT_ENTRY, 0, static_cast<intptr_t>(StreamId()));
}

// --- What the front end polls ------------------------------------------------------------------------------

std::string tStreamController::StatusText() const {
  if (!Manager) return {};
  tNetworkOggReceiver& receiver = Manager->Receiver();
  return ReceiverStatusText(receiver.GetState(), receiver.GetBufferLevel(), receiver.GetReconnectAttempt(),
                            receiver.GetReconnectAttempts());
}

// --- Recording ---------------------------------------------------------------------------------------------

bool tStreamController::CanRecord() const {
  return Manager && !Manager->Receiver().IsLocalFile() && !NamesALocalFile(URL);
}

bool tStreamController::StartRecording(const std::string& target) {
  if (Recording) return true;
  if (!Manager) {
    View.Notify("Nothing is playing to record.");
    return false;
  }
  if (!CanRecord()) {
    View.Notify("Local files are not recorded: they are files already.");
    return false;
  }
  RecordTarget = target;
  Recording = true;
  View.RecordingChanged(true);
  if (!HeadersRead) {
    View.Notify("Recording begins when the stream starts.");
    return true;
  }
  return BeginRecording();
}

void tStreamController::StopRecording() {
  if (Recording) EndRecording(Recorder ? "Recording saved: " + RecordPath : "Recording stopped.");
}

void tStreamController::ToggleRecording() {
  if (Recording)
    StopRecording();
  else
    StartRecording();
}

int64_t tStreamController::RecordedBytes() const {
  return Recorder ? Recorder->BytesWritten() : LastRecordedBytes;
}

bool tStreamController::BeginRecording() {
  const bool video = Manager->HasVideo();
  std::string folder, exact;
  std::error_code ec;
  if (RecordTarget.empty())
    folder = RecordingFolder(video);
  else if (std::filesystem::is_directory(RecordTarget, ec))
    folder = RecordTarget;
  else
    exact = RecordTarget;
  tNetworkOggReceiver& receiver = Manager->Receiver();
  std::string station = receiver.GetStationName();
  if (station.empty()) station = StreamTitle;
  const std::time_t now = std::time(nullptr);
  std::tm start{};
  localtime_r(&now, &start);

  int error = ENOENT;
  std::unique_ptr<tRecordFile> file;
  std::string path = exact;
  if (!exact.empty()) {
    file = CreateRecordFile(exact, error);
  } else if (!folder.empty()) {
    for (int copy = 1; copy <= kMaxRecordingCopies && !file; ++copy) {
      path = folder + "/" + RecordingFileName(station, start, video, copy);
      file = CreateRecordFile(path, error);
      if (!file && error != EEXIST) break;
    }
  }
  if (!file) {
    Recording = false;
    View.RecordingChanged(false);
    const std::string where = path.empty() ? std::string("a recording") : path;
    View.Notify("Recording failed: cannot write " + where + " (" + std::strerror(error) + ").");
    return false;
  }
  RecordPath = path;
  Recorder =
      std::make_shared<tStreamRecorder>(std::move(file), &Messages, MSG_RECORDING_ENDED, ++RecordingId);
  receiver.AttachRecorder(Recorder);
  View.Notify("Recording to " + RecordPath);
  return true;
}

void tStreamController::EndRecording(const std::string& notice) {
  Recording = false;
  if (Recorder) {
    if (Manager) Manager->Receiver().AttachRecorder(nullptr);
    Recorder->Finish();
    LastRecordedBytes = Recorder->BytesWritten();
    Recorder.reset();
  }
  View.RecordingChanged(false);
  if (!notice.empty()) View.Notify(notice);
}

double tStreamController::Position() const {
  return Manager ? Manager->GetPosition() : 0.0;
}

}  // namespace ktv
