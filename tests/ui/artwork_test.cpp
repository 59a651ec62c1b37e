// The embedded artwork: what the panel, the console and the dialogs rely on when they cut, mirror, stretch
// and key the pictures.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QRect>
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "artwork/artwork.h"

namespace ktv {
namespace {

struct Designed {
  const char* name;
  int width, height;
  bool opaque;  // drawn as a plain picture: a transparent pixel would leave whatever lay below
};

const Designed kArtwork[] = {
    {"TV_FRAME", 64, 56, true},        {"TV_MASK", 64, 56, true},         {"TV_GADGETS", 50, 378, true},
    {"TV_STAND", 84, 17, true},        {"TV_LEFT", 7, 100, true},         {"TV_MIDDLE", 25, 100, true},
    {"TV_RIGHT", 7, 100, true},        {"TV_KNOB", 53, 53, true},         {"TV_DOT", 4, 4, true},
    {"TV_SEPERATOR", 8, 81, true},     {"TV_HSTRIP", 37, 6, true},        {"DOWNLOAD_STRIPE", 135, 18, true},
    {"ABOUT_PICTURE", 267, 112, true}, {"DIR_CATEGORY_0", 16, 16, false}, {"DIR_CATEGORY_1", 16, 16, false},
    {"DIR_CATEGORY_2", 16, 16, false}, {"DIR_CATEGORY_3", 16, 16, false}, {"DIR_CATEGORY_4", 16, 16, false},
    {"DIR_CATEGORY_5", 16, 16, false}, {"DIR_CATEGORY_6", 16, 16, false}, {"APP_ICON_16", 16, 16, false},
    {"APP_ICON_24", 24, 24, false},    {"APP_ICON_32", 32, 32, false},    {"APP_ICON_48", 48, 48, false},
    {"APP_ICON_64", 64, 64, false},    {"APP_ICON_128", 128, 128, false}, {"APP_ICON_256", 256, 256, false},
};

// The picture at a scale: 1 as the program loads it, 2 as dense screens get it.
QImage Load(const QString& name, int scale) {
  if (scale == 1) return LoadArtwork(name);
  return QImage(ArtworkPath(name + QStringLiteral("@2x"))).convertToFormat(QImage::Format_ARGB32);
}

// The first few of a list of pixels, for a failure message.
std::string Describe(const std::vector<QPoint>& points) {
  std::string text = std::to_string(points.size()) + " pixels:";
  for (size_t i = 0; i < points.size() && i < 5; ++i) {
    text += " (" + std::to_string(points[i].x()) + "," + std::to_string(points[i].y()) + ")";
  }
  return text;
}

bool Is(const QImage& image, int x, int y, QRgb colour) {
  return (image.pixel(x, y) & 0xffffff) == (colour & 0xffffff);
}

TEST(Artwork, EveryPictureHasItsDesignedSizeAndTwiceThatForDenseScreens) {
  for (const Designed& d : kArtwork) {
    SCOPED_TRACE(d.name);
    for (int scale : {1, 2}) {
      const QImage image = Load(QString::fromLatin1(d.name), scale);
      ASSERT_FALSE(image.isNull()) << "scale " << scale;
      EXPECT_EQ(image.size(), QSize(d.width, d.height) * scale);
      if (!d.opaque) continue;
      bool opaque = true;
      for (int y = 0; y < image.height() && opaque; ++y) {
        for (int x = 0; x < image.width() && opaque; ++x) opaque = qAlpha(image.pixel(x, y)) == 255;
      }
      EXPECT_TRUE(opaque) << "scale " << scale;
    }
  }
}

struct Keyed {
  const char* name;
  QRgb key;
  bool corners[4];  // top-left, top-right, bottom-left, bottom-right: cut away (key) or drawn
};

const Keyed kKeyed[] = {
    {"TV_FRAME", qRgb(0, 0, 255), {true, false, false, false}},  // the cabinet's rounded corner
    {"TV_STAND", qRgb(0, 0, 255), {true, true, false, false}},   // a neck narrower than the plinth below it
    {"TV_DOT", qRgb(0, 255, 0), {true, true, true, true}},       // a round dot
};

TEST(Artwork, KeyedPicturesAreCutOnlyAroundTheirShapeAndNeverFringed) {
  for (const Keyed& k : kKeyed) {
    for (int scale : {1, 2}) {
      SCOPED_TRACE(std::string(k.name) + " scale " + std::to_string(scale));
      const QImage image = Load(QString::fromLatin1(k.name), scale);
      ASSERT_FALSE(image.isNull());
      const int w = image.width(), h = image.height();
      const QPoint corners[4] = {{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}};
      for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Is(image, corners[i].x(), corners[i].y(), k.key), k.corners[i]) << i;
      EXPECT_FALSE(Is(image, w / 2, h / 2, k.key));

      // Every key pixel reaches the border through key pixels: a drawn colour that happens to be the key
      // would punch a hole into the picture.
      std::vector<char> reached(w * h, 0);
      std::vector<QPoint> todo;
      for (int x = 0; x < w; ++x) todo.insert(todo.end(), {QPoint(x, 0), QPoint(x, h - 1)});
      for (int y = 0; y < h; ++y) todo.insert(todo.end(), {QPoint(0, y), QPoint(w - 1, y)});
      while (!todo.empty()) {
        const QPoint p = todo.back();
        todo.pop_back();
        if (p.x() < 0 || p.y() < 0 || p.x() >= w || p.y() >= h || reached[p.y() * w + p.x()]) continue;
        if (!Is(image, p.x(), p.y(), k.key)) continue;
        reached[p.y() * w + p.x()] = 1;
        todo.insert(todo.end(), {p + QPoint(1, 0), p - QPoint(1, 0), p + QPoint(0, 1), p - QPoint(0, 1)});
      }
      std::vector<QPoint> enclosed, fringe;
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          if (Is(image, x, y, k.key) && !reached[y * w + x]) enclosed.push_back({x, y});
        }
      }
      EXPECT_TRUE(enclosed.empty()) << "key enclosed by the picture at " << Describe(enclosed);

