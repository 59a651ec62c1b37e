#include "playback/qt/gl_probe.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QSurfaceFormat>
#include <QWindow>

#include "library/player_settings.h"

namespace ktv {

namespace {

constexpr int kMinTextureSize = 128;  // the grain texture

bool RecentEnough(const QOpenGLContext& context) {
  const QPair<int, int> version = context.format().version();
  if (context.isOpenGLES()) return version.first >= 2;
  return version >= qMakePair(2, 1);
}

bool ProbedOnce() {
  static const bool usable = ProbeOpenGL();
  return usable;
}

}  // namespace

bool ProbeOpenGL() {
  QSurfaceFormat format = QSurfaceFormat::defaultFormat();
  format.setSwapInterval(1);
  QWindow window;
  window.setSurfaceType(QSurface::OpenGLSurface);
  window.setFormat(format);
  window.resize(16, 16);
  window.create();
  QOpenGLContext context;
  context.setFormat(format);
  if (!window.handle() || !context.create() || !context.makeCurrent(&window)) return false;
  GLint maxTexture = 0;
  context.functions()->glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTexture);
  const int interval = context.format().swapInterval();
  const bool usable =
      RecentEnough(context) && maxTexture >= kMinTextureSize && (interval == 0 || interval == 1);
  context.doneCurrent();
  return usable;
}

void InstallOpenGLProbe() {
  SetCanUseDirectXProbe(&ProbedOnce);
}

}  // namespace ktv
