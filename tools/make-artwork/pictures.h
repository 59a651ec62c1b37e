// Every picture the player embeds, by resource name, with the function that draws it at a scale.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <functional>
#include <vector>

namespace artwork {

using PictureFunction = std::function<QImage(int scale)>;

struct Picture {
  QString name;  // resource name, the PNG is NAME.png and NAME@2x.png
  QSize size;    // designed size in logical pixels
  PictureFunction draw;
};

const std::vector<Picture>& AllPictures();

// The television frame's top-left corner (frame.cpp).
QImage DrawTvFrame(int scale);
QImage DrawTvMask(int scale);

// The console (console.cpp, gadgets.cpp).
QImage DrawTvStand(int scale);
QImage DrawTvLeft(int scale);
QImage DrawTvMiddle(int scale);
QImage DrawTvRight(int scale);
QImage DrawTvKnob(int scale);
QImage DrawTvDot(int scale);
QImage DrawTvSeparator(int scale);
QImage DrawTvHStrip(int scale);
QImage DrawTvGadgets(int scale);

// The dialogs and the program's icon (icons.cpp).
QImage DrawDownloadStripe(int scale);
constexpr int kDirCategories = 7;
QImage DrawDirCategory(int index, int scale);
QImage DrawAboutPicture(int scale);
QImage DrawAppIcon(int size, int scale);

// A sheet for a person to judge the whole: the console as the program composes it and framed televisions
// (preview.cpp).
QImage DrawPreview();

}  // namespace artwork
