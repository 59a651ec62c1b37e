#include "playback/qt/gl_probe.h"

#include <gtest/gtest.h>

#include "library/player_settings.h"
#include "support/test_support.h"

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
  SetPreferDirectXProbe(nullptr);
}

TEST(OpenGLProbe, XvfbsMesaIsSoftwareSoOpenGLIsNotTheDefault) {
  const tOpenGLProbe& probe = RememberedOpenGLProbe();
  ASSERT_TRUE(probe.Usable);
  EXPECT_TRUE(probe.Software) << "renderer: " << probe.Renderer;
  EXPECT_FALSE(PreferOpenGL()) << "llvmpipe runs OpenGL, but the raster back-end is cheaper";
  InstallOpenGLProbe();
  EXPECT_TRUE(CanUseDirectX()) << "OpenGL can still be chosen by hand";
  EXPECT_FALSE(PreferDirectX()) << "the installed probe also answers for the default";

  // What a start of the program does with it: a fresh profile, and one an earlier version wrote with its
  // default of that day, both take the raster back-end; OpenGL chosen in the dialog is kept.
  test::tTempDir dir;
  const std::string file = dir.File("settings");
  tPlayerSettings fresh(file);
  fresh.LoadSettings();
  EXPECT_FALSE(fresh.UseDirectX);
  tRegistry old(file);
  old.WriteString(kSettingsKey, "UseDirectX", "1");
  ASSERT_TRUE(old.Save());
  tPlayerSettings upgraded(file);
  upgraded.LoadSettings();
  EXPECT_FALSE(upgraded.UseDirectX);
  upgraded.UseDirectX = true;
  ASSERT_TRUE(upgraded.SaveSettings());
  tPlayerSettings chosen(file);
  chosen.LoadSettings();
  EXPECT_TRUE(chosen.UseDirectX);
  SetCanUseDirectXProbe(nullptr);
  SetPreferDirectXProbe(nullptr);
}

TEST(OpenGLProbe, SoftwareRenderersAreKnownByName) {
  struct {
    const char* Renderer;
    bool Software;
    const char* Fault;
  } rows[] = {
      {"llvmpipe (LLVM 15.0.6, 256 bits)", true, "Mesa's usual software rasteriser"},
      {"Gallium 0.4 on llvmpipe (LLVM 3.4, 128 bits)", true, "older Mesa names the driver after 'on'"},
      {"softpipe", true, "the reference software driver"},
      {"Software Rasterizer", true, "the classic swrast names itself in words"},
      {"Mesa DRI swrast", true, "swrast by its driver name"},
      {"zink Vulkan 1.3(llvmpipe (LLVM 15.0.6, 256 bits) (MESA_LLVMPIPE))", true, "layered over llvmpipe"},
      {"LLVMPIPE (LLVM 17)", true, "case is ignored"},
      {"Mesa Intel(R) UHD Graphics 620 (KBL GT2)", false, "a hardware driver"},
      {"AMD Radeon RX 6600 (radeonsi, navi23, LLVM 15.0.6, DRM 3.49)", false,
       "hardware, though it names LLVM"},
      {"NVIDIA GeForce GTX 1060 6GB/PCIe/SSE2", false, "SSE2 in a hardware name is no rasteriser"},
      {"", false, "no renderer string"},
  };
  for (const auto& row : rows) EXPECT_EQ(IsSoftwareRenderer(row.Renderer), row.Software) << row.Fault;
}

}  // namespace
}  // namespace ktv
