// Decoding an answer body sent with "Transfer-Encoding: chunked": size lines in hex (with optional
// extensions), chunk bytes, a zero-size last chunk and optional trailer lines. Incremental: the raw bytes may
// be fed in pieces of any size, split anywhere. Hostile input is bounded: a size line, its extensions and the
// trailer have limits, and a size that does not parse or does not fit is an error.
//
// Qt-free and socket-free: the receiver and the download feed it what they read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ktv {

class tChunkedDecoder {
 public:
  // A size line (hex digits, extensions, white space) longer than this is refused: no server needs more.
  static constexpr size_t kMaxSizeLine = 1024;
  // The trailer lines after the last chunk, all together.
  static constexpr size_t kMaxTrailer = 8 * 1024;
  // Hex digits of a size beyond leading zeros: 15 keep it below 2^60.
  static constexpr size_t kMaxSizeDigits = 15;

  enum class tStatus { More, Done, Failed };

  // Takes raw bytes and appends the body bytes among them to Body. Returns how many of the Count bytes were
  // taken: all of them while more is expected; fewer when the body ended (the bytes after it are not the
  // body's) or the framing is broken. Once Done or Failed, it takes nothing more.
  size_t Feed(const char* Data, size_t Count, std::string& Body);

  tStatus Status() const;
  bool Done() const { return Status() == tStatus::Done; }
  bool Failed() const { return Status() == tStatus::Failed; }
  // Raw bytes the decoder can take without reading past what it knows of: the rest of the current chunk
  // (with its line end) while in one, else 1. A reader that must not wait for bytes that may never come
  // asks for no more than this.
  size_t Expecting() const;

 private:
  enum class tState {
    Size,       // hex digits of a chunk size
    Extension,  // after the digits: white space or ";name=value" up to the line end
    SizeLF,     // the LF after the size line's CR
    Data,       // chunk bytes
    DataCR,     // the CR (or a bare LF) after the chunk bytes
    DataLF,     // the LF after that CR
    Trailer,    // trailer lines up to an empty one
    TrailerLF,  // the LF after a trailer line's CR
    Done,
    Failed
  };
  void StartSizeLine();
  void EndSizeLine();
  void EndTrailerLine();
  tState State = tState::Size;
  uint64_t Remaining = 0;  // chunk bytes still to come (Data) or the size read so far (Size)
  size_t Digits = 0;       // significant hex digits of the size line
  bool SeenDigit = false;
  bool InExtension = false;  // after the ";" of a size line
  size_t LineBytes = 0;      // bytes of the current size line
  size_t TrailerBytes = 0;   // bytes of the trailer so far
  size_t TrailerLine = 0;    // bytes of the current trailer line
};

}  // namespace ktv
