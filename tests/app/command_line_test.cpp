#include "app/command_line.h"

#include <gtest/gtest.h>

namespace ktv {
namespace {

TEST(CommandLine, ReadsTheSourceAndTheScreenshotOptions) {
  struct {
    QStringList args;
    bool ok;
    QString source, dir;
    double after;
    int backend;  // -1 not given, 0 raster, 1 gl
    const char* note;
  } rows[] = {
      {{}, true, {}, {}, 3, -1, "no argument: just the player"},
      {{"http://127.0.0.1/live.ogg"}, true, "http://127.0.0.1/live.ogg", {}, 3, -1, "a source"},
      {{"--screenshot", "shots", "clip.ogg"}, true, "clip.ogg", "shots", 3, -1, "three seconds by default"},
      {{"clip.ogg", "--screenshot", "shots", "--after", "0.5", "--backend", "raster"},
       true,
       "clip.ogg",
       "shots",
       0.5,
       0,
       "options after the source"},
      {{"--screenshot", "shots", "--backend", "gl"}, true, {}, "shots", 3, 1, "no source"},
      {{"--screenshot", "shots", "--backend", "vulkan"}, false, {}, {}, 0, -1, "unknown back-end"},
      {{"--screenshot", "shots", "--after", "soon"}, false, {}, {}, 0, -1, "not a number"},
      {{"--screenshot", "shots", "--after", "-1"}, false, {}, {}, 0, -1, "negative"},
      {{"--screenshot", "shots", "--after", "nan"}, false, {}, {}, 0, -1, "not a finite number"},
      {{"--after", "2", "clip.ogg"}, false, {}, {}, 0, -1, "--after belongs to the screenshot mode"},
      {{"a.ogg", "b.ogg"}, false, {}, {}, 0, -1, "one source only"},
      {{"--screenshot"}, false, {}, {}, 0, -1, "a folder is needed"},
      {{"--help"}, false, {}, {}, 0, -1, "unknown option"},
  };
  for (const auto& r : rows) {
    tCommandLine line;
    QString error;
    const bool ok = ParseCommandLine(QStringList{"kestrova-tv"} + r.args, line, error);
    EXPECT_EQ(ok, r.ok) << r.note;
    if (!ok) {
      EXPECT_FALSE(error.isEmpty()) << r.note;
      continue;
    }
    EXPECT_EQ(line.Source, r.source) << r.note;
    EXPECT_EQ(line.ScreenshotDir, r.dir) << r.note;
    EXPECT_EQ(line.AfterSeconds, r.after) << r.note;
    EXPECT_EQ(line.UseDirectX.has_value() ? int(*line.UseDirectX) : -1, r.backend) << r.note;
  }
}

}  // namespace
}  // namespace ktv
