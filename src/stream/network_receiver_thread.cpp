#include "stream/network_receiver_thread.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "platform/text.h"

namespace ktv {

namespace {

// The buffer level (0..255) above which buffering turns to playing, and below which playing turns to
// buffering.
constexpr int32_t kLevelFull = 191;
constexpr int32_t kLevelLow = 25;
// Waits for the queue are woken by every change the waiter looks at; the bound only guards against a change
// nobody announced.
constexpr uint32_t kQueueWaitMs = 250;
// Between two sessions (and after the last) the thread looks at Running this often.
constexpr uint32_t kIdleWaitMs = 250;
constexpr size_t kTextChunk = 128;

bool HasFileScheme(const std::string& url) {
  return StartsWithText(url, "file://");
}

// File name without folder and extension.
std::string BareName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

}  // namespace

std::string ReceiverErrorText(int code) {
  switch (code) {
    case RE_DNS:
      return "A DNS error occured connecting to stream.";
    case RE_NETWORK:
      return "A network error occured connecting to stream.";
    case RE_TIMEOUT:
      return "A network timeout error occured connecting to stream.";
    case RE_CONNECT:
      return "Unable to connect to the streaming server.";
    case RE_NOT_AVAILABLE:
      return "Requested stream is not available.";
    case RE_TYPE:
      return "This program cannot play this type of stream.";
    case RE_FILE:
      return "Unable to open file file specified.";
    case RE_SECURE:
      return "A secure connection to the stream could not be made.";
    default:
      return "";
  }
}

bool LooksBinary(const std::string& text) {
  for (unsigned char c : text)
    if (c <= 9 || c == 11 || c == 12 || (c >= 14 && c <= 29) || c >= 128) return true;
  return false;
}

bool NamesALocalFile(const std::string& url) {
  // On this platform these prefixes can only be paths; a missing file must say so, not fail a name lookup.
  if (HasFileScheme(url)) return true;
  for (const char* prefix : {"/", "./", "../", "~/"})
    if (url.starts_with(prefix)) return true;
  std::error_code ec;
  return std::filesystem::is_regular_file(url, ec);
}

std::string LocalFilePath(const std::string& url) {
  std::string path = HasFileScheme(url) ? url.substr(7) : url;
  if (path.starts_with("~/")) {
    const char* home = std::getenv("HOME");
    if (home && *home) path = std::string(home) + path.substr(1);
  }
  return path;
}

bool IsStreamAddress(const std::string& url) {
  return StartsWithText(url, "http://") || StartsWithText(url, "https://");
}

tReceiverOptions PlaylistEntryOptions(const tReceiverOptions& playlist, bool playlistFromNetwork) {
  tReceiverOptions entry = playlist;
  entry.PlaylistDepth = std::min(playlist.PlaylistDepth, kMaxPlaylistDepth) + 1;
  entry.FromNetworkPlaylist = playlist.FromNetworkPlaylist || playlistFromNetwork;
  return entry;
}

tNetworkReceiverThread::tNetworkReceiverThread(const std::string& url, int32_t bufferSeconds)
    : tNetworkReceiverThread(url, tReceiverOptions{bufferSeconds}) {}

tNetworkReceiverThread::tNetworkReceiverThread(const std::string& url, const tReceiverOptions& options)
    : IsFile(NamesALocalFile(url)),
      BufferSeconds(options.BufferSeconds),
      Options(options),
      Refused(options.FromNetworkPlaylist && !IsStreamAddress(url)) {
  if (IsFile) {
    URLParts.Path = LocalFilePath(url);
    std::string bare = BareName(URLParts.Path);
    Metadata.StreamURL = Metadata.StationName = Metadata.Description = bare;
    Metadata.Genre = "Local File";
  } else {
    ParseURL(url, URLParts);
    Metadata.StreamURL = FormatURL(URLParts);
    // The connect is timed too: a host with several addresses shares the time-out among them.
    Socket = std::make_unique<tEasySocket>(options.TimeOutSeconds, false, true);
    // Stop ends whatever the socket waits for, even an operation that began after Stop closed it.
    Socket->OnIdle = [this](tEasySocket& socket) {
      if (!Running || Terminated()) socket.Close();
    };
  }
  tThread::Start();
}

tNetworkReceiverThread::~tNetworkReceiverThread() {
  Stop();
  Terminate();
  CloseSocket();
  WaitFor();
}

void tNetworkReceiverThread::WakeWaiters() {
  if (auto queue = Queue()) queue->Wake();
  Wake();
}

void tNetworkReceiverThread::Start() {
  // The state first: a poller never sees the old idle state without its code. Running last: a session that
  // begins (and may fail at once) only after the old code was cleared keeps its own.
  State = RS_CONNECTING;
  ErrorState &= kOwnerSet;
  Running = true;
  Wake();
}

void tNetworkReceiverThread::Stop() {
  Running = false;
  ErrorState &= kOwnerSet;
  State = RS_IDLE;
  WakeWaiters();
}

void tNetworkReceiverThread::FinishStream() {
  PlaybackFinished = true;
  WakeWaiters();
}

void tNetworkReceiverThread::CloseSocket() {
  SocketOpen = false;
  if (Socket) Socket->Close();
  WakeWaiters();
}

void tNetworkReceiverThread::SetSessionError(uint8_t code, bool onlyWhenNone) {
  uint8_t current = ErrorState;
  while (!(current & kOwnerSet) && !(onlyWhenNone && current != RE_NONE) &&
         !ErrorState.compare_exchange_weak(current, code)) {
  }
}

void tNetworkReceiverThread::Fail(uint8_t code) {
  // The code before the state: whoever sees the session idle sees why.
  SetSessionError(code);
  State = RS_IDLE;
}

std::string tNetworkReceiverThread::Meta(const std::string tStreamMetadata::*field) const {
  std::lock_guard<std::mutex> guard(MetaLock);
  return Metadata.*field;
}

void tNetworkReceiverThread::SetMeta(std::string tStreamMetadata::*field, const std::string& value) {
  std::lock_guard<std::mutex> guard(MetaLock);
  Metadata.*field = value;
}

std::shared_ptr<tByteQueue> tNetworkReceiverThread::Queue() const {
  std::lock_guard<std::mutex> guard(QueueLock);
  return QueueStore;
}

void tNetworkReceiverThread::NewQueue(int64_t bytes) {
  // Computed from headers and settings: at least the queue's own minimum, at most kMaxQueueBytes.
  auto queue =
      std::make_shared<tByteQueue>(static_cast<int32_t>(std::clamp<int64_t>(bytes, 1024, kMaxQueueBytes)));
  std::lock_guard<std::mutex> guard(QueueLock);
  QueueStore = std::move(queue);
}

void tNetworkReceiverThread::FreeQueue() {
  std::lock_guard<std::mutex> guard(QueueLock);
  QueueStore.reset();
}

void tNetworkReceiverThread::SizeQueueForStream(int32_t nominalKbps) {
  QueueSized = true;
  auto queue = Queue();
  // A file is read as fast as it is played; a server that names its bit rate has the queue it asked for.
  if (!queue || IsFile || NamedBitrate > 0 || nominalKbps <= 0) return;
  int64_t bytes = std::min<int64_t>(static_cast<int64_t>(nominalKbps) * std::max(BufferSeconds, 0) * 1024 / 8,
                                    kMaxQueueBytes);
  if (bytes > queue->GetCapacity()) queue->Grow(static_cast<int32_t>(bytes));
}

int32_t tNetworkReceiverThread::GetBufferLevel() const {
  auto queue = Queue();
  if (!queue) return 0;
  int64_t level = static_cast<int64_t>(queue->GetCount()) * 255 / queue->GetCapacity();
  return static_cast<int32_t>(std::clamp<int64_t>(level, 0, 255));
}

void tNetworkReceiverThread::Execute() {
  SetCurrentThreadPriority(1);
  while (!Terminated()) {
    // An idle receiver says "ended", but a session's failure code stays until the next session starts, so the
    // decoding thread and the window always see why a stream stopped.
    uint8_t none = RE_NONE;
    ErrorState.compare_exchange_strong(none, RE_ENDED);
    if (Running && Refused) {
      // A network playlist named a local file or another scheme: nothing is opened.
      BeginSession();
      Running = false;
      Fail(RE_NOT_AVAILABLE);
    } else if (Running) {
      if (IsFile)
        FileSession();
      else
        NetworkSession();
      CloseSocket();
      if (auto queue = Queue()) queue->Clear();
      Running = false;
    } else if (Socket && Socket->Connected()) {
      Socket->Close();
    }
    Pause(kIdleWaitMs);
  }
  if (Socket && Socket->Connected()) Socket->Close();
}

void tNetworkReceiverThread::BeginSession() {
  State = RS_CONNECTING;
  ErrorState &= kOwnerSet;
  AttemptsUsed = 0;
  AttemptTicks.clear();
  Bitrate = 0;
  NamedBitrate = 0;
  QueueSized = false;
  TakenWhileBuffering = 0;
  InputEnded = false;
  PlaybackFinished = false;
  FreeQueue();
}

void tNetworkReceiverThread::CaptureText(std::string text, const std::function<size_t(char*, size_t)>& read) {
  SetMeta(&tStreamMetadata::TextData, text);
  // A playlist this deep in playlists is not followed further.
  bool refused = LooksBinary(text) || Options.PlaylistDepth >= kMaxPlaylistDepth;
  char buf[kTextChunk];
  size_t got;
  while (!refused && !Terminated() && (got = read(buf, sizeof buf)) > 0) {
    std::string piece(buf, got);
    refused = LooksBinary(piece) || text.size() + got > kMaxTextData;  // no playlist is this long
    if (!refused) SetMeta(&tStreamMetadata::TextData, text += piece);
  }
  Terminate();  // after a text answer a new Connect is needed for anything further
  if (refused) return Fail(RE_TYPE);
  State = RS_TEXT;
}

bool tNetworkReceiverThread::WriteToQueue(tByteQueue& queue, const char* bytes, int32_t count) {
  // A refused write (no room yet, or the lock not had within its bound) is tried again: the bytes are part of
  // the stream and must not be lost.
  while (!queue.Write(bytes, count)) {
    if (Terminated() || !Running) return false;
    queue.WaitUntil(
        [&] { return queue.GetCapacity() - queue.GetCount() >= count || Terminated() || !Running; },
        kQueueWaitMs);
  }
  return true;
}

void tNetworkReceiverThread::UpdateLevelState(bool& full) {
  auto queue = Queue();
  if (!queue) return;
  const int64_t count = queue->GetCount();
  const int64_t capacity = queue->GetCapacity();
  if (full) {
    // Running dry is judged against the queue that was full when playing began: when the decoding thread
    // grows the queue for the stream's bit rate, the same bytes are a lower level, but no less to play.
    if (count * 255 / std::max<int64_t>(PlayingCapacity, 1) < kLevelLow) {
      full = false;
      State = RS_BUFFERING;
    }
  } else if ((count + TakenWhileBuffering) * 255 / capacity > kLevelFull &&
             (IsFile || !Options.AwaitStreamRate || NamedBitrate > 0 || QueueSized || Reconnecting ||
              InputEnded)) {
    // (A connection that is gone brings nothing more for a while: what is queued plays at once, whatever
    // size the queue will be given.)
    full = true;
    TakenWhileBuffering = 0;
    PlayingCapacity = capacity;
    State = RS_PLAYING;
  }
}

void tNetworkReceiverThread::Drain() {
  // The reader takes the last bytes (fewer than it asks for, once the input has ended). The session ends
  // when the reader has played everything and says so (FinishStream), when the queue is empty and no more
  // input will come, or on Stop; a reader that stops reading ends it by disconnecting.
  State = RS_PLAYING;
  auto queue = Queue();
  auto goesOn = [&] {
    bool more = GetBufferLevel() > 0 || (InputEnded && !PlaybackFinished);
    return more && Running && !Terminated();
  };
  while (goesOn()) queue->WaitUntil([&] { return !goesOn(); }, kQueueWaitMs);
  // The caller ends the session (Fail): the code is published before the idle state.
}

int32_t tNetworkReceiverThread::ReadExact(uint8_t* buffer, int32_t n) {
  auto queue = Queue();
  if (!queue || n <= 0) return 0;
  auto stopped = [&] { return !Running || Terminated() || State == RS_IDLE; };
  while (!stopped()) {
    int32_t held = queue->GetCount();
    if (held >= n) {
      if (State == RS_BUFFERING) TakenWhileBuffering += n;
      return queue->Read(buffer, n, 1) == n ? n : 0;
    }
    if (InputEnded) return queue->Read(buffer, held, 1);  // the last bytes of the stream
    // A connection that is gone ends the stream, unless it is being reconnected.
    auto connectionGone = [&] { return !IsFile && !SocketOpen && !Reconnecting; };
    if (connectionGone()) {
      SetSessionError(RE_ENDED, true);
      State = RS_IDLE;
      return 0;
    }
    queue->WaitUntil([&] { return queue->GetCount() >= n || InputEnded || connectionGone() || stopped(); },
                     kQueueWaitMs);
  }
  return 0;
}

}  // namespace ktv
