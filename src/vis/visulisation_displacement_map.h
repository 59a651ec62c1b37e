// A per-pixel lookup table for TVisulisationSurface::ApplyMap: for every destination pixel the byte offset
// ((y * Width + x) * 4) of the source pixel. Applied to the previous picture every frame, its small
// displacement adds up to a continuous flow (kind 0 of the polar maps spirals the picture outward).
//
// Thread contract: none; built and used by the visualisation thread only, rebuilt only when effects change.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace ktv {

class TVisulisationDisplacementMap {
 public:
  static constexpr int32_t kPolarKinds = 13;
  static constexpr int32_t kGridKinds = 2;

  // Sizes below 1 count as 1. The offsets start out as the identity.
  TVisulisationDisplacementMap(int32_t width, int32_t height);
  // Nothing when the size is unchanged; otherwise new offsets (the identity until rebuilt).
  void SetSize(int32_t width, int32_t height);

  // Kind 0..12; another kind leaves the source where it is.
  void BuildPolarMap(int32_t kind);
  // Kind 0 (random jitter by one pixel, each choice random(2)) or 1 (ripple); random(n) is in [0, n).
  void BuildGridMap(int32_t kind, const std::function<int32_t(int32_t)>& random);

  int32_t Width() const { return MapWidth; }
  int32_t Height() const { return MapHeight; }
  const uint32_t* Offsets() const { return OffsetTable.data(); }

 private:
  void SetIdentity();
  // Clamps the source into the surface and stores its byte offset for destination pixel i.
  void SetSource(size_t i, int32_t sx, int32_t sy);

  std::vector<uint32_t> OffsetTable;
  int32_t MapWidth = 0;
  int32_t MapHeight = 0;
};

}  // namespace ktv
