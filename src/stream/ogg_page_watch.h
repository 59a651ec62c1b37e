// Follows the Ogg pages passing through the receiver, without decoding them: it tells whether every logical
// stream seen has ended (its last page carried the end-of-stream flag) and the input stands between two
// pages. A live connection that closes right there has ended its stream; one that closes anywhere else has
// dropped it, and is reconnected.
//
// Thread contract: the receiver thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ktv {

class tOggPageWatch {
 public:
  void Feed(const char* Bytes, size_t Count);
  // True once a page was seen, no page is half through, and every stream seen has had its last page.
  bool StreamsEnded() const;
  // A new connection: its bytes start with a page of their own.
  void Restart() { *this = tOggPageWatch(); }

  // Streams kept track of at most; more can only come from damaged input.
  static constexpr size_t kMaxStreams = 64;

 private:
  void PageHeaderComplete();
  std::string Head;            // the page header read so far (27 bytes, then the segment table)
  uint64_t BodyLeft = 0;       // bytes of the current page's body still to pass
  std::vector<uint32_t> Open;  // serial numbers of the streams whose last page has not come yet
  bool SawPage = false;
};

}  // namespace ktv
