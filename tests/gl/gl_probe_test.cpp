#include "playback/qt/gl_probe.h"

#include <gtest/gtest.h>

#include "library/player_settings.h"

namespace ktv {
namespace {

TEST(OpenGLProbe, MesaOnXvfbCanRunTheAcceleratedBackEnd) {
  EXPECT_TRUE(ProbeOpenGL());
  InstallOpenGLProbe();
  EXPECT_TRUE(CanUseDirectX());
  // A test that needs the other answer installs its own probe.
  SetCanUseDirectXProbe([] { return false; });
  EXPECT_FALSE(CanUseDirectX());
  InstallOpenGLProbe();
  EXPECT_TRUE(CanUseDirectX()) << "the real probe's answer is remembered";
  SetCanUseDirectXProbe(nullptr);
}

}  // namespace
}  // namespace ktv
