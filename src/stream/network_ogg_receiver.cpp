#include "stream/network_ogg_receiver.h"
#include "net/url.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <filesystem>

#include "net/http_request.h"
#include "platform/clock.h"

namespace ktv {

namespace {

// 512-byte network reads keep the receiver responsive to Stop; files are read in blocks of up to 2048 bytes.
constexpr int32_t kNetworkChunk = 512;
constexpr int32_t kFileChunk = 2048;
constexpr int32_t kTextChunk = 128;
// The buffer level (0..255) above which buffering turns to playing, and below which playing turns to
// buffering.
constexpr int32_t kLevelFull = 191;
constexpr int32_t kLevelLow = 25;
// Sockets wait up to a minute for a server.
constexpr int kSocketTimeOutSeconds = 60;

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The whole text as a decimal integer (an optional sign); false for anything else, overflow included.
template <class tInt>
bool ParseInteger(const std::string& text, tInt& value) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (begin != end && *begin == '+') ++begin;
  tInt parsed;
  auto [ptr, ec] = std::from_chars(begin, end, parsed);
  if (ec != std::errc() || ptr != end || begin == end) return false;
  value = parsed;
  return true;
}

// Header lines that set a metadata text.
struct tMetaHeader {
  const char* Name;
  std::string tNetworkReceiverThread::*Field;
};
const tMetaHeader kMetaHeaders[] = {
    {"SERVER", &tNetworkReceiverThread::Server},
    {"CONTENT-TYPE", &tNetworkReceiverThread::ContentType},
    {"ICY-NAME", &tNetworkReceiverThread::StationName},
    {"ICE-NAME", &tNetworkReceiverThread::StationName},
    {"ICY-DESCRIPTION", &tNetworkReceiverThread::Description},
    {"ICE-DESCRIPTION", &tNetworkReceiverThread::Description},
    {"ICY-GENRE", &tNetworkReceiverThread::Genre},
    {"ICE-GENRE", &tNetworkReceiverThread::Genre},
    {"ICY-URL", &tNetworkReceiverThread::StationURL},
};

// File name without folder and extension.
std::string BareName(const std::string& path) {
  std::string name =
      path.substr(path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1);
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
    default:
      return "";
  }
}

bool LooksBinary(const std::string& text) {
  for (unsigned char c : text)
    if (c <= 9 || c == 11 || c == 12 || (c >= 14 && c <= 29) || c >= 128) return true;
  return false;
}

// ---------------------------------------------------------------------------------------------------------------
// Receiver thread

static bool NamesALocalFile(const std::string& url) {
  std::error_code ec;
  return Upper(url.substr(0, 7)) == "FILE://" || std::filesystem::is_regular_file(url, ec);
}

tNetworkReceiverThread::tNetworkReceiverThread(const std::string& url, int32_t bufferSeconds)
    : IsFile(NamesALocalFile(url)), BufferSeconds(bufferSeconds) {
  if (IsFile) {
    URLParts.Path = Upper(url.substr(0, 7)) == "FILE://" ? url.substr(7) : url;
    std::string bare = BareName(URLParts.Path);
    StreamURL = StationName = Description = bare;
    Genre = "Local File";
  } else {
    ParseURL(url, URLParts);
    StreamURL = "http://" + URLParts.Host + (URLParts.Port != 80 ? ":" + std::to_string(URLParts.Port) : "") +
                URLParts.Path;
    Socket = std::make_unique<tEasySocket>(kSocketTimeOutSeconds, false, false);
  }
  tThread::Start();
}

tNetworkReceiverThread::~tNetworkReceiverThread() {
  Stop();
  Terminate();
  CloseSocket();
  WaitFor();
}

void tNetworkReceiverThread::Start() {
  Running = true;
  ErrorCode = RE_NONE;
  State = RS_CONNECTING;
}

void tNetworkReceiverThread::Stop() {
  Running = false;
  ErrorCode = RE_NONE;
  State = RS_IDLE;
}

