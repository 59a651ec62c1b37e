// Main-thread cost of one video frame in the player panel: ShowVideoFrame, PresentFrame and the paint that
// brings the result to the window, for 1280x720 and 1920x1080 pictures in a panel of the picture's size, with
// the television border and film grain on (the program's defaults), on both back-ends.
//
// "CPU" is the main thread's own time (what the event loop spends); "Time" is the wall clock, which for the
// OpenGL back-end also covers Mesa's rasteriser threads finishing the frame (glFinish). all_threads_cpu_ms is
// the CPU time of every thread of the process per frame (Qt's and Mesa's helper threads too, and the
// visualisation thread idling); show_ms is the wall time of ShowVideoFrame alone. The raster back-end must
// stay under 33 ms of CPU a frame at 1080p (30 frames a second on one core).
//
// "opengl" sends the frame's planes to the card as they are; "opengl_cpu_surface" makes it convert each frame
// on the CPU into an RGB32 surface first, as it does where a context cannot take planes.
//
// Without a display only the raster back-end runs (on Qt's offscreen platform); run it under
// tests/support/with-display for both.
#include <benchmark/benchmark.h>
#include <time.h>

#include <QApplication>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLWidget>
#include <QWidget>
#include <QtTest/QTest>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "playback/qt/directx_ogg_player9.h"
#include "playback/qt/gdi_wave_playback.h"
#include "playback/qt/gl_probe.h"

namespace {

// A smooth 4:2:0 picture that moves a little with every frame.
struct tFrame {
  tFrame(int width, int height) : Y(static_cast<size_t>(width) * height), U(Y.size() / 4), V(Y.size() / 4) {
    Buffer = {width, height, width, width / 2, height / 2, width / 2, Y.data(), U.data(), V.data()};
  }
  void Paint(int step) {
    for (int y = 0; y < Buffer.y_height; ++y)
      for (int x = 0; x < Buffer.y_width; ++x)
        Y[static_cast<size_t>(y) * Buffer.y_width + x] = static_cast<uint8_t>(x + y + step);
    for (size_t i = 0; i < U.size(); ++i)
      U[i] = static_cast<uint8_t>(i + step), V[i] = static_cast<uint8_t>(255 - i);
  }
  std::vector<uint8_t> Y, U, V;
  yuv_buffer Buffer{};
};

struct tPaintCounter : QObject {
  int Count = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    Count += event->type() == QEvent::Paint;
    return false;
  }
};

double CpuSeconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

using tMaker = std::function<std::unique_ptr<ktv::tPlayerBaseClass>(QWidget*)>;

void BM_PanelFrame(benchmark::State& state, tMaker make, bool opengl) {
  const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
  QWidget window;
  window.setWindowFlag(Qt::FramelessWindowHint);
  window.resize(width, height);
  std::unique_ptr<ktv::tPlayerBaseClass> player = make(&window);
  player->AlignToClient();
  player->SetShowTVBorder(true);
  player->SetFilmGrain(true);
  player->SetFilmGrainLevel(90);  // the setting's default
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) {
    state.SkipWithError("the window was never shown");
    return;
  }
  QWidget* painted = opengl ? static_cast<QWidget*>(static_cast<ktv::tDirectXOggPlayer9&>(*player).View())
                            : static_cast<QWidget*>(player.get());
  auto finish = [&] {
    if (!opengl) return;
    auto* view = static_cast<QOpenGLWidget*>(painted);
    view->makeCurrent();
    view->context()->functions()->glFinish();
    view->doneCurrent();
  };
  tPaintCounter paints;
  painted->installEventFilter(&paints);
  std::vector<tFrame> frames;
  for (int i = 0; i < 4; ++i) {
    frames.emplace_back(width, height);
    frames.back().Paint(i * 8);
  }
  double showSeconds = 0;
  int64_t index = 0;
  const double processStart = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
  for (auto _ : state) {
    const int paintsBefore = paints.Count;
    const auto start = std::chrono::steady_clock::now();
    player->ShowVideoFrame(&frames[index++ % frames.size()].Buffer, nullptr);
    showSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    player->PresentFrame();
    painted->repaint();
    // Qt may hold a render-to-texture widget's paint back until the window's next update: every frame is
    // counted only once it was really painted.
    for (int spins = 0; paints.Count == paintsBefore && spins < 1000; ++spins)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    finish();
  }
  painted->removeEventFilter(&paints);
  const double iterations = static_cast<double>(state.iterations());
  state.counters["show_ms"] = benchmark::Counter(1000 * showSeconds / iterations);
  state.counters["all_threads_cpu_ms"] =
      benchmark::Counter(1000 * (CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - processStart) / iterations);
  player->Shutdown();
}

std::unique_ptr<ktv::tPlayerBaseClass> MakeRaster(QWidget* owner) {
  return std::make_unique<ktv::tGDIWavePlayback>(owner, nullptr);
}

std::unique_ptr<ktv::tPlayerBaseClass> MakeOpenGL(QWidget* owner) {
  return std::make_unique<ktv::tDirectXOggPlayer9>(owner, nullptr);
}

std::unique_ptr<ktv::tPlayerBaseClass> MakeOpenGLWithCpuSurface(QWidget* owner) {
  auto player = std::make_unique<ktv::tDirectXOggPlayer9>(owner, nullptr);
  player->SetAcceptedModesForTesting({ktv::RGB32});
  return player;
}

void Register(const char* name, tMaker make, bool opengl) {
  benchmark::RegisterBenchmark(
      name, [make, opengl](benchmark::State& state) { BM_PanelFrame(state, make, opengl); })
      ->Args({1280, 720})
      ->Args({1920, 1080})
      ->ArgNames({"w", "h"})
      ->Unit(benchmark::kMillisecond)
      ->MinTime(2.0);
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  Register("raster", MakeRaster, false);
  if (ktv::ProbeOpenGL()) {
    Register("opengl", MakeOpenGL, true);
    Register("opengl_cpu_surface", MakeOpenGLWithCpuSurface, true);
  } else {
    std::fprintf(stderr,
                 "panel_bench: no OpenGL here; run it under tests/support/with-display for both back-ends\n");
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
