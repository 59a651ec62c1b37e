// Any bytes through the XML reader: the part before the first NUL is the document, the rest a look-up path.
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/xml_parser.h"

namespace {

// Inputs beginning with 0x01 are grown: the two bytes after it give a repeat count (times 16), the rest up to
// the first NUL is the piece repeated inside a declared root. So a short input reaches the tree's bounds
// (hundreds of thousands of elements, tens of megabytes), which no input of the fuzzer's own length could.
constexpr size_t kMaxGrown = 56u << 20;

std::string Grow(const std::string& input) {
  if (input.size() < 3 || input[0] != '\x01') return input;
  const size_t times =
      ((static_cast<unsigned char>(input[1]) << 8) | static_cast<unsigned char>(input[2])) * 16;
  const std::string piece = input.substr(3);
  std::string out = "<?xml version=\"1.0\"?><r>";
  for (size_t i = 0; i < times && out.size() + piece.size() < kMaxGrown; ++i) out += piece;
  return out + "</r>";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t nul = input.find('\0');
  std::string document = Grow(input.substr(0, nul));
  std::string path = nul == std::string::npos ? "dir.station{1}.servers.url{0}" : input.substr(nul + 1);

  ktv::tXMLParser xml;
  // A tree beyond the element bound must have been refused.
  if (xml.Parse(document) && xml.Root->Children.size() > ktv::tXMLParser::kMaxElements) __builtin_trap();
  xml.GetValue(path);
  xml.Exists(path);
  xml.GetValue(path);  // the cached node
  xml.DecodeEntities = true;
  xml.GetValue(path + "[a]");
  xml.GetValue("[x]");

  if (document.size() > (1u << 20)) return 0;  // the text routines below are linear: small inputs serve them
  ktv::tParamList attributes;
  attributes.ParseAttributes(document);
  std::string unescaped = ktv::XMLUnescape(document);
  // Unescaping what was escaped gives the original back.
  if (ktv::XMLUnescape(ktv::XMLEscape(document)) != document) __builtin_trap();
  return 0;
}
