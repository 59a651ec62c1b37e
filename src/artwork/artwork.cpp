#include "artwork/artwork.h"

namespace ktv {

QString ArtworkPath(const QString& name) {
  return QStringLiteral(":/artwork/") + name + QStringLiteral(".png");
}

QImage LoadArtwork(const QString& name) {
  QImage image(ArtworkPath(name));
  if (image.isNull()) return image;
  return image.convertToFormat(QImage::Format_ARGB32);
}

}  // namespace ktv
