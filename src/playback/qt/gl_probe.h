// Whether the accelerated back-end can run here: an OpenGL 2.1 (or OpenGL ES 2) context can be made current
// on a window surface, its largest texture is at least 128 pixels, and presentation takes a swap interval of
// 0 or 1 (immediate or once per refresh). And whether it should be the default: a software rasteriser
// (Mesa's llvmpipe, softpipe, swrast) can run it, but costs the CPU several times what the raster back-end
// does (under Xvfb 16 CPU seconds for 15 s of 720p against 2.8 s), so there the default is the raster one
// while the settings dialog can still choose OpenGL.
//
// Threads: main thread, after the QGuiApplication exists.
#pragma once

#include <string>
#include <string_view>

namespace ktv {

struct tOpenGLProbe {
  bool Usable = false;    // the accelerated back-end can run
  bool Software = false;  // GL_RENDERER names a software rasteriser
  std::string Renderer;   // GL_RENDERER, empty when no context could be made
};

// Probes now (makes and drops a context and a hidden window).
tOpenGLProbe ProbeOpenGLContext();
bool ProbeOpenGL();

// Whether a GL_RENDERER string names a software rasteriser (case ignored).
bool IsSoftwareRenderer(std::string_view renderer);

// The answers of one probe, made on first use and remembered. PreferOpenGL: usable and not a software
// rasteriser, the answer the default back-end should follow.
const tOpenGLProbe& RememberedOpenGLProbe();
bool PreferOpenGL();

// Makes CanUseDirectX (library/player_settings.h) answer with the remembered probe's Usable, and
// PreferDirectX with PreferOpenGL. The program calls it at start, before the settings are loaded; tests that
// need answers of their own install their own probes with SetCanUseDirectXProbe / SetPreferDirectXProbe.
void InstallOpenGLProbe();

}  // namespace ktv
