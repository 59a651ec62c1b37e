#include "ui/config_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <filesystem>

#include "support/qt/qt_test_support.h"
#include "support/test_support.h"
#include "ui/kestrova_button.h"
#include "ui/my_message_box.h"
#include "ui/temp_settings.h"

namespace ktv {
namespace {

// Settings stored earlier in the test's own configuration folder; the probe says no accelerated back-end
// unless a test says otherwise.
class ConfigDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    SetCanUseDirectXProbe([] { return false; });
    auto stored = Config.Load();
    stored->UseDirectX = true;  // chosen earlier on a machine that could
    stored->FilmGrainValue = 90;
    stored->BufferSeconds = 12;
    stored->ReconnectAttempts = 3;
    ASSERT_TRUE(stored->SaveSettings());
    Store = Config.Stored();
    ASSERT_FALSE(Store.empty());
    Record = Config.Load();
  }
  void TearDown() override { SetCanUseDirectXProbe(nullptr); }
  void Open(TfrmConfigDialog& dialog) {
    dialog.Open();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  }
  tPlayerSettings& Settings() { return *Record; }

  test::tTempSettings Config;
  std::string Store;
  std::unique_ptr<tPlayerSettings> Record;
};

TEST_F(ConfigDialog, AcceleratedChoiceDisabledWithoutTheBackEndButStillChecked) {
  TfrmConfigDialog dialog(nullptr, Settings());
  EXPECT_EQ(dialog.radDX->text(), "OpenGL (Hardware Accelerated)");
  EXPECT_EQ(dialog.radWIN->text(), "Software (Compatible)");
  EXPECT_FALSE(dialog.radDX->isEnabled());
  EXPECT_TRUE(dialog.radDX->isChecked());
  EXPECT_FALSE(dialog.radWIN->isChecked());
  EXPECT_EQ(dialog.spnBuffering->value(), 12);
  EXPECT_EQ(dialog.spnReconnect->value(), 3);
  EXPECT_EQ(dialog.tbFilmGrain->value(), 90);

  SetCanUseDirectXProbe([] { return true; });
  TfrmConfigDialog capable(nullptr, Settings());
  EXPECT_TRUE(capable.radDX->isEnabled());
}

TEST_F(ConfigDialog, EachSwitchEnablesWhatFollowsIt) {
  TfrmConfigDialog dialog(nullptr, Settings());
  Open(dialog);
  test::SaveScreenshot(dialog.grab().toImage(), "config_dialog");
  struct Row {
    QCheckBox* Switch;
    std::vector<QWidget*> Followers;
  } rows[] = {
      {dialog.cboNoise, {dialog.tbFilmGrain, dialog.lblWeak, dialog.lblStrong}},
      {dialog.cboMinTray, {dialog.cboMinVideoPlay}},
      {dialog.cboVisenabled,
       {dialog.cboLowPri, dialog.spnVisX, dialog.spnVisY, dialog.lblMaxSize, dialog.lblMaxSizeX,
        dialog.lblMaxSizePixels}},
  };
  std::vector<QWidget*> all;
  for (const Row& row : rows) all.insert(all.end(), row.Followers.begin(), row.Followers.end());
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Switch->text().toStdString());
    ASSERT_TRUE(row.Switch->isChecked()) << "on by default";
    for (QWidget* w : row.Followers) EXPECT_TRUE(w->isEnabled());
    // Switched off, its followers are disabled and the others follow their own switches still.
    QTest::mouseClick(row.Switch, Qt::LeftButton, {}, QPoint(6, row.Switch->height() / 2));
    ASSERT_FALSE(row.Switch->isChecked());
    for (QWidget* w : all) {
      const auto owner = std::find_if(std::begin(rows), std::end(rows), [&](const Row& r) {
        return std::find(r.Followers.begin(), r.Followers.end(), w) != r.Followers.end();
      });
      EXPECT_EQ(w->isEnabled(), owner->Switch->isChecked()) << "only its own switch rules it";
    }
  }
  test::SaveScreenshot(dialog.grab().toImage(), "config_dialog_disabled");
  EXPECT_EQ(Config.Stored(), Store) << "nothing is stored before OK";
  EXPECT_EQ(Settings().FilmGrainValue, 90);
  dialog.close();
}

