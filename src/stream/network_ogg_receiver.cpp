#include "stream/network_ogg_receiver.h"

namespace ktv {

tNetworkOggReceiver::~tNetworkOggReceiver() {
  Disconnect();
}

std::shared_ptr<tNetworkReceiverThread> tNetworkOggReceiver::Thread() const {
  std::lock_guard<std::mutex> guard(ThreadLock);
  return ReceiverThread;
}

void tNetworkOggReceiver::Connect(const std::string& url, int32_t bufferSeconds) {
  Connect(url, tReceiverOptions{bufferSeconds});
}

void tNetworkOggReceiver::Connect(const std::string& url, const tReceiverOptions& options) {
  Disconnect();
  auto thread = std::make_shared<tNetworkReceiverThread>(url, options);
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
  if (auto thread = Thread()) thread->SetError(code);
}

void tNetworkOggReceiver::FinishStream() {
  if (auto thread = Thread()) thread->FinishStream();
}

void tNetworkOggReceiver::SizeQueueForStream(int32_t nominalKbps) {
  if (auto thread = Thread()) thread->SizeQueueForStream(nominalKbps);
}

bool tNetworkOggReceiver::IsActive() const {
  auto thread = Thread();
  if (!thread) return false;
  if (thread->IsFile) return thread->State != RS_IDLE;
  return thread->SocketOpen || thread->Reconnecting || thread->State == RS_CONNECTING;
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
  return thread ? thread->GetErrorCode() : RE_NONE;
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

std::string tNetworkOggReceiver::Meta(const std::string tStreamMetadata::*field) const {
  auto thread = Thread();
  return thread ? thread->Meta(field) : std::string();
}

std::string tNetworkOggReceiver::GetServer() const {
  return Meta(&tStreamMetadata::Server);
}
std::string tNetworkOggReceiver::GetContentType() const {
  return Meta(&tStreamMetadata::ContentType);
}
std::string tNetworkOggReceiver::GetStationName() const {
  return Meta(&tStreamMetadata::StationName);
}
std::string tNetworkOggReceiver::GetDescription() const {
  return Meta(&tStreamMetadata::Description);
}
std::string tNetworkOggReceiver::GetGenre() const {
  return Meta(&tStreamMetadata::Genre);
}
std::string tNetworkOggReceiver::GetStationURL() const {
  return Meta(&tStreamMetadata::StationURL);
}
std::string tNetworkOggReceiver::GetStreamURL() const {
  return Meta(&tStreamMetadata::StreamURL);
}
std::string tNetworkOggReceiver::GetFinalURL() const {
  return Meta(&tStreamMetadata::FinalURL);
}
std::string tNetworkOggReceiver::GetTextData() const {
  return Meta(&tStreamMetadata::TextData);
}

int32_t tNetworkOggReceiver::GetReconnectAttempt() const {
  auto thread = Thread();
  return thread ? thread->ReconnectAttempt.load() : 0;
}

int32_t tNetworkOggReceiver::GetReconnectAttempts() const {
  auto thread = Thread();
  return thread && thread->ReconnectAttempt > 0 ? thread->Options.ReconnectAttempts : 0;
}

int32_t tNetworkOggReceiver::GetReconnects() const {
  auto thread = Thread();
  return thread ? thread->Reconnects.load() : 0;
}

tReceiverOptions tNetworkOggReceiver::EntryOptions() const {
  auto thread = Thread();
  if (!thread) return PlaylistEntryOptions(tReceiverOptions{}, false);
  return PlaylistEntryOptions(thread->Options, !thread->IsFile);
}

bool tNetworkOggReceiver::IsLocalFile() const {
  auto thread = Thread();
  return thread && thread->IsFile;
}

bool tNetworkOggReceiver::AttachRecorder(std::shared_ptr<tStreamRecorder> recorder) {
  auto thread = Thread();
  if (!thread || (thread->IsFile && recorder)) return false;
  thread->RecordingTap.Attach(std::move(recorder));
  return true;
}

}  // namespace ktv