      // The drawn pixels along the cut never lean toward the key colour (an edge smoothed into the key
      // shows as a coloured fringe once the key is cut away).
      const QColor key(k.key);
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          if (Is(image, x, y, k.key)) continue;
          const QColor c(image.pixel(x, y));
          const int lean = key.blue() == 255 ? c.blue() - std::max(c.red(), c.green())
                                             : c.green() - std::max(c.red(), c.blue());
          if (lean >= 48) fringe.push_back({x, y});
        }
      }
      EXPECT_TRUE(fringe.empty()) << "fringe at " << Describe(fringe);
    }
  }
}

TEST(Artwork, FrameMaskHidesTheOutsideKeepsTheWindowEdgeOpaqueAndShowsThePicture) {
  for (int scale : {1, 2}) {
    SCOPED_TRACE("scale " + std::to_string(scale));
    const QImage frame = Load(QStringLiteral("TV_FRAME"), scale);
    const QImage mask = Load(QStringLiteral("TV_MASK"), scale);
    ASSERT_EQ(frame.size(), mask.size());
    const QRgb blue = qRgb(0, 0, 255);
    const auto outside = [&](int x, int y) {
      return x < 0 || y < 0 || (x < frame.width() && y < frame.height() && Is(frame, x, y, blue));
    };
    std::vector<QPoint> visibleOutside, seeThroughEdge, coveredMiddle;
    for (int y = 0; y < frame.height(); ++y) {
      for (int x = 0; x < frame.width(); ++x) {
        const int alpha = qRed(mask.pixel(x, y));
        if (Is(frame, x, y, blue)) {
          if (alpha != 0) visibleOutside.push_back({x, y});
          continue;
        }
        // The picture is drawn inset by 6 and 5 pixels: the band outside it, and the window's cut edge,
        // must be covered by the bezel.
        const bool band = x < 6 * scale || y < 5 * scale;
        const bool edge = outside(x - 1, y) || outside(x, y - 1);
        if ((band || edge) && alpha != 255) seeThroughEdge.push_back({x, y});
        // The middle the back-ends stretch over the screen lets the picture through.
        if (x >= 49 * scale && y >= 42 * scale && alpha != 0) coveredMiddle.push_back({x, y});
      }
    }
    EXPECT_TRUE(visibleOutside.empty()) << Describe(visibleOutside);
    EXPECT_TRUE(seeThroughEdge.empty()) << Describe(seeThroughEdge);
    EXPECT_TRUE(coveredMiddle.empty()) << Describe(coveredMiddle);
  }
}

