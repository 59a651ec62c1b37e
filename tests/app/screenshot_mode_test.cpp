// The program's screenshot mode, run as a user runs it (kestrova-tv --screenshot ...): every picture is
// written, shaped windows are transparent outside their shape, and the JSON line tells the truth about the
// windows.
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "app_test_support.h"

namespace ktv {
namespace {

using namespace ktv::test;

const char* const kPictures[] = {"main",  "console", "player",    "settings", "open",
                                 "about", "info",    "directory", "playlist", "message"};

struct tShot {
  tRunResult Run;
  QJsonObject Report;
};

tShot Screenshot(const std::string& folder, const std::vector<std::string>& options) {
  std::vector<std::string> args = {"--screenshot", folder, "--after", "1"};
  args.insert(args.end(), options.begin(), options.end());
  tShot shot;
  shot.Run = RunProgram(std::string(KTV_BUILD_DIR) + "/src/app/kestrova-tv", args);
  shot.Report = QJsonDocument::fromJson(QByteArray::fromStdString(shot.Run.Out)).object();
  return shot;
}

QImage Picture(const std::string& folder, const char* name) {
  return QImage(QString::fromStdString(folder + "/" + name + ".png"));
}

TEST(ScreenshotMode, BothBackEndsShowThePlayingClip) {
  tTempConfig config;
  config.Settings->UseDirectX = false;
  for (const char* name : {"Loopback One", "Loopback Two"}) {
    tRecentPlaylistEntry station;
    station.Name = name;
    station.URLs = {std::string("http://127.0.0.1/") + name};
    config.Settings->AddToBookmarks(station);
  }
  ASSERT_TRUE(config.Settings->SaveSettings());
  const std::string clip = Clip(320, 240, 4);
  for (const char* backend : {"gl", "raster"}) {
    const std::string folder = config.Folder.File(backend);
    const tShot shot = Screenshot(folder, {"--backend", backend, clip});
    ASSERT_EQ(shot.Run.ExitCode, 0) << backend << ": " << shot.Run.Err;
    for (const char* name : kPictures) EXPECT_FALSE(Picture(folder, name).isNull()) << backend << " " << name;

    const QJsonObject& r = shot.Report;
    EXPECT_EQ(r["backend"].toString(), QString::fromLatin1(backend));
    EXPECT_EQ(r["state"].toInt(), 5) << "playing";
    const QJsonObject main = r["main"].toObject();
    EXPECT_EQ(main["client_width"].toInt(), 652) << backend;
    EXPECT_EQ(main["client_height"].toInt(), 490) << backend;
    EXPECT_EQ(r["video"].toObject()["width"].toInt(), 320);
    EXPECT_TRUE(r["border"].toBool());
    EXPECT_EQ(r["insets"].toArray(), (QJsonArray{6, 5}));
    const QJsonObject console = r["console"].toObject();
    EXPECT_EQ(console["y"].toInt(), main["y"].toInt() + main["height"].toInt()) << "the console hangs below";
    EXPECT_FALSE(r["title"].toString().isEmpty());
    EXPECT_TRUE(r["clock"].toString().startsWith(QStringLiteral("00:00:0")))
        << r["clock"].toString().toStdString();
    EXPECT_TRUE(r["messages"].toArray().isEmpty());
    EXPECT_TRUE(r["first_picture_ms"].isDouble()) << backend << ": the clip's first picture was timed";
    EXPECT_GE(r["first_picture_ms"].toInt(-1), 0) << backend;
    EXPECT_GT(r["frames_shown"].toInt(), 0) << backend;
    EXPECT_EQ(r["platform"].toString(), QStringLiteral("xcb")) << "an X server alone";

    // Outside the television's and the stand's shapes the pictures are transparent.
    const QImage shown = Picture(folder, "main");
    EXPECT_EQ(shown.size(), QSize(652, 490));
    EXPECT_EQ(qAlpha(shown.pixel(0, 0)), 0) << backend << ": the rounded corner";
    EXPECT_EQ(qAlpha(shown.pixel(326, 245)), 255) << backend << ": the picture";
    const QImage stand = Picture(folder, "console");
    EXPECT_EQ(qAlpha(stand.pixel(2, 2)), 0) << "beside the neck";
    EXPECT_EQ(qAlpha(stand.pixel(stand.width() / 2, 2)), 255) << "the neck";
    EXPECT_EQ(qAlpha(stand.pixel(20, 60)), 255) << "the body";
    const QImage player = Picture(folder, "player");
    EXPECT_EQ(player.size(), QSize(652, 490 + 116)) << "the console hangs below the picture";
  }
  tPlayerSettings after;
  after.LoadSettings();
  EXPECT_FALSE(after.UseDirectX) << "--backend is for one run";
}

// A video too large for the screen is shown smaller in its own shape, so that the window and the console
// under it both fit the work area. Each row runs the player on an X server of its own screen size.
TEST(ScreenshotMode, LargeVideosFitWithTheConsoleInTheirOwnShape) {
  struct {
    int screenW, screenH, videoW, videoH;
  } rows[] = {{1366, 768, 1280, 720}, {1600, 1200, 1920, 1080}, {1366, 768, 640, 360}};
  for (const auto& r : rows) {
    const std::string name = std::to_string(r.videoW) + "x" + std::to_string(r.videoH) + " on " +
                             std::to_string(r.screenW) + "x" + std::to_string(r.screenH);
    tTempConfig config;
    const std::string folder = config.Folder.File("shots");
    const std::string screen =
        "-screen 0 " + std::to_string(r.screenW) + "x" + std::to_string(r.screenH) + "x24";
    const tRunResult run =
        RunProgram("/usr/bin/xvfb-run",
                   {"-a", "-s", screen, std::string(KTV_BUILD_DIR) + "/src/app/kestrova-tv", "--screenshot",
                    folder, "--after", "1", "--backend", "raster", Clip(r.videoW, r.videoH, 2)});
    const QJsonObject report = QJsonDocument::fromJson(QByteArray::fromStdString(run.Out)).object();
    ASSERT_FALSE(report.isEmpty()) << name << ": " << run.Err;
    const QJsonObject main = report["main"].toObject(), console = report["console"].toObject();
    const QJsonArray insets = report["insets"].toArray();
    EXPECT_LE(main["width"].toInt(), r.screenW) << name;
    EXPECT_GE(main["y"].toInt(), 0) << name;
    EXPECT_LE(console["y"].toInt() + console["height"].toInt(), r.screenH)
        << name << ": the console's buttons show";
    EXPECT_EQ(console["y"].toInt(), main["y"].toInt() + main["height"].toInt()) << name;
    const double pictureW = main["client_width"].toInt() - 2 * insets[0].toInt();
    const double pictureH = main["client_height"].toInt() - 2 * insets[1].toInt();
    EXPECT_NEAR(pictureW / pictureH, static_cast<double>(r.videoW) / r.videoH, 0.01)
        << name << ": not squashed";
    if (r.videoW + 2 * insets[0].toInt() <= r.screenW && r.videoH + 200 < r.screenH) {
      EXPECT_EQ(pictureW, r.videoW) << name << ": a video that fits keeps its own size";
    }
  }
}

TEST(ScreenshotMode, SettingsComeFromTheConfigurationFolder) {
  tTempConfig config;
  config.Settings->ShowTVBorder = false;
  ASSERT_TRUE(config.Settings->SaveSettings());
  const std::string folder = config.Folder.File("shots");
  const tShot shot = Screenshot(folder, {"--backend", "raster", Clip(320, 240, 4)});
  ASSERT_EQ(shot.Run.ExitCode, 0) << shot.Run.Err;
  EXPECT_FALSE(shot.Report["border"].toBool());
  EXPECT_EQ(shot.Report["insets"].toArray(), (QJsonArray{0, 0}));
  EXPECT_EQ(shot.Report["main"].toObject()["client_width"].toInt(), 640);
  EXPECT_EQ(qAlpha(Picture(folder, "main").pixel(0, 0)), 255) << "no shape without the border";
}

TEST(ScreenshotMode, WithoutAStreamTheInformationPictureIsMissing) {
  tTempConfig config;
  const std::string folder = config.Folder.File("shots");
  const tShot shot = Screenshot(folder, {"--backend", "raster"});
  EXPECT_EQ(shot.Run.ExitCode, 1) << "not every picture could be written";
  EXPECT_TRUE(Picture(folder, "info").isNull());
  EXPECT_FALSE(Picture(folder, "main").isNull());
  EXPECT_FALSE(Picture(folder, "message").isNull());
  EXPECT_EQ(shot.Report["state"].toInt(), 0);
  EXPECT_TRUE(shot.Report["first_picture_ms"].isNull()) << "no stream, no picture";
  EXPECT_EQ(shot.Report["video"].toObject(), (QJsonObject{{"width", 0}, {"height", 0}})) << "no video: 0 x 0";
  EXPECT_EQ(shot.Report["marquee"].toString(), QStringLiteral("Welcome to the Kestrova.TV Player."));
  EXPECT_EQ(shot.Report["messages"].toArray(), (QJsonArray{"There is currently no stream open."}));
}

}  // namespace
}  // namespace ktv
