// Whether the accelerated back-end can run here: an OpenGL 2.1 (or OpenGL ES 2) context can be made current
// on a window surface, its largest texture is at least 128 pixels, and presentation takes a swap interval of
// 0 or 1 (immediate or once per refresh).
//
// Threads: main thread, after the QGuiApplication exists.
#pragma once

namespace ktv {

// Probes now (makes and drops a context and a hidden window).
bool ProbeOpenGL();

// Makes CanUseDirectX (library/player_settings.h) answer with ProbeOpenGL, probed once and remembered. The
// program calls it at start, before the settings are loaded; tests that need an answer of their own install
// their own probe with SetCanUseDirectXProbe instead.
void InstallOpenGLProbe();

}  // namespace ktv
