#include "net/http_chunked.h"

#include <algorithm>

namespace ktv {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Extensions and trailers are text: a control byte other than a tab in them means the framing is lost.
bool IsLineText(char c) {
  return static_cast<unsigned char>(c) >= 0x20 || c == '\t';
}

}  // namespace

tChunkedDecoder::tStatus tChunkedDecoder::Status() const {
  if (State == tState::Done) return tStatus::Done;
  if (State == tState::Failed) return tStatus::Failed;
  return tStatus::More;
}

size_t tChunkedDecoder::Expecting() const {
  if (State == tState::Data) return static_cast<size_t>(std::min<uint64_t>(Remaining + 2, SIZE_MAX / 2));
  if (State == tState::Done || State == tState::Failed) return 0;
  return 1;
}

void tChunkedDecoder::StartSizeLine() {
  State = tState::Size;
  Remaining = 0;
  Digits = 0;
  SeenDigit = false;
  InExtension = false;
  LineBytes = 0;
}

void tChunkedDecoder::EndSizeLine() {
  if (!SeenDigit) {
    State = tState::Failed;
    return;
  }
  State = Remaining == 0 ? tState::Trailer : tState::Data;
  TrailerLine = 0;
}

void tChunkedDecoder::EndTrailerLine() {
  // The empty line after the last chunk (or after its trailer lines) ends the body.
  State = TrailerLine == 0 ? tState::Done : tState::Trailer;
  TrailerLine = 0;
}

size_t tChunkedDecoder::Feed(const char* Data, size_t Count, std::string& Body) {
  size_t i = 0;
  while (i < Count && State != tState::Done && State != tState::Failed) {
    if (State == tState::Data) {
      size_t take = static_cast<size_t>(std::min<uint64_t>(Remaining, Count - i));
      Body.append(Data + i, take);
      i += take;
      Remaining -= take;
      if (Remaining == 0) State = tState::DataCR;
      continue;
    }
    const char c = Data[i++];
    switch (State) {
      case tState::Size:
      case tState::Extension:
        if (++LineBytes > kMaxSizeLine) {
          State = tState::Failed;
        } else if (c == '\r') {
          State = tState::SizeLF;
        } else if (c == '\n') {
          EndSizeLine();
        } else if (State == tState::Size && HexValue(c) >= 0) {
          if (Remaining != 0 || c != '0') ++Digits;
          Remaining = Remaining * 16 + static_cast<uint64_t>(HexValue(c));
          SeenDigit = true;
          if (Digits > kMaxSizeDigits) State = tState::Failed;
        } else if (!SeenDigit || !IsLineText(c)) {
          State = tState::Failed;
        } else if (c == ';') {
          State = tState::Extension;
          InExtension = true;
        } else if (IsBlank(c)) {
          State = tState::Extension;  // white space before an extension or the line end
        } else if (!InExtension) {
          State = tState::Failed;  // "1x": a size that does not parse
        }
        break;
      case tState::SizeLF:
        if (c == '\n')
          EndSizeLine();
        else
          State = tState::Failed;
        break;
      case tState::DataCR:
        if (c == '\r')
          State = tState::DataLF;
        else if (c == '\n')
          StartSizeLine();
        else
          State = tState::Failed;
        break;
      case tState::DataLF:
        if (c == '\n')
          StartSizeLine();
        else
          State = tState::Failed;
        break;
      case tState::Trailer:
        if (++TrailerBytes > kMaxTrailer) {
          State = tState::Failed;
        } else if (c == '\r') {
          State = tState::TrailerLF;
        } else if (c == '\n') {
          EndTrailerLine();
        } else if (IsLineText(c)) {
          ++TrailerLine;
        } else {
          State = tState::Failed;
        }
        break;
      case tState::TrailerLF:
        if (c == '\n')
          EndTrailerLine();
        else
          State = tState::Failed;
        break;
      default:
        break;
    }
  }
  return i;
}

}  // namespace ktv
