#include "ogg/ogg_io_base.h"

#include <algorithm>

#include "platform/text.h"

namespace ktv {

namespace {

// Every refill asks for this many bytes.
constexpr int32_t kRefillBytes = 4096;
// GetPacket gives up when this many bytes have come without a page of its stream (the stream has paused
// while the others go on: the caller asks again later, and the other streams play meanwhile), or when this
// many refills in a row brought nothing. A packet whose pages keep coming is waited for whole, however
// large: a keyframe of a big picture spans hundreds of kilobytes.
constexpr int64_t kMaxBytesWithoutPage = 51 * kRefillBytes;
constexpr int kMaxEmptyRefills = 51;

bool IsNameCharacter(unsigned char c) {
  return c == ' ' || c == '.' || (c >= '0' && c <= '9') || (c >= 65 && c <= 122);
}

}  // namespace

std::string CodecNameFromFirstPage(const uint8_t* body, long length) {
  std::string text;
  if (body && length > 1)
    text.assign(reinterpret_cast<const char*>(body) + 1, static_cast<size_t>(length - 1));
  text = TrimText(text);
  std::string name;
  if (StartsWithText(text, "?xml")) {
    name = "XML";
  } else {
    size_t cut = 0;
    while (cut < text.size() && IsNameCharacter(static_cast<unsigned char>(text[cut]))) ++cut;
    name = text.substr(0, cut);
    if (!name.empty()) name.replace(0, 1, UpperCase(name.substr(0, 1)));
    name = TrimText(name.substr(0, 30));
  }
  return name.empty() ? "Unknown" : name;
}

tOggIOBase::tOggIOBase() : OggAvailable(LoadOggLibrary()) {
  if (OggAvailable) OggApi.ogg_sync_init(&SyncState);
}

tOggIOBase::~tOggIOBase() {
  if (OggAvailable) {
    ResetStreams();
    OggApi.ogg_sync_clear(&SyncState);
    UnloadOggLibrary();
  }
  ClearPendingPage();
}

int32_t tOggIOBase::Refill() {
  char* buffer = OggApi.ogg_sync_buffer(&SyncState, kRefillBytes);
  if (!buffer) return -1;
  int32_t count = std::clamp(ReadData(reinterpret_cast<uint8_t*>(buffer), kRefillBytes), 0, kRefillBytes);
  OggApi.ogg_sync_wrote(&SyncState, count);
  return count;
}

bool tOggIOBase::NextPage(ogg_page& page) {
  if (PagePending) {
    page = PendingPage;
    PagePending = false;
    return true;
  }
  // A negative result only says bytes were skipped to regain sync; the next call goes on looking.
  int result;
  while ((result = OggApi.ogg_sync_pageout(&SyncState, &page)) < 0) {
  }
  return result > 0;
}

bool tOggIOBase::FeedPage(ogg_page& page, bool force, int* fedSerial) {
  int serial = OggApi.ogg_page_serialno(&page);
  for (auto& stream : Streams) {
    if (stream->StreamState.serialno != serial) continue;
    if (!stream->Active && !force && !FeedAllStreams) return true;  // nobody decodes it: dropped
    if (OggApi.ogg_stream_pagein(&stream->StreamState, &page) == 0) {
      if (fedSerial) *fedSerial = serial;
      return true;
    }
  }
  return false;
}

int32_t tOggIOBase::AddStream(std::unique_ptr<tOggStreamData> stream) {
  std::lock_guard<std::mutex> guard(StreamsLock);
  Streams.push_back(std::move(stream));
  return static_cast<int32_t>(Streams.size()) - 1;
}

bool tOggIOBase::ReadStreamHeaders() {
  if (!OggAvailable) return false;
  if (!PagePending) OggApi.ogg_sync_reset(&SyncState);
  int64_t scanned = 0;
  for (;;) {
    int32_t count = PagePending ? 1 : Refill();
    if (count > 0) scanned += count;
    ogg_page page;
    while (NextPage(page)) {
      if (OggApi.ogg_page_granulepos(&page) > 0) return FeedPage(page, true);  // the headers are over
      if (FeedPage(page, true)) continue;
      // A page nobody takes starts a new logical stream, beginning-of-stream flag or not.
      if (StreamCount() >= kMaxStreams) return false;
      auto stream = std::make_unique<tOggStreamData>();
      OggApi.ogg_stream_init(&stream->StreamState, OggApi.ogg_page_serialno(&page));
      stream->CodecName = CodecNameFromFirstPage(page.body, page.body_len);
      stream->Signature.assign(reinterpret_cast<const char*>(page.body),
                               static_cast<size_t>(std::clamp(page.body_len, 0L, kStreamSignatureBytes)));
      AddStream(std::move(stream));
      if (!FeedPage(page, true)) return false;
    }
    PagePending = false;
    if (count < 1) return true;
    // Header pages are small; a source that goes on without ending its headers is not a stream we can play.
    if (scanned > kMaxHeaderScanBytes) return false;
  }
}

void tOggIOBase::HoldPage(const ogg_page& page) {
  ClearPendingPage();
  PendingHeader.assign(page.header, page.header + page.header_len);
  PendingBody.assign(page.body, page.body + page.body_len);
  PendingPage = page;
  PendingPage.header = PendingHeader.data();
  PendingPage.body = PendingBody.data();
  PagePending = true;
}

void tOggIOBase::ClearPendingPage() {
  PendingHeader.clear();
  PendingBody.clear();
  PendingPage = {};
  PagePending = false;
}

bool tOggIOBase::GetPacket(int32_t index, ogg_packet* packet, bool peek) {
  if (index < 0 || index >= static_cast<int32_t>(Streams.size())) return false;
  ogg_stream_state* state = &Streams[static_cast<size_t>(index)]->StreamState;
  auto ask = [&] {
    return (peek ? OggApi.ogg_stream_packetpeek(state, packet)
                 : OggApi.ogg_stream_packetout(state, packet)) == 1;
  };
  bool got = ask();
  if (PagePending) return got;  // nothing more is read until the next link has been dealt with
  int64_t withoutPage = 0;
  for (int emptyRefills = 0; !got;) {
    int32_t count = Refill();
    if (count < 0) return false;
    BytesRead += count;
    withoutPage += count;
    emptyRefills = count > 0 ? 0 : emptyRefills + 1;
    ogg_page page;
    int result;
    while ((result = OggApi.ogg_sync_pageout(&SyncState, &page)) != 0) {
      if (result < 0) continue;  // bytes skipped to regain sync
      // Every beginning-of-stream page of a link comes before its data, so one met here starts the next
      // link, even when it reuses a serial number of this one (a stream fetched again after a drop begins
      // with the same streams' first pages). This read may still have queued the last packets of this one.
      if (OggApi.ogg_page_bos(&page) > 0) {
        HoldPage(page);
        return ask();
      }
      int fed = -1;
      if (FeedPage(page, false, &fed)) {
        if (fed == state->serialno) withoutPage = 0;
        continue;
      }
      // any other page that no stream takes is dropped
    }
    got = ask();
    if (!got && (withoutPage >= kMaxBytesWithoutPage || emptyRefills >= kMaxEmptyRefills)) return false;
  }
  return true;
}

bool tOggIOBase::PeekNextGranule(int32_t index, int64_t& granule, int32_t& packetsBefore) const {
  if (index < 0 || index >= static_cast<int32_t>(Streams.size())) return false;
  const ogg_stream_state& state = Streams[static_cast<size_t>(index)]->StreamState;
  // A page's position sits on its last segment; a segment shorter than 255 bytes ends a packet.
  int32_t packets = 0;
  for (long i = state.lacing_returned; i < state.lacing_fill; ++i) {
    bool ends = (state.lacing_vals[i] & 0xff) < 255;
    if (state.granule_vals[i] != -1 && ends) {
      granule = state.granule_vals[i];
      packetsBefore = packets;
      return true;
    }
    if (ends) ++packets;
  }
  return false;
}

void tOggIOBase::ActivateStream(int32_t index) {
  if (index >= 0 && index < static_cast<int32_t>(Streams.size()))
    Streams[static_cast<size_t>(index)]->Active = true;
}

void tOggIOBase::DeactivateStream(int32_t index) {
  if (index >= 0 && index < static_cast<int32_t>(Streams.size()))
    Streams[static_cast<size_t>(index)]->Active = false;
}

void tOggIOBase::ResetStreams() {
  std::lock_guard<std::mutex> guard(StreamsLock);
  for (auto& stream : Streams) OggApi.ogg_stream_clear(&stream->StreamState);
  Streams.clear();
}

int32_t tOggIOBase::StreamCount() const {
  std::lock_guard<std::mutex> guard(StreamsLock);
  return static_cast<int32_t>(Streams.size());
}

std::string tOggIOBase::StreamField(int32_t index, std::string tOggStreamData::*field) const {
  std::lock_guard<std::mutex> guard(StreamsLock);
  if (index < 0 || index >= static_cast<int32_t>(Streams.size())) return "";
  return (*Streams[static_cast<size_t>(index)]).*field;
}

std::string tOggIOBase::StreamName(int32_t index) const {
  return StreamField(index, &tOggStreamData::CodecName);
}

std::string tOggIOBase::StreamSignature(int32_t index) const {
  return StreamField(index, &tOggStreamData::Signature);
}

}  // namespace ktv
