// Any bytes as a cached directory document: inflated when not plain XML, parsed, and read with both mappings;
// the directory's split in one reading agrees with reading each half.
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
  ktv::tStationList tv, radio, stations;
  ktv::ReadStationList(xml, true, true, tv);
  ktv::ReadStationList(xml, true, false, radio);
  ktv::ReadStationList(xml, false, false, stations);
  // One reading split by the video flag gives what the two readings gave.
  ktv::tStationList video, other;
  ktv::ReadDirectoryStations(xml, video, other);
  const auto same = [](const ktv::tStationList& a, const ktv::tStationList& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
      if (a[i]->Name != b[i]->Name || a[i]->URLs != b[i]->URLs) return false;
    return true;
  };
  if (!same(video, tv) || !same(other, radio)) __builtin_trap();
  ktv::VersionToNumber(xml.GetValue("dir.kestrovaplayer.version"));
  return 0;
}
