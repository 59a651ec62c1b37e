// Any bytes through the XML reader: the part before the first NUL is the document, the rest a look-up path.
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/xml_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t nul = input.find('\0');
  std::string document = input.substr(0, nul);
  std::string path = nul == std::string::npos ? "dir.station{1}.servers.url{0}" : input.substr(nul + 1);

  ktv::tXMLParser xml;
  xml.Parse(document);
  xml.GetValue(path);
  xml.Exists(path);
  xml.GetValue(path);  // the cached node
  xml.DecodeEntities = true;
  xml.GetValue(path + "[a]");
  xml.GetValue("[x]");

  ktv::tParamList attributes;
  attributes.ParseAttributes(document);
  std::string unescaped = ktv::XMLUnescape(document);
  // Unescaping what was escaped gives the original back.
  if (ktv::XMLUnescape(ktv::XMLEscape(document)) != document) __builtin_trap();
  return 0;
}
