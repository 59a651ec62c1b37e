#include "ui/skin_look.h"

#include <QApplication>
#include <QFontDatabase>

#include "artwork/artwork.h"

namespace ktv {

namespace {

// The metric-compatible face the design's Windows faces map to.
constexpr const char* kSubstituteFace = "Liberation Sans";

void InstallSubstitutes() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  // fontconfig may map Tahoma to some other sans face; the layouts were measured with Liberation Sans.
  for (const char* face : {"Tahoma", "Arial"})
    if (!QFontDatabase::hasFamily(face)) QFont::insertSubstitution(face, kSubstituteFace);
}

}  // namespace

QFont DesignFont(const char* face, int points, bool bold) {
  InstallSubstitutes();
  QFont font(face, points, bold ? QFont::Bold : QFont::Normal);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

QIcon ApplicationIcon() {
  QIcon icon = QApplication::windowIcon();
  if (!icon.isNull()) return icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    QString path = ArtworkPath(QStringLiteral("APP_ICON_%1").arg(size));
    if (!QImage(path).isNull()) icon.addFile(path, QSize(size, size));
  }
  return icon;
}

}  // namespace ktv