TEST_F(ConfigDialog, CancelChangesNothing) {
  TfrmConfigDialog dialog(nullptr, Settings());
  Open(dialog);
  dialog.spnBuffering->setValue(30);
  QTest::mouseClick(dialog.cboOnTop, Qt::LeftButton, {}, QPoint(6, 8));
  QTest::mouseClick(dialog.btnCancel, Qt::LeftButton);
  ASSERT_TRUE(test::WaitUntil([&] { return !dialog.isVisible(); }));
  EXPECT_EQ(dialog.ModalResult(), mrCancel);
  EXPECT_EQ(Settings().BufferSeconds, 12);
  EXPECT_TRUE(Settings().StayOnTop);
  EXPECT_EQ(Config.Stored(), Store);
}

TEST_F(ConfigDialog, OkWritesEveryControlAndSaves) {
  SetCanUseDirectXProbe([] { return true; });
  TfrmConfigDialog dialog(nullptr, Settings());
  Open(dialog);
  QTest::mouseClick(dialog.radWIN, Qt::LeftButton, {}, QPoint(6, 8));
  // Followers first: once their switch is off they take no clicks.
  for (QCheckBox* box : {dialog.cboSkin, dialog.cboHighQuality, dialog.cboNoise, dialog.cboMinVideoPlay,
                         dialog.cboMinTray, dialog.cboLowPri, dialog.cboVisenabled, dialog.cboOnTop})
    box->click();
  EXPECT_FALSE(dialog.cboMinVideoPlay->isEnabled());
  dialog.tbFilmGrain->setValue(200);
  dialog.spnVisX->setValue(640);
  dialog.spnVisY->setValue(480);
  dialog.spnReconnect->setValue(0);  // reconnecting off
  dialog.spnBuffering->selectAll();
  QTest::keyClicks(dialog.spnBuffering, "25");
  // Enter in the spin box goes to the default button.
  QTest::keyClick(dialog.spnBuffering, Qt::Key_Return);
  ASSERT_TRUE(test::WaitUntil([&] { return !dialog.isVisible(); }));
  EXPECT_EQ(dialog.ModalResult(), mrOk);

  auto reread = Config.Load();
  for (const tPlayerSettings* s : {&Settings(), reread.get()}) {
    EXPECT_FALSE(s->UseDirectX);
    EXPECT_FALSE(s->ShowTVBorder);
    EXPECT_FALSE(s->HighQualityVideo);
    EXPECT_FALSE(s->FilmGrain);
    EXPECT_EQ(s->FilmGrainValue, 200);
    EXPECT_FALSE(s->MinimizeToTray);
    EXPECT_FALSE(s->PlayInTray);
    EXPECT_FALSE(s->VisEnabled);
    EXPECT_FALSE(s->LowPriority);
    EXPECT_EQ(s->MaxRenderW, 640);
    EXPECT_EQ(s->MaxRenderH, 480);
    EXPECT_EQ(s->BufferSeconds, 25);
    EXPECT_EQ(s->ReconnectAttempts, 0);
    EXPECT_FALSE(s->StayOnTop);
  }
}

TEST_F(ConfigDialog, OkTellsTheUserWhenTheSettingsCannotBeSaved) {
  // The store's folder is a plain file: nobody, not even root (the test may run as root), can write below it.
  const std::string folder = Config.Dir().Path() + "/blocked";
  ASSERT_TRUE(test::WriteFile(folder, "not a folder"));
  tPlayerSettings record(folder + "/settings");
  std::vector<std::string> boxes;
  SetMessageBoxHandler([&](const QString& text, const QString& caption, int flags) {
    boxes.push_back((caption + "|" + text).toStdString());
    EXPECT_EQ(flags, MB_OK | MB_ICONEXCLAMATION);
    return IDOK;
  });
  struct Row {
    bool Writable;
    size_t Boxes;
    const char* Note;
  } rows[] = {{false, 1, "a store that cannot be written is reported"},
              {true, 1, "a save that works says nothing more"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Note);
    if (row.Writable) {
      std::filesystem::remove(folder);
      std::filesystem::create_directory(folder);
    }
    TfrmConfigDialog dialog(nullptr, record);
    Open(dialog);
    dialog.spnBuffering->setValue(33);
    QTest::mouseClick(dialog.btnOK, Qt::LeftButton);
    ASSERT_TRUE(test::WaitUntil([&] { return !dialog.isVisible(); }));
    EXPECT_EQ(dialog.ModalResult(), mrOk) << "the choices still apply to this session";
    EXPECT_EQ(record.BufferSeconds, 33);
    EXPECT_EQ(boxes.size(), row.Boxes);
    EXPECT_EQ(std::filesystem::exists(folder + "/settings"), row.Writable);
  }
  SetMessageBoxHandler({});
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(
      boxes[0].rfind("Settings Not Saved|Your settings could not be saved to\n" + folder + "/settings", 0),
      0u)
      << boxes[0];
}

}  // namespace
}  // namespace ktv
