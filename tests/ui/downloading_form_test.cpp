#include "ui/downloading_form.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <functional>
#include <sstream>

#include "support/qt/qt_test_support.h"
#include "support/script_server.h"
#include "ui/download_watch.h"
#include "ui/kestrova_button.h"

namespace ktv {
namespace {

using test::tScriptServer;

std::string Body(size_t size) {
  std::string body;
  for (size_t i = 0; i < size; ++i) body += static_cast<char>('A' + i % 26);
  return body;
}

using test::tDuringTransfer;

// The loopback bytes a server sent as the dialog showed have arrived after this long: the reader waits for a
// whole block, so nothing outside the socket shows that they did.
bool ArrivedSurely(QElapsedTimer& shown) {
  if (!shown.isValid()) shown.start();
  return shown.elapsed() >= 300;
}

TEST(DownloadDialog, WritesTheBodyAndGoesAway) {
  const std::string body = Body(1000);
  tScriptServer server(
      {test::ReadRequest(),
       test::Send("HTTP/1.0 200 OK\r\nServer: test\r\nContent-Type: text/xml\r\n\r\n" + body),
       test::Close()});
  std::ostringstream out;
  EXPECT_TRUE(DownloadToStream("Downloading the channel list...", "Channel List Update",
                               server.URL("/streams.php"), out));
  EXPECT_EQ(out.str(), body);
  EXPECT_EQ(test::ShownDownloadDialog(), nullptr) << "the dialog is gone afterwards";
}

TEST(DownloadDialog, CloseBoxIsRefusedAndCancelKeepsWhatArrived) {
  const std::string body = Body(1000);
  // The body is read in 16 KiB blocks, each waited for whole: the server sends 256 bytes and then waits, so
  // nothing reaches the stream before Cancel ends the block.
  tScriptServer server(
      {test::ReadRequest(), test::Send("HTTP/1.0 200 OK\r\n\r\n" + body.substr(0, 256)), test::Stall()});
  std::ostringstream out;
  bool stayedOpen = false, cancelWasEnabled = false;
  std::string texts;
  QElapsedTimer shown;
  tDuringTransfer watch([&](TfrmDownloading& form) {
    if (!ArrivedSurely(shown)) return false;
    texts = (form.windowTitle() + "|" + form.lblHead->text()).toStdString();
    QTest::mouseClick(&form, Qt::LeftButton, {}, form.CloseRect().center());
    stayedOpen = form.isVisible() && form.Tag() == 0;
    cancelWasEnabled = form.btnCancel->isEnabled();
    QTest::mouseClick(form.btnCancel, Qt::LeftButton);
    return true;
  });
  EXPECT_TRUE(
      DownloadToStream("Downloading the channel list...", "Channel List Update", server.URL("/"), out));
  EXPECT_TRUE(watch.Done);
  EXPECT_EQ(texts, "Channel List Update|Downloading the channel list...");
  EXPECT_TRUE(stayedOpen) << "the close box does nothing during a transfer";
  EXPECT_TRUE(cancelWasEnabled) << "nor does it cancel";
  EXPECT_EQ(out.str(), body.substr(0, 256)) << "cancelled during the body: true with what arrived";
}

TEST(DownloadDialog, EscapeCancelsAndOtherWindowsStayResponsive) {
  tScriptServer server(
      {test::ReadRequest(), test::Send("HTTP/1.0 200 OK\r\n\r\n" + Body(256)), test::Stall()});
  // Another window of the program keeps taking input while the transfer runs.
  TKestrovaButton other(nullptr, "Other");
  other.show();
  int otherClicks = 0;
  QObject::connect(&other, &QAbstractButton::clicked, [&] { ++otherClicks; });
  std::ostringstream out;
  QElapsedTimer shown;
  tDuringTransfer watch([&](TfrmDownloading& form) {
    if (!ArrivedSurely(shown)) return false;
    QTest::mouseClick(&other, Qt::LeftButton);
    form.activateWindow();
    QTest::keyClick(&form, Qt::Key_Escape);
    return true;
  });
  EXPECT_TRUE(DownloadToStream("Heading", "Caption", server.URL("/"), out));
  EXPECT_EQ(out.str().size(), 256u);
  EXPECT_EQ(otherClicks, 1);
}

TEST(DownloadDialog, LooksRightAndTheStripeMoves) {
  TfrmDownloading form;
  form.ShowText("Stream Directory Update", "Downloading the latest stream directory, please wait...");
  const QImage first = form.pb->grab().toImage();
  const int offset = form.StripeOffset();
  ASSERT_TRUE(test::WaitUntil([&] { return form.StripeOffset() != offset; }));
  form.Idle();
  test::RunEvents(10);
  EXPECT_NE(form.pb->grab().toImage(), first) << "the stripe is drawn at its new offset";
  test::SaveScreenshot(form.grab().toImage(), "download_dialog");
  form.Finished();
  EXPECT_FALSE(form.isVisible()) << "once the transfer is over the dialog closes";
}

// Counts the paints a widget receives.
class tPaintCounter : public QObject {
 public:
  explicit tPaintCounter(QWidget* widget) { widget->installEventFilter(this); }
  int Paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    Paints += event->type() == QEvent::Paint;
    return false;
  }
};

TEST(DownloadDialog, StripeRepaintsAtMostTenTimesASecond) {
  struct Row {
    uint32_t StepMs;  // clock time between two idle calls (one per read)
    int MinPaints, MaxPaints;
    const char* Note;
  } rows[] = {
      {1, 9, 11, "a fast download idles a thousand times a second"},
      {5, 9, 11, "every 5 ms"},
      {250, 4, 5, "reads slower than the repaint pace: each one repaints"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Note);
    TfrmDownloading form;
    uint32_t now = 0xFFFFFF00u;  // near the wrap of the 32-bit clock
    form.Clock = [&now] { return now; };
    form.ShowText("Caption", "Heading");
    test::RunEvents(20);
    tPaintCounter counter(form.pb);
    const uint32_t start = now;
    while (now - start < 1000) {
      now += row.StepMs;
      form.Idle();
    }
    EXPECT_GE(counter.Paints, row.MinPaints) << "the stripe still moves";
    EXPECT_LE(counter.Paints, row.MaxPaints) << "in one second of the clock";
    form.Finished();
  }
}

}  // namespace
}  // namespace ktv
