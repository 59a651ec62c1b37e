#include "ui/open_url_form.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <functional>

#include "support/qt/qt_test_support.h"
#include "ui/kestrova_button.h"
#include "ui/temp_settings.h"

namespace ktv {
namespace {

QStringList Items(const QComboBox& box) {
  QStringList items;
  for (int i = 0; i < box.count(); ++i) items << box.itemText(i);
  return items;
}

// Runs ShowOpenURL as the program does, with the user's part played once the dialog has the keyboard.
bool Show(TfrmOpenURL& form, std::string& url, const std::function<void()>& user) {
  QTimer::singleShot(0, [&] {
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    user();
  });
  return ShowOpenURL(form, url);
}

class OpenURL : public ::testing::Test {
 protected:
  void SetUp() override {
    auto stored = Config.Load();
    stored->AddToMRU("http://127.0.0.1:8000/older.ogg");
    stored->AddToMRU("http://127.0.0.1:8000/newer.ogg");
    Record = Config.Load();
  }
  test::tTempSettings Config;
  std::unique_ptr<tPlayerSettings> Record;
};

TEST_F(OpenURL, TypedAddressGoesToTheTopOfTheListAndIsListedFirstNextTime) {
  TfrmOpenURL form(nullptr, *Record);
  EXPECT_EQ(Items(*form.cboURL).join('|'), "http://127.0.0.1:8000/newer.ogg|http://127.0.0.1:8000/older.ogg");
  EXPECT_EQ(form.cboURL->currentText(), "http://");
  std::string url;
  const bool ok = Show(form, url, [&] {
    test::SaveScreenshot(form.grab().toImage(), "open_url_dialog");
    // The older entry typed again, in other letters: Enter in the box presses the default OK.
    QTest::keyClicks(form.cboURL->lineEdit(), "127.0.0.1:8000/OLDER.ogg");
    QWidget* popup = QApplication::activePopupWidget();  // the list, when it opened while typing
    QTest::keyClick(popup ? popup : form.cboURL->lineEdit(), Qt::Key_Return);
  });
  ASSERT_TRUE(ok);
  EXPECT_EQ(url, "http://127.0.0.1:8000/OLDER.ogg");
  EXPECT_FALSE(form.DirectoryRequested);

  auto reread = Config.Load();
  TfrmOpenURL again(nullptr, *reread);
  EXPECT_EQ(Items(*again.cboURL).join('|'), "http://127.0.0.1:8000/OLDER.ogg|http://127.0.0.1:8000/newer.ogg")
      << "moved to the top as typed, without a duplicate";
}

TEST_F(OpenURL, LocalFileIsTakenAsItsFileAddress) {
  const std::string file = Config.Dir().File("clip.ogg");
  ASSERT_TRUE(test::WriteFile(file, "OggS"));
  TfrmOpenURL form(nullptr, *Record);
  std::string url;
  const bool ok = Show(form, url, [&] {
    QTest::mouseClick(form.btnBrowse, Qt::LeftButton);
    ASSERT_TRUE(test::WaitUntil([&] { return form.OpenOgg->isVisible(); }));
    EXPECT_EQ(form.OpenOgg->windowTitle(), "Select Ogg File to Open");
    form.OpenOgg->selectFile(QString::fromStdString(file));
    static_cast<QDialog*>(form.OpenOgg)->accept();  // as the dialog's Open button does
    EXPECT_EQ(form.cboURL->currentText().toStdString(), "file://" + file);
    QTest::mouseClick(form.btnOK, Qt::LeftButton);
  });
  ASSERT_TRUE(ok);
  EXPECT_EQ(url, "file://" + file);
  EXPECT_EQ(Config.Load()->MRU.front(), "file://" + file);
}

TEST_F(OpenURL, DirectoryAndCancelLeaveTheListAlone) {
  struct Row {
    const char* Press;
    bool Directory;
  } rows[] = {{"directory", true}, {"cancel", false}, {"escape", false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Press);
    const std::string before = Config.Stored();
    TfrmOpenURL form(nullptr, *Record);
    form.DirectoryRequested = true;  // cleared by every showing
    std::string url = "unchanged";
    const bool ok = Show(form, url, [&] {
      QTest::keyClicks(form.cboURL->lineEdit(), "example.org/typed.ogg");
      const std::string press = row.Press;
      if (press == "directory") {
        QTest::mouseClick(form.btnDirectory, Qt::LeftButton);
      } else if (press == "cancel") {
        QTest::mouseClick(form.btnCancel, Qt::LeftButton);
      } else {
        QTest::keyClick(form.cboURL->lineEdit(), Qt::Key_Escape);
      }
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(form.DirectoryRequested, row.Directory);
    EXPECT_EQ(form.ModalResult(), row.Directory ? mrDirectory : mrCancel);
    EXPECT_EQ(url, "unchanged");
    EXPECT_EQ(Config.Stored(), before);
  }
}

TEST_F(OpenURL, BlankAddressIsRefused) {
  struct Row {
    const char* Typed;  // replaces the box's text
    const char* Press;  // "enter" or "ok"
    const char* Note;
  } rows[] = {
      {"", "enter", "an empty box"},
      {"   ", "ok", "only blanks"},
      {"http://", "enter", "the scheme the box starts with, nothing after it"},
      {" https://  ", "ok", "another scheme and blanks"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Note);
    const std::string before = Config.Stored();
    TfrmOpenURL form(nullptr, *Record);
    std::string url = "unchanged";
    const bool ok = Show(form, url, [&] {
      form.cboURL->lineEdit()->selectAll();
      QTest::keyClick(form.cboURL->lineEdit(), Qt::Key_Backspace);
      QTest::keyClicks(form.cboURL->lineEdit(), row.Typed);
      EXPECT_FALSE(form.btnOK->isEnabled());
      if (std::string(row.Press) == "enter")
        QTest::keyClick(form.cboURL->lineEdit(), Qt::Key_Return);
      else
        form.btnOK->click();  // even a click that reaches it does nothing
      test::RunEvents(50);
      EXPECT_TRUE(form.isVisible()) << "the dialog waits for an address";
      // A real address brings OK back.
      QTest::keyClicks(form.cboURL->lineEdit(), "x");
      EXPECT_TRUE(form.btnOK->isEnabled());
      QTest::mouseClick(form.btnCancel, Qt::LeftButton);
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(url, "unchanged");
    EXPECT_EQ(Config.Stored(), before) << "nothing added to the list";
    EXPECT_EQ(Record->MRU.front(), "http://127.0.0.1:8000/newer.ogg");
  }
}

}  // namespace
}  // namespace ktv
