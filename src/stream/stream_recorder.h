// Recording what plays: the Ogg pages of a network stream go, as they arrive, into a file of their own.
//
// tStreamRecorder writes: the receiver thread hands it whole pages (TakePage), which it only queues in
// memory; a writer thread of its own puts them on disk, so a slow disk never holds up the stream. What waits
// in memory is bounded: a disk that cannot keep up ends the recording, as a full disk or a failed write does.
// A recording that ends by itself posts one message, so the owner can say why.
//
// tRecordingTap sits in the receiver: it cuts the incoming bytes into pages, keeps the header pages of the
// current chain link, and feeds an attached recorder. A recording begins with those kept headers, or, when
// they were not kept, at the next link's first page, so the file always plays on its own; later links go on
// into the same file.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/message_target.h"
#include "platform/thread.h"
#include "stream/ogg_page_splitter.h"

namespace ktv {

// Where a recording goes. Write stores all of the bytes or fails with an errno value; after a failed write
// the file still ends where the last good write ended, so a file never ends in part of a page.
class tRecordFile {
 public:
  virtual ~tRecordFile() = default;
  virtual bool Write(const char* bytes, size_t count, int& error) = 0;
  virtual bool Close(int& error) = 0;
};

// Makes a new file at `path` for writing; never opens (or replaces) one that exists. Null with an errno
// value when it cannot.
std::unique_ptr<tRecordFile> CreateRecordFile(const std::string& path, int& error);

// Why a recording ended.
enum class tRecordEnd : uint8_t {
  None = 0,      // still recording
  Stopped = 1,   // the owner ended it
  DiskFull = 2,  // no space, or the file grew past what the system allows
  WriteFailed = 3,
  TooSlow = 4,  // the disk took the pages slower than the stream brought them
};

// The notice for a recording that ended by itself (empty for None and Stopped).
std::string RecordEndText(tRecordEnd reason, int error);

class tStreamRecorder : public tThread {
 public:
  // Pages waiting for the disk at most by default: a minute of a 500 kbit/s stream.
  static constexpr size_t kMaxPendingBytes = 4 * 1024 * 1024;

  // file: the opened file (owned from here). When the recording ends by itself, `message` is posted to
  // `notify` (WParam: the tRecordEnd, LParam: `tag`). Starts the writer thread.
  tStreamRecorder(std::unique_ptr<tRecordFile> file, tMessageTarget* notify, uint32_t message, intptr_t tag,
                  size_t maxPendingBytes = kMaxPendingBytes);
  ~tStreamRecorder() override;

  // Receiver thread: queues whole pages (one or several) for the disk; never waits for it. False once the
  // recording has ended.
  bool TakePages(std::string_view pages);
  // Owner: ends the recording (if it goes on), writes what is queued and closes the file. Returns the reason
  // it ended; Stopped unless it had ended by itself.
  tRecordEnd Finish();

  tRecordEnd EndReason() const { return Reason; }
  int EndError() const { return Error; }  // the errno value of a failed write, 0 otherwise
  int64_t BytesWritten() const { return Written; }

 protected:
  void Execute() override;

 private:
  // Records the first reason only; posts the message unless the owner stopped it.
  void End(tRecordEnd reason, int error);

  std::unique_ptr<tRecordFile> File;  // writer thread only (the owner closes it after the thread)
  tMessageTarget* Notify;
  const uint32_t Message;
  const intptr_t Tag;
  const size_t MaxPending;
  std::mutex PendingLock;
  std::string Pending;  // guarded by PendingLock: whole pages waiting for the disk
  // written by either thread, read by any (atomic)
  std::atomic<tRecordEnd> Reason{tRecordEnd::None};
  std::atomic<int> Error{0};
  std::atomic<int64_t> Written{0};
};

class tRecordingTap {
 public:
  // Header pages of a link kept at most; a link with more starts recordings only at the next link.
  static constexpr size_t kMaxHeaderBytes = 1024 * 1024;

  // Receiver thread: the bytes of the stream as they arrive.
  void Feed(const char* bytes, size_t count);
  // Receiver thread: a new connection; its first page starts a new link.
  void Restart();
  // Any thread: pages go to this recorder from now on (null: to none).
  void Attach(std::shared_ptr<tStreamRecorder> recorder);

 private:
  void TakePage(std::string_view page);

  std::mutex Lock;  // guards everything below
  tOggPageSplitter Splitter;
  std::string Headers;       // the current link's header pages so far
  bool HeadersKept = false;  // Headers hold the link's header pages from its first page on
  bool InHeaders = false;    // no data page of the link has come yet
  bool LastBegan = false;    // the last page began a logical stream
  std::shared_ptr<tStreamRecorder> Recorder;
  bool Writing = false;  // the recorder has had a link's start and takes every page
};

}  // namespace ktv
