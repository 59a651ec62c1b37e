#include "net/http_answer.h"

#include "platform/text.h"

namespace ktv {

bool ReadHeaderLine(tEasySocket& socket, std::string& line, size_t& budget) {
  line.clear();
  char c;
  while (socket.ReceiveExact(&c, 1)) {
    if (c == '\n') {
      line = TrimText(line);
      return true;
    }
    if (budget == 0) return false;
    --budget;
    if (c != '\r') line += c;
  }
  line.clear();
  return true;
}

tHeaderField SplitHeaderField(const std::string& line) {
  size_t colon = line.find(':');
  if (colon == std::string::npos) return {};
  return {UpperCase(TrimText(line.substr(0, colon))), TrimText(line.substr(colon + 1))};
}

}  // namespace ktv
