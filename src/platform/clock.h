// The millisecond clock and sleeping.
#pragma once

#include <cstdint>

namespace ktv {

// Milliseconds of a monotonic clock as an unsigned 32-bit number that wraps; compare two readings by
// unsigned subtraction (timeGetTime() - start), never by "<".
uint32_t timeGetTime();

void Sleep(uint32_t milliseconds);

}  // namespace ktv