void tNetworkReceiverThread::CloseSocket() {
  SocketOpen = false;
  if (Socket) Socket->Close();
}

std::string tNetworkReceiverThread::Meta(const std::string tNetworkReceiverThread::*field) const {
  std::lock_guard<std::mutex> guard(MetaLock);
  return this->*field;
}

void tNetworkReceiverThread::SetMeta(std::string tNetworkReceiverThread::*field, const std::string& value) {
  std::lock_guard<std::mutex> guard(MetaLock);
  this->*field = value;
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

int32_t tNetworkReceiverThread::GetBufferLevel() {
  auto queue = Queue();
  if (!queue) return 0;
  int64_t level = static_cast<int64_t>(queue->GetCount()) * 255 / queue->GetCapacity();
  return static_cast<int32_t>(std::clamp<int64_t>(level, 0, 255));
}

bool tNetworkReceiverThread::SleepUnlessTerminated(uint32_t milliseconds) {
  // Slices of at most 10 ms so that a terminate request is seen at once.
  for (uint32_t slept = 0; slept < milliseconds && !Terminated(); slept += 10)
    Sleep(std::min(10u, milliseconds - slept));
  return !Terminated();
}

void tNetworkReceiverThread::Execute() {
  SetCurrentThreadPriority(1);
  while (!Terminated()) {
    // An idle receiver says "ended", but a session's failure code stays until the next session starts, so the
    // decoding thread and the window always see why a stream stopped.
    uint8_t code = RE_NONE;
    ErrorCode.compare_exchange_strong(code, RE_ENDED);
    if (Running) {
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
    SleepUnlessTerminated(250);
  }
  if (Socket && Socket->Connected()) Socket->Close();
}

bool tNetworkReceiverThread::ReadLine(std::string& line) {
  line.clear();
  char c;
  for (;;) {
    if (!Socket->ReceiveExact(&c, 1)) {  // a failed read gives an empty line, which ends the header
      line.clear();
      return true;
    }
    if (c == '\n') break;
    if (c == '\r') continue;
    if (line.size() >= kMaxHeaderLine) return false;  // no server needs longer lines; refuse the answer
    line += c;
  }
  line = TrimText(line);
  return true;
}

void tNetworkReceiverThread::Drain() {
  // The reader takes the last bytes (fewer than it asks for, once the input has ended); the session ends when
  // the reader has played everything, or at once when nothing more will come and nobody reads.
  State = RS_PLAYING;
  while (!Terminated()) {
    Sleep(10);
    bool more = GetBufferLevel() > 0 || (InputEnded && !PlaybackFinished);
    State = more && Running ? RS_PLAYING : RS_IDLE;
    if (State != RS_PLAYING) break;
  }
}

void tNetworkReceiverThread::NetworkSession() {
  ErrorCode = RE_NONE;
  State = RS_CONNECTING;
  Bitrate = 0;
  InputEnded = false;
  PlaybackFinished = false;
  FreeQueue();

  if (!Socket->Connect(URLParts.Port, URLParts.Host, -1)) {
    switch (Socket->LastError()) {
      case 11001:
      case 11002:
      case 11004:
      case 10051:
        ErrorCode = RE_DNS;
        break;
      case 10050:
        ErrorCode = RE_NETWORK;
        break;
      default:
        ErrorCode = RE_CONNECT;
        break;
    }
    State = RS_IDLE;
    return;
  }
  SocketOpen = true;
  State = RS_REQUESTING;
  if (!Socket->SendBuf(BuildHTTPGetRequest(URLParts))) {
    ErrorCode = RE_TIMEOUT;
    State = RS_IDLE;
    return;
  }

  IsPublic = true;
  State = RS_READING_HEADERS;
  std::string status;
  if (!ReadLine(status)) {
    ErrorCode = RE_TYPE;
    State = RS_IDLE;
    return;
  }
  status = Upper(status);
  bool accepted = status.rfind("HTTP", 0) == 0 || status.rfind("ICY", 0) == 0 ||
                  (status.find("200") != std::string::npos && status.find("200") >= 2);
  if (!accepted) {
    ErrorCode = RE_NOT_AVAILABLE;
    State = RS_IDLE;
    return;
  }

  int64_t contentLength = -1;
  for (;;) {
    std::string line;
    if (!ReadLine(line)) {
      ErrorCode = RE_TYPE;
      State = RS_IDLE;
      return;
    }
    if (!Socket->Connected()) {
      ErrorCode = RE_TIMEOUT;
      State = RS_IDLE;
      return;
    }
    if (line.empty()) break;
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string name = Upper(TrimText(line.substr(0, colon)));
    std::string value = TrimText(line.substr(colon + 1));
    int32_t number;
    for (const tMetaHeader& header : kMetaHeaders)
      if (name == header.Name) SetMeta(header.Field, value);
    if (name == "ICY-BR" || name == "ICE-BITRATE") {
      if (ParseInteger(value, number)) Bitrate = number;  // not a number: unchanged
    } else if (name == "CONTENT-LENGTH") {
      ParseInteger(value, contentLength);
    } else if (name == "ICY-PUB" || name == "ICY-PUBLIC") {
      IsPublic = value == "1";
    } else if (name == "ICY-PRIVATE") {
      IsPublic = value == "0";
    }
  }

  if (Bitrate < 100) Bitrate = 100;
  // Computed in 64 bits: a header may name any bit rate.
  NewQueue(static_cast<int64_t>(Bitrate) * BufferSeconds * 1024 / 8);
  auto queue = Queue();
  bool full = false;
  SetMeta(&tNetworkReceiverThread::ContentType, Upper(Meta(&tNetworkReceiverThread::ContentType)));

  char magic[4];
  if (!Socket->ReceiveExact(magic, 4)) {
    State = RS_IDLE;
    if (!ErrorSet) ErrorCode = RE_ENDED;
    return;
  }
  std::string type = Meta(&tNetworkReceiverThread::ContentType);
  bool isOgg = std::string(magic, 4) == "OggS" && (type == "APPLICATION/OGG" || type == "APPLICATION/X-OGG");
  if (!isOgg) {
    // A text answer (a playlist served in place of the stream) is collected whole when its length is known.
    std::string text(magic, 4);
    SetMeta(&tNetworkReceiverThread::TextData, text);
    auto refuse = [&] {
      CloseSocket();
      Terminate();
      ErrorCode = RE_TYPE;
      State = RS_IDLE;
    };
    if (LooksBinary(text) || contentLength < 1) return refuse();
    while (Socket->Connected()) {
      char buf[kTextChunk];
      size_t got = Socket->ReceiveBuf(buf, sizeof buf);
      std::string piece(buf, got);
      if (LooksBinary(piece) || text.size() + got > kMaxTextData) return refuse();
      text += piece;
      SetMeta(&tNetworkReceiverThread::TextData, text);
      if (got < sizeof buf) break;  // the connection closed
    }
    Terminate();
    State = RS_TEXT;
    return;
  }

  // Buffering starts only once the answer is known to be Ogg: a text answer goes from reading the header
  // straight to its own state, so the decoding thread never starts scanning it.
  State = RS_BUFFERING;
  queue->Write(magic, 4);
  while (!Terminated() && Running && Socket->Connected()) {
    if (contentLength == 0) {  // the whole body has arrived
      InputEnded = true;
      break;
    }
    if (queue->GetCapacity() - queue->GetCount() > kNetworkChunk) {
      int32_t chunk = kNetworkChunk;
      if (contentLength >= 0 && contentLength < chunk) chunk = static_cast<int32_t>(contentLength);
      char buf[kNetworkChunk];
      size_t got = Socket->ReceiveBuf(buf, static_cast<size_t>(chunk));
      bool stored = got == 0 || queue->Write(buf, static_cast<int32_t>(got));
      if (contentLength > 0) contentLength -= static_cast<int64_t>(got);
      if (got < static_cast<size_t>(chunk) || !stored) {
        if (stored && Socket->LastError() == 0) {  // the server ended the stream in order: keep the tail
          InputEnded = true;
          break;
        }
        // A broken connection ends the session: idle, so the failure is reported instead of the player
        // waiting in its last state for data that never comes.
        Running = false;
        SocketOpen = false;
        if (!ErrorSet) ErrorCode = RE_TIMEOUT;
        State = RS_IDLE;
        return;
      }
    } else {
      Sleep(40);
    }
    int32_t level = GetBufferLevel();
    if (level < kLevelLow && full) {
      full = false;
      State = RS_BUFFERING;
    } else if (level > kLevelFull && !full) {
      full = true;
      State = RS_PLAYING;
    }
  }
  if (!Socket->Connected()) InputEnded = true;
  if (InputEnded) SocketOpen = false;
  if (!Terminated()) Drain();
  State = RS_IDLE;
  if (!ErrorSet) ErrorCode = RE_ENDED;
}

void tNetworkReceiverThread::FileSession() {
  ErrorCode = RE_NONE;
  State = RS_CONNECTING;
  Bitrate = 0;
  InputEnded = false;
  PlaybackFinished = false;
  FreeQueue();

  FILE* file = std::fopen(URLParts.Path.c_str(), "rb");
  if (!file) {
    State = RS_IDLE;
    ErrorCode = RE_FILE;
    return;
  }
  State = RS_REQUESTING;
  Bitrate = 100;
  NewQueue(100 * 5 * 1024 / 8);  // five seconds at 100 kbit/s, whatever the buffer setting says
  auto queue = Queue();
  SetMeta(&tNetworkReceiverThread::ContentType, "Local File");

  char magic[4];
  size_t got = std::fread(magic, 1, 4, file);
  if (got != 4 || std::string(magic, 4) != "OggS") {
    std::string text(magic, got);
    SetMeta(&tNetworkReceiverThread::TextData, text);
    if (LooksBinary(text)) {
      std::fclose(file);
      Terminate();
      ErrorCode = RE_TYPE;
      State = RS_IDLE;
      return;
    }
    char buf[kTextChunk];
    while (!Terminated() && (got = std::fread(buf, 1, sizeof buf, file)) > 0) {
      if (text.size() + got > kMaxTextData) {  // no playlist is this long
        std::fclose(file);
        Terminate();
        ErrorCode = RE_TYPE;
        State = RS_IDLE;
        return;
      }
      text.append(buf, got);
    }
    SetMeta(&tNetworkReceiverThread::TextData, text);
    std::fclose(file);
    Terminate();
    State = RS_TEXT;
    return;
  }

  State = RS_BUFFERING;
  queue->Write(magic, 4);
  char buf[kFileChunk];
  while (!Terminated() && Running) {
    int32_t space = queue->GetCapacity() - queue->GetCount();
    if (space < 129) {
      Sleep(40);
      continue;
    }
    size_t n = std::fread(buf, 1, static_cast<size_t>(std::min(space, kFileChunk)), file);
    if (n == 0) break;
    queue->Write(buf, static_cast<int32_t>(n));
    State = RS_PLAYING;
  }
  InputEnded = true;
  if (!Terminated() && Running) Drain();
  std::fclose(file);
  State = RS_IDLE;
  if (!ErrorSet) ErrorCode = RE_ENDED;
}

int32_t tNetworkReceiverThread::ReadExact(uint8_t* buffer, int32_t n) {
  auto queue = Queue();
  if (!queue || n <= 0) return 0;
  while (Running && !Terminated() && State != RS_IDLE) {
    int32_t held = queue->GetCount();
    if (held >= n) return queue->Read(buffer, n, 1) == n ? n : 0;
    if (InputEnded) return queue->Read(buffer, held, 1);  // the last bytes of the stream
    if (!IsFile && !SocketOpen) {
      State = RS_IDLE;
      return 0;
    }
    Sleep(40);
  }
  return 0;
}

// ---------------------------------------------------------------------------------------------------------------
// The source

tNetworkOggReceiver::~tNetworkOggReceiver() {
  Disconnect();
}

std::shared_ptr<tNetworkReceiverThread> tNetworkOggReceiver::Thread() const {
  std::lock_guard<std::mutex> guard(ThreadLock);
  return ReceiverThread;
}

void tNetworkOggReceiver::Connect(const std::string& url, int32_t bufferSeconds) {
  Disconnect();
  auto thread = std::make_shared<tNetworkReceiverThread>(url, bufferSeconds);
  thread->Start();
  std::lock_guard<std::mutex> guard(ThreadLock);
  ReceiverThread = std::move(thread);
}

void tNetworkOggReceiver::Disconnect() {
  std::shared_ptr<tNetworkReceiverThread> thread;
  {
    std::lock_guard<std::mutex> guard(ThreadLock);
    thread.swap(ReceiverThread);
  }
  if (!thread) return;
  thread->Stop();
  thread->CloseSocket();
  thread->Terminate();
  thread->WaitFor();
}

int32_t tNetworkOggReceiver::ReadData(uint8_t* buffer, int32_t size) {
  auto thread = Thread();
  return thread ? thread->ReadExact(buffer, size) : 0;
}

bool tNetworkOggReceiver::OpenStreams() {
  bool scanned = ReadStreamHeaders();
  if (!scanned) Abort(RE_TYPE);
  return scanned;
}

void tNetworkOggReceiver::Abort(uint8_t code) {
  if (auto thread = Thread()) {
    thread->Stop();
    thread->CloseSocket();
  }
  SetError(code);
}

void tNetworkOggReceiver::SetError(uint8_t code) {
  if (auto thread = Thread()) {
    thread->ErrorSet = true;
    thread->ErrorCode = code;
  }
}

void tNetworkOggReceiver::FinishStream() {
  if (auto thread = Thread()) thread->FinishStream();
}

bool tNetworkOggReceiver::IsActive() const {
  auto thread = Thread();
  if (!thread) return false;
  if (thread->IsFile) return thread->State != RS_IDLE;
  return thread->SocketOpen || thread->State == RS_CONNECTING;
}

bool tNetworkOggReceiver::InputEnded() const {
  auto thread = Thread();
  return thread && thread->InputEnded;
}

uint8_t tNetworkOggReceiver::GetState() const {
  auto thread = Thread();
  return thread ? thread->State.load() : RS_IDLE;
}

uint8_t tNetworkOggReceiver::GetErrorCode() const {
  auto thread = Thread();
  return thread ? thread->ErrorCode.load() : RE_NONE;
}

int32_t tNetworkOggReceiver::GetBufferLevel() const {
  auto thread = Thread();
  return thread ? thread->GetBufferLevel() : 0;
}

int32_t tNetworkOggReceiver::GetQueueCapacity() const {
  auto thread = Thread();
  auto queue = thread ? thread->Queue() : nullptr;
  return queue ? queue->GetCapacity() : 0;
}

int32_t tNetworkOggReceiver::GetBitrate() const {
  auto thread = Thread();
  return thread ? thread->Bitrate.load() : 0;
}

bool tNetworkOggReceiver::GetIsPublic() const {
  auto thread = Thread();
  return thread ? thread->IsPublic.load() : true;
}

#define KTV_META_GETTER(name, field)                                              \
  std::string tNetworkOggReceiver::name() const {                                 \
    auto thread = Thread();                                                       \
    return thread ? thread->Meta(&tNetworkReceiverThread::field) : std::string(); \
  }
KTV_META_GETTER(GetServer, Server)
KTV_META_GETTER(GetContentType, ContentType)
KTV_META_GETTER(GetStationName, StationName)
KTV_META_GETTER(GetDescription, Description)
KTV_META_GETTER(GetGenre, Genre)
KTV_META_GETTER(GetStationURL, StationURL)
KTV_META_GETTER(GetStreamURL, StreamURL)
KTV_META_GETTER(GetTextData, TextData)
#undef KTV_META_GETTER

}  // namespace ktv
