// The receiver's file session: a local Ogg file is read into the queue as fast as the reader takes it; a
// file that is not Ogg is collected as a text answer (a playlist).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "stream/network_receiver_thread.h"

namespace ktv {

namespace {

constexpr int32_t kFileChunk = 2048;
// Five seconds at 100 kbit/s, whatever the buffer setting says: a file never stalls.
constexpr int32_t kFileQueueBytes = 100 * 5 * 1024 / 8;
// Reading waits until the queue has more room than this.
constexpr int32_t kMinRoom = 129;
constexpr uint32_t kRoomWaitMs = 250;

// Opens only a regular file: a FIFO or a device would block the open or the reads where Stop cannot end
// them. Null when the path names anything else or cannot be opened.
FILE* OpenRegularFile(const std::string& path) {
  // Non-blocking, so that opening a FIFO with no writer returns at once; the file is then read blocking.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return nullptr;
  }
  FILE* file = ::fdopen(fd, "rb");
  if (!file) ::close(fd);
  return file;
}

}  // namespace

void tNetworkReceiverThread::FileSession() {
  BeginSession();
  FILE* file = OpenRegularFile(URLParts.Path);
  if (!file) return Fail(RE_FILE);
  State = RS_REQUESTING;
  Bitrate = 100;
  NewQueue(kFileQueueBytes);
  auto queue = Queue();
  SetMeta(&tStreamMetadata::ContentType, "Local File");

  char magic[4];
  size_t got = std::fread(magic, 1, 4, file);
  if (got != 4 || std::string(magic, 4) != "OggS") {
    CaptureText(std::string(magic, got),
                [&](char* buf, size_t size) { return std::fread(buf, 1, size, file); });
    std::fclose(file);
    return;
  }

  State = RS_BUFFERING;
  queue->Write(magic, 4);
  char buf[kFileChunk];
  while (!Terminated() && Running) {
    int32_t room = queue->GetCapacity() - queue->GetCount();
    if (room < kMinRoom) {
      queue->WaitUntil(
          [&] { return queue->GetCapacity() - queue->GetCount() >= kMinRoom || !Running || Terminated(); },
          kRoomWaitMs);
      continue;
    }
    size_t n = std::fread(buf, 1, static_cast<size_t>(std::min(room, kFileChunk)), file);
    if (n == 0) break;
    if (!WriteToQueue(*queue, buf, static_cast<int32_t>(n))) break;
    State = RS_PLAYING;
  }
  InputEnded = true;
  WakeWaiters();
  if (!Terminated() && Running) Drain();
  std::fclose(file);
  Fail(RE_ENDED);
}

}  // namespace ktv