TEST(Artwork, FrameStripsStretchedIntoTheEdgesAreUniform) {
  // Both back-ends stretch the columns from 48 and the rows from 41 on into the four edges; any change
  // along them would show as a smear or a seam along the whole edge.
  for (const char* name : {"TV_FRAME", "TV_MASK"}) {
    SCOPED_TRACE(name);
    const QImage image = LoadArtwork(QString::fromLatin1(name));
    ASSERT_FALSE(image.isNull());
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 48; x < image.width(); ++x)
        ASSERT_EQ(image.pixel(x, y), image.pixel(48, y)) << x << "," << y;
    }
    for (int x = 0; x < image.width(); ++x) {
      for (int y = 41; y < image.height(); ++y)
        ASSERT_EQ(image.pixel(x, y), image.pixel(x, 41)) << x << "," << y;
    }
  }
}

// Contrast ratio of two colours as used for text legibility (1 to 21).
double Contrast(const QColor& a, const QColor& b) {
  const auto luminance = [](const QColor& c) {
    const auto channel = [](int v) {
      const double s = v / 255.0;
      return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
  };
  const double la = luminance(a), lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The console darkens its glass panel with black at alpha 0x5A.
QColor Shaded(const QColor& c) {
  const auto s = [](int v) { return v * (255 - 0x5a) / 255; };
  return QColor(s(c.red()), s(c.green()), s(c.blue()));
}

TEST(Artwork, ConsoleTextStaysReadableOnTheBody) {
  struct Band {
    int firstRow, lastRow;  // rows of the body pieces (window y - 16)
    QColor text;
    bool glass;
    double minContrast;
    const char* what;
  };
  const Band bands[] = {
      {2, 14, Qt::black, false, 7.0, "black caption in the top band"},
      {19, 43, QColor(0xc0, 0xc0, 0xc0), true, 4.5, "information line on the glass"},
      {45, 64, QColor(0xc0, 0xc0, 0xc0), true, 4.5, "clock on the glass"},
  };
  for (const char* name : {"TV_LEFT", "TV_MIDDLE", "TV_RIGHT"}) {
    const QImage piece = LoadArtwork(QString::fromLatin1(name));
    ASSERT_FALSE(piece.isNull()) << name;
    for (const Band& band : bands) {
      // The ends' outermost columns are the plinth's outline, where no text is drawn.
      for (int x = 0; x < piece.width(); ++x) {
        if (std::string(name) != "TV_MIDDLE" && (x < 2 || x >= piece.width() - 2)) continue;
        for (int y = band.firstRow; y <= band.lastRow; ++y) {
          const QColor under = band.glass ? Shaded(QColor(piece.pixel(x, y))) : QColor(piece.pixel(x, y));
          EXPECT_GE(Contrast(band.text, under), band.minContrast)
              << name << " " << band.what << " at " << x << "," << y;
        }
      }
    }
  }
}

TEST(Artwork, ConsolePiecesBlendIntoTheBodyAroundThem) {
  // Buttons, knob and divider are opaque pictures laid on the body: their corners show the body they sit
  // on (darkened where the glass panel lies), or a box would stand out around them.
  struct Piece {
    const char* image;
    QRect cell;   // the (normal) image in its picture
    QPoint at;    // where the console puts it
    QPoint next;  // offset to the pointer-over and pressed images; (0, 0) for a single image
  };
  const QPoint small(14, 0), wide(0, 14), single(0, 0);
  const Piece pieces[] = {
      {"TV_GADGETS", {0, 0, 14, 14}, {2, 18}, small},     {"TV_GADGETS", {0, 14, 14, 14}, {351, 18}, small},
      {"TV_GADGETS", {0, 28, 14, 14}, {319, 18}, small},  {"TV_GADGETS", {0, 42, 14, 14}, {335, 18}, small},
      {"TV_GADGETS", {0, 56, 14, 14}, {134, 64}, small},  {"TV_GADGETS", {0, 70, 14, 14}, {150, 64}, small},
      {"TV_GADGETS", {0, 84, 50, 14}, {62, 92}, wide},    {"TV_GADGETS", {0, 126, 50, 14}, {114, 92}, wide},
      {"TV_GADGETS", {0, 168, 50, 14}, {10, 92}, wide},   {"TV_GADGETS", {0, 210, 50, 14}, {166, 64}, wide},
      {"TV_GADGETS", {0, 252, 50, 14}, {166, 92}, wide},  {"TV_GADGETS", {0, 294, 50, 14}, {218, 92}, wide},
      {"TV_GADGETS", {0, 336, 50, 14}, {218, 64}, wide},  {"TV_KNOB", {0, 0, 53, 53}, {294, 46}, single},
      {"TV_SEPERATOR", {1, 0, 7, 81}, {272, 35}, single},  // its first column lies under the glass's edge
  };
  const QImage left = LoadArtwork(QStringLiteral("TV_LEFT"));
  const QImage middle = LoadArtwork(QStringLiteral("TV_MIDDLE"));
  const QImage right = LoadArtwork(QStringLiteral("TV_RIGHT"));
  ASSERT_FALSE(left.isNull() || middle.isNull() || right.isNull());
  const QRect glass(7, 35, 265, 74);
  const auto console = [&](int x, int y) {
    const int row = y - 16;
    QColor c = x < 7      ? QColor(left.pixel(x, row))
               : x >= 360 ? QColor(right.pixel(x - 360, row))
                          : QColor(middle.pixel((x - 7) % 25, row));
    return glass.contains(x, y) ? Shaded(c) : c;
  };
  for (const Piece& piece : pieces) {
    SCOPED_TRACE(std::string(piece.image) + " at " + std::to_string(piece.at.x()) + "," +
                 std::to_string(piece.at.y()));
    const QImage image = LoadArtwork(QString::fromLatin1(piece.image));
    ASSERT_FALSE(image.isNull());
    std::vector<QImage> states;
    for (int state = 0; state < (piece.next.isNull() ? 1 : 3); ++state) {
      const QRect cell = piece.cell.translated(piece.next * state);
      states.push_back(image.copy(cell));
      for (const QPoint& corner : {cell.topLeft(), cell.topRight(), cell.bottomLeft(), cell.bottomRight()}) {
        const QPoint window = piece.at + (corner - cell.topLeft());
        const QColor drawn(image.pixel(corner)), behind = console(window.x(), window.y());
        EXPECT_NEAR(drawn.red(), behind.red(), 6)
            << "state " << state << " corner " << window.x() << "," << window.y();
        EXPECT_NEAR(drawn.green(), behind.green(), 6);
        EXPECT_NEAR(drawn.blue(), behind.blue(), 6);
      }
    }
    // Pointer over it and pressed each look different, or the button gives no feedback.
    if (states.size() == 3) {
      EXPECT_NE(states[0], states[1]);
      EXPECT_NE(states[1], states[2]);
    }
  }
}

TEST(Artwork, DownloadStripeRepeatsWithoutASeam) {
  // The dialog draws the stripe side by side and scrolls it; where one copy meets the next must look like
  // any other step along the stripe.
  const QImage stripe = LoadArtwork(QStringLiteral("DOWNLOAD_STRIPE"));
  ASSERT_FALSE(stripe.isNull());
  const auto step = [&](int a, int b) {
    int sum = 0;
    for (int y = 0; y < stripe.height(); ++y) {
      const QRgb p = stripe.pixel(a, y), q = stripe.pixel(b, y);
      sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
    }
    return sum;
  };
  int largest = 0;
  for (int x = 1; x < stripe.width(); ++x) largest = std::max(largest, step(x - 1, x));
  EXPECT_GT(largest, 0) << "a flat stripe shows no movement";
  EXPECT_LE(step(stripe.width() - 1, 0), largest);
}

}  // namespace
}  // namespace ktv
