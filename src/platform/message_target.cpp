#include "platform/message_target.h"

#include <chrono>

namespace ktv {

void tMessageQueue::PostMessage(uint32_t msg, intptr_t wParam, intptr_t lParam) {
  {
    std::lock_guard<std::mutex> guard(Lock);
    Messages.push_back({msg, wParam, lParam});
  }
  Arrived.notify_all();
}

bool tMessageQueue::Take(tMessage& message, uint32_t milliseconds) {
  std::unique_lock<std::mutex> lock(Lock);
  if (!Arrived.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return !Messages.empty(); }))
    return false;
  message = Messages.front();
  Messages.pop_front();
  return true;
}

size_t tMessageQueue::Size() {
  std::lock_guard<std::mutex> guard(Lock);
  return Messages.size();
}

}  // namespace ktv
