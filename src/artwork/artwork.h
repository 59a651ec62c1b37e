// The program's artwork, embedded as Qt resources (drawn by tools/make-artwork).
#pragma once

#include <QImage>
#include <QString>

namespace ktv {

// The picture of one resource by its name ("TV_FRAME", "TV_GADGETS", ...), at its designed size and in 32-bit
// ARGB. A null image when the resource does not exist.
QImage LoadArtwork(const QString& name);

// The resource path of a name, for QPixmap/QIcon (which also pick the "@2x" picture on dense screens).
QString ArtworkPath(const QString& name);

}  // namespace ktv
