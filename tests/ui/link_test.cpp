#include "ui/link.h"

#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QTest>
#include <QUrl>

namespace ktv {
namespace {

// Catches what a link would open in the browser, and the link's colour at that moment.
class tBrowser : public QObject {
  Q_OBJECT
 public:
  explicit tBrowser(TLink* link) : Link(link) {
    for (const char* scheme : {"http", "https"}) QDesktopServices::setUrlHandler(scheme, this, "Open");
  }
  ~tBrowser() override {
    for (const char* scheme : {"http", "https"}) QDesktopServices::unsetUrlHandler(scheme);
  }
  QStringList Opened;
 public slots:
  void Open(const QUrl& url) { Opened << url.toString(); }

 private:
  TLink* Link;
};

QRgb TextColour(const TLink& link) {
  return link.palette().color(QPalette::WindowText).rgb() & 0xFFFFFF;
}

TEST(Link, OpensItsAddressOrElseItsCaption) {
  struct Row {
    const char* Caption;
    const char* Url;
    const char* Opened;
  } rows[] = {
      {"Kestrova.TV", " http://www.kestrova.tv/ ", "http://www.kestrova.tv/"},
      {" www.kestrova.tv ", "", "http://www.kestrova.tv"},
      {"", "  ", ""},
  };
  for (const Row& row : rows) {
    TLink link(nullptr, row.Caption, row.Url);
    link.resize(150, 16);
    tBrowser browser(&link);
    int clicks = 0;
    QObject::connect(&link, &TLink::Clicked, [&] {
      EXPECT_TRUE(browser.Opened.isEmpty()) << "the click handler runs first";
      ++clicks;
    });
    EXPECT_EQ(TextColour(link), 0x0000FFu) << "blue";
    EXPECT_TRUE(link.font().underline());
    QTest::mousePress(&link, Qt::LeftButton, {}, QPoint(5, 8));
    EXPECT_EQ(TextColour(link), 0xFF0000u) << "red while held";
    QTest::mouseRelease(&link, Qt::LeftButton, {}, QPoint(5, 8));
    EXPECT_EQ(TextColour(link), 0x0000FFu) << "its colour again";
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(browser.Opened.join('|').toStdString(), row.Opened);
  }
}

TEST(Link, OnlyWebPagesOpen) {
  // Addresses a server may send as its station page: only http and https are pages to open.
  struct Row {
    const char* Url;
    bool Opens;
    const char* Note;
  } rows[] = {
      {"http://radio.example.org/", true, ""},
      {"HTTPS://radio.example.org/x?y=1", true, "the scheme in any case"},
      {"radio.example.org", true, "no scheme: taken as an http page, as the caption fallback is"},
      {"file:///etc/passwd", false, "a local file"},
      {"/etc/passwd", false, "a local path reads as a file address"},
      {"javascript:alert(1)", false, "script"},
      {"  jaVaScRiPt:alert(1)", false, "script, blanks and mixed case"},
      {"ftp://radio.example.org/", false, "another scheme"},
      {"data:text/html,<b>x</b>", false, "inline data"},
      {"smb://host/share", false, "a network share"},
      {"http://", false, "a scheme without a host"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.Url) + " " + row.Note);
    TLink link(nullptr, "Station page");
    link.resize(150, 16);
    link.SetURL(row.Url);
    tBrowser browser(&link);
    // Every other scheme goes to the browser stand-in too, so an open of any kind is seen.
    for (const char* scheme : {"file", "javascript", "ftp", "data", "smb"})
      QDesktopServices::setUrlHandler(scheme, &browser, "Open");
    int clicks = 0;
    QObject::connect(&link, &TLink::Clicked, [&] { ++clicks; });
    EXPECT_EQ(link.Opens(), row.Opens);
    EXPECT_EQ(link.font().underline(), row.Opens) << "only a link that opens looks like one";
    EXPECT_EQ(link.cursor().shape(), row.Opens ? Qt::PointingHandCursor : Qt::ArrowCursor);
    QTest::mouseClick(&link, Qt::LeftButton, {}, QPoint(5, 8));
    for (const char* scheme : {"file", "javascript", "ftp", "data", "smb"})
      QDesktopServices::unsetUrlHandler(scheme);
    EXPECT_EQ(browser.Opened.size(), row.Opens ? 1 : 0) << browser.Opened.join('|').toStdString();
    EXPECT_EQ(clicks, row.Opens ? 1 : 0);
  }
  // The caption stands in for a missing address under the same rule.
  TLink caption(nullptr, "file:///etc/passwd");
  EXPECT_FALSE(caption.Opens());
  caption.SetURL_Caption("www.kestrova.tv");
  EXPECT_TRUE(caption.Opens());
  EXPECT_TRUE(caption.font().underline());
}

}  // namespace
}  // namespace ktv

#include "link_test.moc"
