#include "pictures.h"

namespace artwork {

const std::vector<Picture>& AllPictures() {
  static const std::vector<Picture> pictures = [] {
    std::vector<Picture> list = {
        {QStringLiteral("TV_FRAME"), {64, 56}, DrawTvFrame},
        {QStringLiteral("TV_MASK"), {64, 56}, DrawTvMask},
        {QStringLiteral("TV_GADGETS"), {50, 378}, DrawTvGadgets},
        {QStringLiteral("TV_STAND"), {84, 17}, DrawTvStand},
        {QStringLiteral("TV_LEFT"), {7, 100}, DrawTvLeft},
        {QStringLiteral("TV_MIDDLE"), {25, 100}, DrawTvMiddle},
        {QStringLiteral("TV_RIGHT"), {7, 100}, DrawTvRight},
        {QStringLiteral("TV_KNOB"), {53, 53}, DrawTvKnob},
        {QStringLiteral("TV_DOT"), {4, 4}, DrawTvDot},
        {QStringLiteral("TV_SEPERATOR"), {8, 81}, DrawTvSeparator},
        {QStringLiteral("TV_HSTRIP"), {37, 6}, DrawTvHStrip},
        {QStringLiteral("DOWNLOAD_STRIPE"), {135, 18}, DrawDownloadStripe},
        {QStringLiteral("ABOUT_PICTURE"), {267, 112}, DrawAboutPicture},
    };
    // The directory window's categories in their order: our channels, directory television, directory
    // radio, bookmarks, recently played, Icecast television, Icecast radio.
    for (int i = 0; i < kDirCategories; ++i) {
      list.push_back({QStringLiteral("DIR_CATEGORY_%1").arg(i), {16, 16}, [i](int scale) {
                        return DrawDirCategory(i, scale);
                      }});
    }
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
      list.push_back({QStringLiteral("APP_ICON_%1").arg(size), {size, size}, [size](int scale) {
                        return DrawAppIcon(size, scale);
                      }});
    }
    return list;
  }();
  return pictures;
}

}  // namespace artwork
