// Any bytes as an Opus identification header and as a comment header. An identification header the reader
// accepts must be one libopus sets a decoder up for: the reader is what stands between the stream and it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ogg/codec_libraries.h"
#include "ogg/opus_header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ktv::tOpusHeader head;
  if (ktv::ReadOpusHead(data, size, head)) {
    static const bool opus = ktv::LoadOpusLibrary();  // kept for the run
    if (opus) {
      int error = OPUS_OK;
      OpusMSDecoder* decoder = ktv::OpusApi.opus_multistream_decoder_create(
          ktv::kOpusRate, head.Channels, head.StreamCount, head.CoupledCount, head.Mapping, &error);
      if (!decoder || error != OPUS_OK) __builtin_trap();
      ktv::OpusApi.opus_multistream_decoder_destroy(decoder);
    }
  }
  std::vector<std::string> lines;
  std::string vendor;
  if (ktv::ReadOpusTags(data, size, lines, vendor)) {
    size_t total = 0;  // the vendor is the first line when there is one
    for (const std::string& line : lines) total += line.size();
    if (total > size) __builtin_trap();  // nothing is read beyond the packet
  }
  return 0;
}
