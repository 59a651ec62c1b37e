// Messages posted from a worker thread to a window: the decoding thread's progress (1024). The window turns
// them into events of its own loop; the command-line program and the tests record them.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

namespace ktv {

constexpr uint32_t WM_USER = 1024;
// Progress of the decoding thread; the code (1 to 8) travels in WParam.
constexpr uint32_t MSG_PROGRESS = WM_USER;

struct tMessage {
  uint32_t Msg;
  intptr_t WParam;
  intptr_t LParam;
};

class tMessageTarget {
 public:
  virtual ~tMessageTarget() = default;
  // Never blocks; may be called from any thread.
  virtual void PostMessage(uint32_t msg, intptr_t wParam, intptr_t lParam) = 0;
};

// Keeps posted messages in order for a thread that polls them (the command-line program, tests).
class tMessageQueue : public tMessageTarget {
 public:
  void PostMessage(uint32_t msg, intptr_t wParam, intptr_t lParam) override;
  // Takes the oldest message; false when none arrives within the given milliseconds.
  bool Take(tMessage& message, uint32_t milliseconds = 0);
  size_t Size();

 private:
  std::mutex Lock;
  std::condition_variable Arrived;
  std::deque<tMessage> Messages;  // guarded by Lock
};

}  // namespace ktv
