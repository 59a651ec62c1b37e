// Reading the header of an HTTP (or ICY) answer: its lines, and the fields they hold. The receiver and the
// download share it; each keeps its own rule for which status lines it accepts.
#pragma once

#include <cstddef>
#include <string>

#include "net/easy_socket.h"

namespace ktv {

// Reads one header line byte by byte up to its LF; CRs are dropped and the line is trimmed. A byte that
// cannot be read ends the line as empty, which ends the header like an empty line does. budget: the header
// bytes the caller still accepts (every byte but the LF counts); false, with the budget spent, when the line
// would go beyond it: no server needs such a header, and the answer is refused.
bool ReadHeaderLine(tEasySocket& socket, std::string& line, size_t& budget);

// "Name: value": the name trimmed and upper-cased, the value trimmed. A line without ":" has an empty name,
// which matches no field.
struct tHeaderField {
  std::string Name;
  std::string Value;
};
tHeaderField SplitHeaderField(const std::string& line);

}  // namespace ktv
