#include "ui/about_stream_dialog.h"

#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QTest>
#include <QUrl>
#include <memory>

#include "platform/message_target.h"
#include "stream/ogg_thread_manager.h"
#include "support/qt/qt_test_support.h"
#include "support/script_server.h"
#include "support/test_support.h"
#include "ui/link.h"

namespace ktv {
namespace {

using tRows = std::vector<std::pair<std::string, std::string>>;

// A decoding thread on a source, with its progress messages kept; no player is attached, so the decoders
// stay open once the headers are read.
class tPlayingStream {
 public:
  explicit tPlayingStream(const std::string& url)
      : Manager(std::make_unique<tOggThreadManager>(url, MSG_PROGRESS, &Messages, 10)) {}
  // Waits until the headers of `links` chain links have been read.
  bool WaitForHeaders(int links = 1) {
    return test::WaitUntil([&] {
      tMessage message;
      while (Messages.Take(message)) Headers += message.WParam == PROGRESS_STREAMS;
      return Headers >= links;
    });
  }
  tMessageQueue Messages;
  std::unique_ptr<tOggThreadManager> Manager;
  int Headers = 0;
};

tRows Rows(const TfrmAboutstreamDlg& dialog) {
  tRows rows;
  for (const auto& [field, value] : dialog.ShownRows())
    rows.emplace_back(field.toStdString(), value.toStdString());
  return rows;
}

// The rows of a decoder, with its vendor line checked apart (it names the encoder library's version).
tRows RowsWithoutVendor(const TfrmAboutstreamDlg& dialog, const std::string& vendorStart) {
  tRows rows = Rows(dialog);
  EXPECT_FALSE(rows.empty());
  if (rows.empty()) return rows;
  EXPECT_EQ(rows[0].second.rfind(vendorStart, 0), 0u) << rows[0].second;
  rows[0].second = "(vendor)";
  return rows;
}

TEST(StreamInformation, StationMetadataAndEveryStreamOfTheLink) {
  const std::string clip =
      test::ReadFile(test::MakeMedia({"--width", "320", "--height", "240", "--fps", "30000/1001", "--seconds",
                                      "1", "--vcomment", "encoder=ktv test", "--acomment", "title=News",
                                      "--acomment", "genre = Jazz ", "--extra-stream", "FLAC"}));
  ASSERT_FALSE(clip.empty());
  const std::string header =
      "ICY 200 OK\r\nicy-name: Test Radio\r\nicy-description: Night programme\r\nicy-genre: Jazz\r\n"
      "icy-url: http://radio.example.org/\r\nicy-pub: 0\r\nicy-br: 128\r\nServer: Icecast 2.4.4\r\n"
      "Content-Type: application/ogg\r\n\r\n";
  test::tScriptServer server({test::ReadRequest(), test::Send(header + clip), test::Stall()});
  tPlayingStream stream(server.URL("/live.ogg"));
  ASSERT_TRUE(stream.WaitForHeaders());

  TfrmAboutstreamDlg dialog(nullptr, [&] { return stream.Manager.get(); });
  EXPECT_EQ(dialog.windowTitle(), "About Current Stream");
  EXPECT_EQ(dialog.lblName->toolTip(), "Test Radio");
  EXPECT_EQ(dialog.lblDesc->toolTip(), "Night programme");
  EXPECT_EQ(dialog.lblGenre->toolTip(), "Jazz");
  EXPECT_EQ(dialog.lnkUrl->URL(), "http://radio.example.org/");
  EXPECT_EQ(dialog.lblDist->toolTip(), "Private");
  EXPECT_EQ(dialog.lblBitrate->toolTip(), "128kbps");
  EXPECT_EQ(dialog.lblSoftware->toolTip(), "Icecast 2.4.4");
  EXPECT_EQ(dialog.lblType->toolTip(), "APPLICATION/OGG");
  EXPECT_EQ(dialog.lblStreamCount->text(), "  Number of Streams: 3");
  ASSERT_EQ(dialog.lblStreams->count(), 3);
  EXPECT_EQ(dialog.lblStreams->item(0)->text(), "Theora");
  EXPECT_EQ(dialog.lblStreams->item(1)->text(), "Vorbis");
  EXPECT_EQ(dialog.lblStreams->item(2)->text(), "FLAC");
  EXPECT_EQ(dialog.lblStreams->currentRow(), 0) << "the first stream is selected";

  EXPECT_EQ(RowsWithoutVendor(dialog, "Xiph.Org libtheora"), (tRows{{"Video Codec", "(vendor)"},
                                                                    {"", ""},
                                                                    {"Size", "320x240"},
                                                                    {"Frame Rate", "29.970 frames/second"},
                                                                    {"", ""},
                                                                    {"Encoder", "ktv test"}}));
  dialog.Open();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  test::SaveScreenshot(dialog.grab().toImage(), "stream_information_dialog");

  // A click on the next stream shows its details.
  QTest::mouseClick(dialog.lblStreams->viewport(), Qt::LeftButton, {},
                    dialog.lblStreams->visualItemRect(dialog.lblStreams->item(1)).center());
  EXPECT_EQ(RowsWithoutVendor(dialog, "Xiph.Org libVorbis"), (tRows{{"Audio Codec", "(vendor)"},
                                                                    {"", ""},
                                                                    {"Channels", "2"},
                                                                    {"Rate", "44100 Hz"},
                                                                    {"", ""},
                                                                    {"Title", "News"},
                                                                    {"Genre", "Jazz"}}));
  dialog.lblStreams->setCurrentRow(2);
  EXPECT_EQ(Rows(dialog), (tRows{{"Audio Codec", "Free Lossless Audio Codec"}, {"Note", "Unsupported."}}));
  dialog.close();
}

TEST(StreamInformation, StreamsNoDecoderPlays) {
  struct Row {
    std::vector<std::string> Extra;
    const char* Listed;
    tRows Expected;
  } rows[] = {
      {{"--extra-stream", "writ"}, "Writ", {{"Text Stream", "Subtitles Codec"}, {"Note", "Unsupported."}}},
      {{"--extra-packet", "<?xml version=\"1.0\"?>"},
       "XML",
       {{"Text Stream", "Stream Metadata"}, {"Note", "Unsupported."}}},
      {{"--extra-packet", "Speex   1.2rc1"},
       "Speex",
       {{"Audio Codec", "A Free Codec for Free Speech"}, {"Note", "Unsupported."}}},
      {{"--extra-stream", "Daala"}, "Daala", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Listed);
    std::vector<std::string> args = {"--no-video", "--seconds", "1"};
    args.insert(args.end(), row.Extra.begin(), row.Extra.end());
    const std::string file = test::MakeMedia(args);
    ASSERT_FALSE(file.empty());
    tPlayingStream stream("file://" + file);
    ASSERT_TRUE(stream.WaitForHeaders());
    TfrmAboutstreamDlg dialog(nullptr, [&] { return stream.Manager.get(); });
    EXPECT_EQ(dialog.lblName->toolTip(), QFileInfo(QString::fromStdString(file)).completeBaseName());
    EXPECT_EQ(dialog.lblType->toolTip(), "Local File");
    ASSERT_EQ(dialog.lblStreams->count(), 2);
    EXPECT_EQ(dialog.lblStreams->item(1)->text(), row.Listed);
    dialog.lblStreams->setCurrentRow(1);
    EXPECT_EQ(Rows(dialog), row.Expected);
  }
}

TEST(StreamInformation, OpusSoundShowsItsVendorFormatAndComments) {
  const std::string file =
      test::MakeMedia({"--width", "32", "--height", "32", "--opus", "--channels", "6", "--seconds", "1",
                       "--acomment", "title=Morning", "--acomment", "ARTIST=Ktv"});
  ASSERT_FALSE(file.empty());
  tPlayingStream stream("file://" + file);
  ASSERT_TRUE(stream.WaitForHeaders());
  TfrmAboutstreamDlg dialog(nullptr, [&] { return stream.Manager.get(); });
  ASSERT_EQ(dialog.lblStreams->count(), 2);
  EXPECT_EQ(dialog.lblStreams->item(1)->text(), "Opus") << "listed by its identification";
  dialog.lblStreams->setCurrentRow(1);
  EXPECT_EQ(RowsWithoutVendor(dialog, "libopus"), (tRows{{"Audio Codec", "(vendor)"},
                                                         {"", ""},
                                                         {"Channels", "6"},
                                                         {"Rate", "48000 Hz"},
                                                         {"", ""},
                                                         {"Title", "Morning"},
                                                         {"ARTIST", "Ktv"}}));
}

TEST(StreamInformation, NewSnapshotWhenTheMainWindowSaysTheNextLinkWasRead) {
  const std::string file = test::MakeMedia(
      {"--no-video", "--seconds", "1", "--acomment", "title=First", "--link", "--acomment", "title=Second"});
  ASSERT_FALSE(file.empty());
  tPlayingStream stream("file://" + file);
  // The first link ends only once the test allows it.
  bool nextLink = false;
  stream.Manager->OnPlaybackDone = [&] { return nextLink; };
  ASSERT_TRUE(stream.WaitForHeaders());
  TfrmAboutstreamDlg dialog(nullptr, [&] { return stream.Manager.get(); });
  ASSERT_EQ(dialog.lblStreams->count(), 1);
  EXPECT_EQ(Rows(dialog).back(), (std::pair<std::string, std::string>{"Title", "First"}));

  nextLink = true;
  ASSERT_TRUE(stream.WaitForHeaders(2));
  stream.Manager->OnPlaybackDone = [] { return false; };  // the second link stays open
  test::RunEvents(20);
  EXPECT_EQ(Rows(dialog).back(), (std::pair<std::string, std::string>{"Title", "First"})) << "a snapshot";
  dialog.Refresh();
  ASSERT_TRUE(test::WaitUntil([&] { return Rows(dialog).back().second == "Second"; }));
  EXPECT_EQ(dialog.lblStreams->currentRow(), 0);
}

TEST(StreamInformation, ShowsTheAddressTheStreamCameFromInTheEnd) {
  const std::string clip =
      test::ReadFile(test::MakeMedia({"--width", "32", "--height", "32", "--seconds", "1"}));
  test::tScriptServer target({test::ReadRequest(),
                              test::Send("ICY 200 OK\r\nContent-Type: application/ogg\r\n\r\n" + clip),
                              test::Stall()});
  test::tScriptServer first(
      {test::ReadRequest(),
       test::Send("HTTP/1.1 302 Found\r\nLocation: " + target.URL("/final.ogg") + "\r\n\r\n"),
       test::Close()});
  tPlayingStream stream(first.URL("/typed.ogg"));
  ASSERT_TRUE(stream.WaitForHeaders());
  TfrmAboutstreamDlg dialog(nullptr, [&] { return stream.Manager.get(); });
  EXPECT_EQ(dialog.lblAddress->toolTip().toStdString(), target.URL("/final.ogg"));
  EXPECT_EQ(dialog.size(), QSize(500, 467)) << "the row fits the designed size";
}

// Catches every page the desktop would be asked to open, whatever its scheme.
class tOpenedPages : public QObject {
  Q_OBJECT
 public:
  tOpenedPages() {
    for (const char* scheme : kSchemes) QDesktopServices::setUrlHandler(scheme, this, "Open");
  }
  ~tOpenedPages() override {
    for (const char* scheme : kSchemes) QDesktopServices::unsetUrlHandler(scheme);
  }
  QStringList Opened;
 public slots:
  void Open(const QUrl& url) { Opened << url.toString(); }

