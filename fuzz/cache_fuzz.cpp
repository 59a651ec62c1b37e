// Any bytes as a cached directory document: inflated when not plain XML, parsed, and read with both mappings.
#include <cstddef>
#include <cstdint>
#include <string>

#include "library/station_directory.h"
#include "net/xml_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string text = ktv::DocumentFromCacheBytes(bytes);
  if (text.size() > ktv::kMaxDocumentBytes) __builtin_trap();
  ktv::tXMLParser xml;
  xml.Parse(text);
  ktv::tStationList stations;
  ktv::ReadStationList(xml, true, true, stations);
  ktv::ReadStationList(xml, true, false, stations);
  ktv::ReadStationList(xml, false, false, stations);
  ktv::VersionToNumber(xml.GetValue("dir.kestrovaplayer.version"));
  return 0;
}
