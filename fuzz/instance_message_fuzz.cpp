// The single-instance message reader over hostile bytes: any tag and length, fed in growing prefixes as a
// socket delivers them. A whole message must split into arguments that join back into the same body.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/instance_message.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string body;
  size_t used = 0;
  // Prefixes in uneven steps, as reads arrive; the reader never looks past the size it is given.
  for (size_t have = 0; have <= size; have += 1 + have % 977) {
    const ktv::tInstanceRead result = ktv::ReadInstanceMessage(data, have, ktv::kInstanceTag, body, used);
    if (result == ktv::tInstanceRead::Refused) return 0;
    if (result != ktv::tInstanceRead::Complete) continue;
    if (used > have || body.size() > ktv::kMaxInstanceBytes) __builtin_trap();
    std::string again;
    ktv::JoinInstanceArguments(ktv::SplitInstanceArguments(body), again);
    std::string back;
    ktv::JoinInstanceArguments(ktv::SplitInstanceArguments(again), back);
    if (back != again) __builtin_trap();
    return 0;
  }
  return 0;
}
