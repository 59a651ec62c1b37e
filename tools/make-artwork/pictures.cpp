#include "pictures.h"

namespace artwork {

const std::vector<Picture>& AllPictures() {
  static const std::vector<Picture> pictures = {
      {QStringLiteral("TV_FRAME"), {64, 56}, DrawTvFrame},
      {QStringLiteral("TV_MASK"), {64, 56}, DrawTvMask},
  };
  return pictures;
}

}  // namespace artwork
