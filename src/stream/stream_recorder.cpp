#include "stream/stream_recorder.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ktv {

namespace {

// The writer sleeps this long at most between looks at its queue; every page queued wakes it at once.
constexpr uint32_t kWriterIdleMs = 250;

class tPosixRecordFile final : public tRecordFile {
 public:
  explicit tPosixRecordFile(int fd) : Fd(fd) {}
  ~tPosixRecordFile() override {
    int error = 0;
    Close(error);
  }

  bool Write(const char* bytes, size_t count, int& error) override {
    if (Fd < 0) {
      error = EBADF;
      return false;
    }
    size_t done = 0;
    while (done < count) {
      ssize_t n = ::write(Fd, bytes + done, count - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error = n < 0 ? errno : ENOSPC;
        // Back to the last whole write, so the file ends between two pages.
        if (::ftruncate(Fd, Size) != 0) {
        }
        (void)::lseek(Fd, Size, SEEK_SET);
        return false;
      }
      done += static_cast<size_t>(n);
    }
    Size += static_cast<off_t>(count);
    return true;
  }

  bool Close(int& error) override {
    if (Fd < 0) return true;
    int result = ::close(Fd);
    Fd = -1;
    if (result != 0) error = errno;
    return result == 0;
  }

 private:
  int Fd;
  off_t Size = 0;  // bytes of whole writes so far
};

bool IsDiskFull(int error) {
  return error == ENOSPC || error == EFBIG || error == EDQUOT;
}

}  // namespace

std::unique_ptr<tRecordFile> CreateRecordFile(const std::string& path, int& error) {
  // A file-size limit must end a recording (EFBIG), not the whole player (the signal's default action).
  static const bool kIgnoreSizeSignal = [] {
    ::signal(SIGXFSZ, SIG_IGN);
    return true;
  }();
  (void)kIgnoreSizeSignal;
  // O_EXCL: an existing file (or a link planted in its place) is never written through.
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) {
    error = errno;
    return nullptr;
  }
  return std::make_unique<tPosixRecordFile>(fd);
}

std::string RecordEndText(tRecordEnd reason, int error) {
  switch (reason) {
    case tRecordEnd::DiskFull:
      return "Recording ended: the disk is full.";
    case tRecordEnd::WriteFailed:
      return std::string("Recording ended: the file could not be written (") + std::strerror(error) + ").";
    case tRecordEnd::TooSlow:
      return "Recording ended: the disk could not keep up with the stream.";
    default:
      return "";
  }
}

// --- tStreamRecorder ---------------------------------------------------------------------------------------

tStreamRecorder::tStreamRecorder(std::unique_ptr<tRecordFile> file, tMessageTarget* notify, uint32_t message,
                                 intptr_t tag, size_t maxPendingBytes)
    : File(std::move(file)), Notify(notify), Message(message), Tag(tag), MaxPending(maxPendingBytes) {
  Start();
}

tStreamRecorder::~tStreamRecorder() {
  Finish();
}

void tStreamRecorder::End(tRecordEnd reason, int error) {
  tRecordEnd none = tRecordEnd::None;
  if (!Reason.compare_exchange_strong(none, reason)) return;
  Error = error;
  if (reason != tRecordEnd::Stopped && Notify)
    Notify->PostMessage(Message, static_cast<intptr_t>(reason), Tag);
}

bool tStreamRecorder::TakePages(std::string_view pages) {
  if (Reason != tRecordEnd::None) return false;
  {
    std::lock_guard<std::mutex> guard(PendingLock);
    if (Pending.size() + pages.size() > MaxPending) {
      // What is queued is dropped with the recording: the file ends with the last pages the disk took.
      Pending.clear();
    } else {
      Pending.append(pages);
      Wake();
      return true;
    }
  }
  End(tRecordEnd::TooSlow, 0);
  return false;
}

tRecordEnd tStreamRecorder::Finish() {
  End(tRecordEnd::Stopped, 0);
  if (Started()) {
    Terminate();
    WaitFor();
  }
  if (File) {
    int error = 0;
    File->Close(error);
    File.reset();
  }
  return Reason;
}

void tStreamRecorder::Execute() {
  std::string batch;
  for (;;) {
    batch.clear();
    {
      std::lock_guard<std::mutex> guard(PendingLock);
      batch.swap(Pending);
    }
    // Pages queued before a stop are still written; after a failure nothing more is.
    tRecordEnd reason = Reason;
    if (!batch.empty() && (reason == tRecordEnd::None || reason == tRecordEnd::Stopped)) {
      int error = 0;
      if (File->Write(batch.data(), batch.size(), error))
        Written += static_cast<int64_t>(batch.size());
      else
        End(IsDiskFull(error) ? tRecordEnd::DiskFull : tRecordEnd::WriteFailed, error);
      continue;
    }
    if (Terminated()) {
      std::lock_guard<std::mutex> guard(PendingLock);
      if (Pending.empty() || Reason != tRecordEnd::Stopped) break;
      continue;
    }
    Pause(kWriterIdleMs);
  }
}

// --- tRecordingTap -----------------------------------------------------------------------------------------

void tRecordingTap::Feed(const char* bytes, size_t count) {
  std::lock_guard<std::mutex> guard(Lock);
  Splitter.Feed(bytes, count, [this](std::string_view page) { TakePage(page); });
}

void tRecordingTap::Restart() {
  std::lock_guard<std::mutex> guard(Lock);
  Splitter.Restart();
  Headers.clear();
  HeadersKept = false;
  InHeaders = false;
  LastBegan = false;
}

void tRecordingTap::Attach(std::shared_ptr<tStreamRecorder> recorder) {
  std::lock_guard<std::mutex> guard(Lock);
  Recorder = std::move(recorder);
  Writing = false;
  // Joining mid-link: the link's headers first, then its pages from here on.
  if (Recorder && HeadersKept && !Headers.empty()) {
    if (Recorder->TakePages(Headers))
      Writing = true;
    else
      Recorder.reset();
  }
}

void tRecordingTap::TakePage(std::string_view page) {
  const tOggPageInfo info = ReadOggPageInfo(page);
  // A link begins with the first pages of its logical streams, one after another.
  const bool linkStarts = info.BeginsStream && !LastBegan;
  LastBegan = info.BeginsStream;
  if (linkStarts) {
    Headers.clear();
    HeadersKept = true;
    InHeaders = true;
  }
  // Header pages finish no media (position 0, or -1 when no packet ends on them); the first page that
  // does ends the link's headers (all streams' headers come before any of their data).
  if (InHeaders && !info.BeginsStream && info.Granule != 0 && info.Granule != -1) InHeaders = false;
  if (InHeaders && HeadersKept) {
    if (Headers.size() + page.size() > kMaxHeaderBytes) {
      Headers.clear();
      HeadersKept = false;
    } else {
      Headers.append(page);
    }
  }
  if (!Recorder) return;
  if (linkStarts) Writing = true;
  if (Writing && !Recorder->TakePages(page)) {
    Recorder.reset();
    Writing = false;
  }
}

}  // namespace ktv
