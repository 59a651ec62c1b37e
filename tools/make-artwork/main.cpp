// make-artwork OUTDIR [--preview FILE]
// Draws every picture the player embeds and writes NAME.png (designed size) and NAME@2x.png (drawn at twice
// the size) into OUTDIR; with --preview also a sheet that shows the pictures put together as the program
// does. The output depends only on this code, Qt and the Liberation fonts, so running it again over the
// committed files changes nothing.
#include <QDir>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>

#include "pictures.h"

namespace {

bool Save(const QImage& image, const QString& path) {
  if (image.save(path, "PNG")) return true;
  std::fprintf(stderr, "make-artwork: cannot write %s\n", qPrintable(path));
  return false;
}

int Usage() {
  std::fprintf(stderr, "usage: make-artwork OUTDIR [--preview FILE]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Drawing needs no display; the offscreen platform still gives QPainter its fonts.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);

  QString outDir, previewPath;
  for (int i = 1; i < argc; ++i) {
    const QString arg = QString::fromLocal8Bit(argv[i]);
    if (arg == QLatin1String("--preview") && i + 1 < argc) {
      previewPath = QString::fromLocal8Bit(argv[++i]);
    } else if (arg.startsWith(QLatin1Char('-')) || !outDir.isEmpty()) {
      return Usage();
    } else {
      outDir = arg;
    }
  }
  if (outDir.isEmpty() && previewPath.isEmpty()) return Usage();

  bool ok = true;
  if (!outDir.isEmpty()) {
    if (!QDir().mkpath(outDir)) {
      std::fprintf(stderr, "make-artwork: cannot make %s\n", qPrintable(outDir));
      return 1;
    }
    for (const artwork::Picture& picture : artwork::AllPictures()) {
      for (int scale : {1, 2}) {
        const QImage image = picture.draw(scale);
        if (image.size() != picture.size * scale) {
          std::fprintf(stderr, "make-artwork: %s drawn at the wrong size\n", qPrintable(picture.name));
          return 1;
        }
        const QString suffix = scale == 1 ? QString() : QStringLiteral("@2x");
        ok = Save(image, QDir(outDir).filePath(picture.name + suffix + QStringLiteral(".png"))) && ok;
      }
    }
  }
  if (!previewPath.isEmpty()) ok = Save(artwork::DrawPreview(), previewPath) && ok;
  return ok ? 0 : 1;
}
