// Helpers of the receiver tests: waiting for a state, reading what the decoding thread would read, a small
// generated clip and a server's answer around it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/clock.h"
#include "stream/network_ogg_receiver.h"
#include "support/test_support.h"

namespace ktv::test {

// Waits up to `ms` for the condition; true when it held.
inline bool WaitUntil(const std::function<bool()>& condition, uint32_t ms = 5000) {
  uint32_t start = timeGetTime();
  while (!condition()) {
    if (timeGetTime() - start > ms) return false;
    Sleep(5);
  }
  return true;
}

// Reads whatever the queue holds (what the decoding thread would do), for up to `ms`.
inline std::string Consume(tNetworkOggReceiver& r, uint32_t ms) {
  std::string out;
  uint8_t buf[4096];
  uint32_t start = timeGetTime();
  while (timeGetTime() - start < ms) {
    int32_t n = r.ReadData(buf, 512);
    out.append(reinterpret_cast<char*>(buf), static_cast<size_t>(n));
    if (n < 512 && r.InputEnded()) break;
  }
  return out;
}

inline std::string Clip(const char* seconds = "1") {
  return ReadFile(MakeMedia({"--width", "32", "--height", "32", "--seconds", seconds}));
}

inline std::string OggAnswer(const std::string& head, const std::string& body) {
  return head + "\r\n" + body;
}

}  // namespace ktv::test