 private:
  static constexpr const char* kSchemes[] = {"http", "https", "file", "javascript", "ftp", "data"};
};

TEST(StreamInformation, StationPageFromTheServerOpensOnlyOverHttp) {
  const std::string clip =
      test::ReadFile(test::MakeMedia({"--width", "32", "--height", "32", "--seconds", "1"}));
  struct Row {
    const char* Page;  // the icy-url the server sends
    bool Opens;
  } rows[] = {
      {"https://radio.example.org/", true},
      {"file:///etc/passwd", false},
      {"javascript:alert(document.cookie)", false},
      {"ftp://radio.example.org/", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Page);
    test::tScriptServer server({test::ReadRequest(),
                                test::Send("ICY 200 OK\r\nicy-url: " + std::string(row.Page) +
                                           "\r\nContent-Type: application/ogg\r\n\r\n" + clip),
                                test::Stall()});
    tPlayingStream stream(server.URL("/live.ogg"));
    ASSERT_TRUE(stream.WaitForHeaders());
    TfrmAboutstreamDlg dialog(nullptr, [&] { return stream.Manager.get(); });
    dialog.Open();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    EXPECT_EQ(dialog.lnkUrl->toolTip().toStdString(), row.Page) << "the address is shown either way";
    EXPECT_EQ(dialog.lnkUrl->font().underline(), row.Opens) << "only a page that opens looks like a link";
    tOpenedPages pages;
    QTest::mouseClick(dialog.lnkUrl, Qt::LeftButton, {}, QPoint(4, dialog.lnkUrl->height() / 2));
    EXPECT_EQ(pages.Opened.size(), row.Opens ? 1 : 0) << pages.Opened.join('|').toStdString();
    dialog.close();
  }
}

}  // namespace
}  // namespace ktv

#include "about_stream_dialog_test.moc"
