#include "playback/qt/gl_probe.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QSurfaceFormat>
#include <QWindow>
#include <algorithm>
#include <cctype>

#include "library/player_settings.h"

namespace ktv {

namespace {

constexpr int kMinTextureSize = 128;  // the grain texture

// Mesa's software rasterisers as they name themselves in GL_RENDERER (also when layered, as "zink
// (llvmpipe ...)"); lavapipe is llvmpipe under Vulkan.
constexpr std::string_view kSoftwareRenderers[] = {"llvmpipe", "softpipe", "swrast", "software rasterizer",
                                                   "lavapipe"};

bool RecentEnough(const QOpenGLContext& context) {
  const QPair<int, int> version = context.format().version();
  if (context.isOpenGLES()) return version.first >= 2;
  return version >= qMakePair(2, 1);
}

bool ProbedOnce() {
  return RememberedOpenGLProbe().Usable;
}

}  // namespace

bool IsSoftwareRenderer(std::string_view renderer) {
  std::string lower(renderer);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return std::any_of(std::begin(kSoftwareRenderers), std::end(kSoftwareRenderers),
                     [&](std::string_view name) { return lower.find(name) != std::string::npos; });
}

tOpenGLProbe ProbeOpenGLContext() {
  tOpenGLProbe probe;
  QSurfaceFormat format = QSurfaceFormat::defaultFormat();
  format.setSwapInterval(1);
  QWindow window;
  window.setSurfaceType(QSurface::OpenGLSurface);
  window.setFormat(format);
  window.resize(16, 16);
  window.create();
  QOpenGLContext context;
  context.setFormat(format);
  if (!window.handle() || !context.create() || !context.makeCurrent(&window)) return probe;
  QOpenGLFunctions* gl = context.functions();
  GLint maxTexture = 0;
  gl->glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTexture);
  if (const GLubyte* renderer = gl->glGetString(GL_RENDERER))
    probe.Renderer = reinterpret_cast<const char*>(renderer);
  const int interval = context.format().swapInterval();
  probe.Usable = RecentEnough(context) && maxTexture >= kMinTextureSize && (interval == 0 || interval == 1);
  probe.Software = IsSoftwareRenderer(probe.Renderer);
  context.doneCurrent();
  return probe;
}

bool ProbeOpenGL() {
  return ProbeOpenGLContext().Usable;
}

const tOpenGLProbe& RememberedOpenGLProbe() {
  static const tOpenGLProbe probe = ProbeOpenGLContext();
  return probe;
}

bool PreferOpenGL() {
  const tOpenGLProbe& probe = RememberedOpenGLProbe();
  return probe.Usable && !probe.Software;
}

void InstallOpenGLProbe() {
  SetCanUseDirectXProbe(&ProbedOnce);
  SetPreferDirectXProbe(&PreferOpenGL);
}

}  // namespace ktv
