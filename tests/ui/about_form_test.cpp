#include "ui/about_form.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>

#include "net/http_request.h"
#include "ogg/codec_libraries.h"
#include "platform/module_loader.h"
#include "support/qt/qt_test_support.h"
#include "support/test_support.h"
#include "ui/kestrova_button.h"
#include "ui/link.h"

namespace ktv {
namespace {

TEST(AboutBox, VersionsLinksAndLicence) {
  tPlayerSettings settings("");
  settings.WebSite = "http://site.test";
  settings.DirectoryServer = "http://directory.test";
  TfrmAbout about(nullptr, settings);
  EXPECT_EQ(about.windowTitle(), "About Kestrova.TV Player");
  EXPECT_EQ(about.lblVersion->text().toStdString(), "Kestrova.TV Player V" + GetProgramVersion());
  {
    tOggLibraryUse ogg;
    tTheoraLibraryUse theora;
    ASSERT_TRUE(ogg.Loaded() && theora.Loaded());
    EXPECT_EQ(about.theVer->text().toStdString(), TheoraApi.theora_version_string());
  }
  EXPECT_TRUE(about.memLicence->isReadOnly());
  // Every codec library we load has its notice and its conditions in the box, the Opus one included.
  const QString licence = about.memLicence->toPlainText();
  for (const char* notice :
       {"Copyright (c) 1994-2020 Xiph.Org Foundation", "Neither the name of the Xiph.org", "Opus library",
        "Skype Limited, Octasic, Jean-Marc Valin",
        "Neither the name of Internet Society, IETF or IETF Trust"})
    EXPECT_TRUE(licence.contains(QLatin1String(notice))) << notice;
  EXPECT_EQ(licence.count("Redistribution and use in source and binary forms"), 2) << "both conditions";
  EXPECT_EQ(licence.count("ADVISED OF THE POSSIBILITY OF SUCH DAMAGE."), 2) << "both disclaimers";

  about.Open();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&about));
  test::SaveScreenshot(about.grab().toImage(), "about_dialog");
  EXPECT_EQ(about.lnkWebSite->URL(), "http://site.test");
  EXPECT_EQ(about.lnkWebSite->text(), "site.test");
  EXPECT_EQ(about.lnkDirectory->URL(), "http://directory.test");
  for (TLink* link : {about.lnkMaker, about.lnkOgg, about.lnkVorbis, about.lnkOpus, about.lnkTheora})
    EXPECT_TRUE(link->URL().startsWith("http")) << link->text().toStdString();
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
