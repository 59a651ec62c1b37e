#include "app/command_line.h"

#include <gtest/gtest.h>

namespace ktv {
namespace {

TEST(CommandLine, ReadsTheSourcesAndTheScreenshotOptions) {
  struct {
    QStringList args;
    bool ok;
    QStringList sources;
    QString dir;
    double after;
    int backend;  // -1 not given, 0 raster, 1 gl
    const char* note;
  } rows[] = {
      {{}, true, {}, {}, 3, -1, "no argument: just the player"},
      {{"http://127.0.0.1/live.ogg"}, true, {"http://127.0.0.1/live.ogg"}, {}, 3, -1, "a source"},
      {{"a.ogv", "b.ogv", "c.ogg"}, true, {"a.ogv", "b.ogv", "c.ogg"}, {}, 3, -1, "several, in order"},
      {{"--", "--odd.ogv", "b.ogv"}, true, {"--odd.ogv", "b.ogv"}, {}, 3, -1, "-- ends the options"},
      {{"a.ogv", "--", "--", "--screenshot"},
       true,
       {"a.ogv", "--", "--screenshot"},
       {},
       3,
       -1,
       "after --, even -- and option names are sources"},
      {{"", "a.ogv"}, true, {"a.ogv"}, {}, 3, -1, "an empty argument names nothing"},
      {{"--screenshot", "shots", "clip.ogg"}, true, {"clip.ogg"}, "shots", 3, -1, "three seconds by default"},
      {{"clip.ogg", "--screenshot", "shots", "--after", "0.5", "--backend", "raster"},
       true,
       {"clip.ogg"},
       "shots",
       0.5,
       0,
       "options after the source"},
      {{"--screenshot", "shots", "--backend", "gl"}, true, {}, "shots", 3, 1, "no source"},
      {{"--screenshot", "shots", "--", "--after"}, true, {"--after"}, "shots", 3, -1, "a file named --after"},
      {{"--screenshot", "shots", "--backend", "vulkan"}, false, {}, {}, 0, -1, "unknown back-end"},
      {{"--screenshot", "shots", "--after", "soon"}, false, {}, {}, 0, -1, "not a number"},
      {{"--screenshot", "shots", "--after", "-1"}, false, {}, {}, 0, -1, "negative"},
      {{"--screenshot", "shots", "--after", "nan"}, false, {}, {}, 0, -1, "not a finite number"},
      {{"--after", "2", "clip.ogg"}, false, {}, {}, 0, -1, "--after belongs to the screenshot mode"},
      {{"--screenshot"}, false, {}, {}, 0, -1, "a folder is needed"},
      {{"--help"}, false, {}, {}, 0, -1, "unknown option"},
      {{"a.ogv", "--odd.ogv"}, false, {}, {}, 0, -1, "without --, a name starting with -- is an option"},
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
    EXPECT_EQ(line.Sources, r.sources) << r.note;
    EXPECT_EQ(line.ScreenshotDir, r.dir) << r.note;
    EXPECT_EQ(line.AfterSeconds, r.after) << r.note;
    EXPECT_EQ(line.UseDirectX.has_value() ? int(*line.UseDirectX) : -1, r.backend) << r.note;
  }
}

}  // namespace
}  // namespace ktv
