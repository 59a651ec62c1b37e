#include "ui/about_form.h"

#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>
#include <QUrl>

#include "net/http_request.h"
#include "ogg/codec_libraries.h"
#include "platform/module_loader.h"
#include "support/qt/qt_test_support.h"
#include "support/test_support.h"
#include "ui/kestrova_button.h"
#include "ui/link.h"

namespace ktv {
namespace {

// Catches what the links would open in the browser.
class tOpenedPages : public QObject {
  Q_OBJECT
 public:
  tOpenedPages() {
    for (const char* scheme : {"http", "https"}) QDesktopServices::setUrlHandler(scheme, this, "Open");
  }
  ~tOpenedPages() override {
    for (const char* scheme : {"http", "https"}) QDesktopServices::unsetUrlHandler(scheme);
  }
  QStringList Pages;
 public slots:
  void Open(const QUrl& url) { Pages << url.toString(); }
};

TEST(AboutBox, VersionsLinksAndLicence) {
  tPlayerSettings settings("");
  settings.WebSite = "http://www.kestrova.tv";
  settings.DirectoryServer = "http://dir.kestrova.tv";
  TfrmAbout about(nullptr, settings);
  EXPECT_EQ(about.windowTitle(), "About Kestrova.TV Player");
  EXPECT_EQ(about.Client()->size(), QSize(276, 419));
  EXPECT_EQ(about.lblVersion->text().toStdString(), "Kestrova.TV Player V" + GetProgramVersion());
  {
    tOggLibraryUse ogg;
    tTheoraLibraryUse theora;
    ASSERT_TRUE(ogg.Loaded() && theora.Loaded());
    EXPECT_EQ(about.theVer->text().toStdString(), TheoraApi.theora_version_string());
  }
  EXPECT_TRUE(about.memLicence->isReadOnly());
  EXPECT_TRUE(about.memLicence->toPlainText().contains("Redistribution and use in source and binary forms"));

  about.Open();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&about));
  test::SaveScreenshot(about.grab().toImage(), "about_dialog");
  tOpenedPages opened;
  for (TLink* link :
       {about.lnkWebSite, about.lnkDirectory, about.lnkMaker, about.lnkOgg, about.lnkVorbis, about.lnkTheora})
    QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(link->width() / 2, link->height() / 2));
  ASSERT_EQ(opened.Pages.size(), 6);
  EXPECT_EQ(opened.Pages[0], "http://www.kestrova.tv");
  EXPECT_EQ(opened.Pages[1], "http://dir.kestrova.tv");
  for (const QString& page : opened.Pages.mid(2)) EXPECT_TRUE(page.startsWith("http")) << page.toStdString();
  QTest::keyClick(about.btnOK, Qt::Key_Return);
  ASSERT_TRUE(test::WaitUntil([&] { return !about.isVisible(); }));
  EXPECT_EQ(about.ModalResult(), mrOk);
}

TEST(AboutBox, WithoutTheCodecLibrariesAsksToUpdate) {
  test::tTempDir empty;
  SetModuleSearchFolder(empty.Path());
  tPlayerSettings settings("");
  TfrmAbout about(nullptr, settings);
  SetModuleSearchFolder("");
  EXPECT_EQ(about.theVer->text(), "Please Connect to Kestrova Network for Updates");
}

}  // namespace
}  // namespace ktv

#include "about_form_test.moc"
