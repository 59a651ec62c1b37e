// Any bytes as a network stream being recorded: the tap cuts them into pages in uneven pieces, joins a
// recording part-way and restarts once as a reconnect would. Whatever comes, the file holds whole pages
// only (cutting it again gives the same bytes), and what the splitter holds stays below two pages.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "stream/stream_recorder.h"

namespace {

class tMemoryFile final : public ktv::tRecordFile {
 public:
  explicit tMemoryFile(std::string& bytes) : Bytes(bytes) {}
  bool Write(const char* bytes, size_t count, int&) override {
    Bytes.append(bytes, count);
    return true;
  }
  bool Close(int&) override { return true; }

 private:
  std::string& Bytes;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const char* bytes = reinterpret_cast<const char*>(Data);
  std::string file;
  auto recorder = std::make_shared<ktv::tStreamRecorder>(std::make_unique<tMemoryFile>(file), nullptr, 0, 0);
  ktv::tRecordingTap tap;
  const size_t attachAt = Size / 3, restartAt = Size * 2 / 3;
  bool attached = false, restarted = false;
  for (size_t pos = 0; pos < Size;) {
    if (!attached && pos >= attachAt) {
      tap.Attach(recorder);
      attached = true;
    }
    if (!restarted && pos >= restartAt) {
      tap.Restart();
      restarted = true;
    }
    size_t n = std::min<size_t>(Size - pos, 1 + (pos * 13) % 1500);
    tap.Feed(bytes + pos, n);
    pos += n;
  }
  tap.Attach(nullptr);
  recorder->Finish();

  std::string again;
  size_t pages = 0;
  ktv::tOggPageSplitter splitter;
  splitter.Feed(file.data(), file.size(), [&](std::string_view page) {
    again.append(page);
    ++pages;
  });
  if (again != file) std::abort();
  if (splitter.HeldBytes() != 0) std::abort();
  // Every byte written came from the input: kept headers are written once, then the pages after them.
  if (file.size() > Size) std::abort();
  (void)pages;

  ktv::tOggPageSplitter bounded;
  for (size_t pos = 0; pos < Size; pos += 4096) {
    bounded.Feed(bytes + pos, std::min<size_t>(4096, Size - pos), [](std::string_view) {});
    if (bounded.HeldBytes() >= 2 * ktv::tOggPageSplitter::kMaxPage) std::abort();
  }
  return 0;
}
