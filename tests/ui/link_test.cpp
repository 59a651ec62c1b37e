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

}  // namespace
}  // namespace ktv

#include "link_test.moc"
