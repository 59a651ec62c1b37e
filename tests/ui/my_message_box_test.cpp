#include "ui/my_message_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include "support/qt/qt_test_support.h"
#include "ui/kestrova_button.h"

namespace ktv {
namespace {

using test::WaitUntil;

// Shows the box without blocking and waits until it has the keyboard.
void ShowBox(TMyMessageBox& box) {
  box.Open();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&box));
}

QWidget* KeyTarget(TMyMessageBox& box) {
  QWidget* focus = QApplication::focusWidget();
  return focus ? focus : &box;
}

TEST(MyMessageBox, EveryButtonSetAgainstEveryWayOfClosing) {
  struct Row {
    int Set;
    const char*
        Action;  // "Esc", "Enter", "close", "B1".."B3", "Space" (the first button), or one typed character
    int Expected;
    const char* Note;
  } rows[] = {
      {MB_OK, "Esc", IDCANCEL, "OK box escaped is a cancel"},
      {MB_OK, "Enter", IDOK, ""},
      {MB_OK, "o", IDOK, "first letter of OK"},
      {MB_OK, "Space", IDOK, "Space on the focused OK"},
      {MB_OK, "x", 0, "a letter of no button does nothing"},
      {MB_OKCANCEL, "Enter", IDOK, ""},
      {MB_OKCANCEL, "B3", IDCANCEL, ""},
      {MB_OKCANCEL, "Tab Enter", IDCANCEL, "Enter on Cancel is no OK"},
      {MB_OKCANCEL, "c", IDCANCEL, "lower-case letter"},
      {MB_OKCANCEL, "C", IDCANCEL, "upper-case letter"},
      {MB_OKCANCEL, "close", IDCANCEL, "the close box is Escape"},
      {MB_ABORTRETRYIGNORE, "Esc", IDABORT, ""},
      {MB_ABORTRETRYIGNORE, "Enter", IDABORT, "Enter presses the focused B1, as Space does"},
      {MB_ABORTRETRYIGNORE, "Tab Enter", IDRETRY, "Enter on Retry"},
      {MB_ABORTRETRYIGNORE, "Tab Tab Enter", IDIGNORE, "Enter on Ignore"},
      {MB_ABORTRETRYIGNORE, "B1", IDABORT, ""},
      {MB_ABORTRETRYIGNORE, "B2", IDRETRY, ""},
      {MB_ABORTRETRYIGNORE, "B3", IDIGNORE, ""},
      {MB_ABORTRETRYIGNORE, "I", IDIGNORE, ""},
      {MB_ABORTRETRYIGNORE, "Space", IDABORT, "B1 has the focus"},
      {MB_YESNOCANCEL, "Esc", IDCANCEL, ""},
      {MB_YESNOCANCEL, "Enter", IDYES, ""},
      {MB_YESNOCANCEL, "Tab Enter", IDNO, "Enter on No"},
      {MB_YESNOCANCEL, "Tab Tab Enter", IDCANCEL, "Enter on Cancel"},
      {MB_YESNOCANCEL, "B3", IDCANCEL, ""},
      {MB_YESNOCANCEL, "n", IDNO, ""},
      {MB_YESNO, "Esc", IDNO, "Yes/No box escaped is a No"},
      {MB_YESNO, "close", IDNO, ""},
      {MB_YESNO, "B2", IDYES, ""},
      {MB_YESNO, "n", IDNO, ""},
      {MB_YESNO, "Enter", IDYES, ""},
      {MB_YESNO, "Tab Enter", IDNO, "Enter on No"},
      {MB_YESNO, "a", 0, "no Abort button here"},
      {MB_RETRYCANCEL, "Enter", IDRETRY, ""},
      {MB_RETRYCANCEL, "B3", IDCANCEL, ""},
      {MB_RETRYCANCEL, "r", IDRETRY, ""},
      {MB_RETRYCANCEL, "Tab Enter", IDCANCEL, "Enter on Cancel"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.Action) + " on set " + std::to_string(row.Set) + " " + row.Note);
    TMyMessageBox box;
    box.Setup("Text", "Caption", row.Set | MB_ICONINFORMATION);
    ShowBox(box);
    const std::string action = row.Action;
    if (action == "Esc") {
      QTest::keyClick(KeyTarget(box), Qt::Key_Escape);
    } else if (action == "Enter") {
      QTest::keyClick(KeyTarget(box), Qt::Key_Return);
    } else if (action.starts_with("Tab")) {
      for (size_t at = 0; action.compare(at, 4, "Tab ") == 0; at += 4)
        QTest::keyClick(KeyTarget(box), Qt::Key_Tab);
      QTest::keyClick(KeyTarget(box), Qt::Key_Return);
    } else if (action == "Space") {
      QTest::keyClick(KeyTarget(box), Qt::Key_Space);
    } else if (action == "close") {
      QTest::mouseClick(&box, Qt::LeftButton, {}, box.CloseRect().center());
    } else if (action[0] == 'B' && action.size() == 2) {
      TKestrovaButton* button = action[1] == '1' ? box.B1 : action[1] == '2' ? box.B2 : box.B3;
      ASSERT_TRUE(button->isVisible());
      QTest::mouseClick(button, Qt::LeftButton);
    } else {
      QTest::keyClicks(KeyTarget(box), QString::fromStdString(action));
    }
    if (row.Expected == 0) {
      test::RunEvents(50);
      EXPECT_TRUE(box.isVisible()) << "the box stays open";
      box.close();
      continue;
    }
    EXPECT_TRUE(WaitUntil([&] { return !box.isVisible(); })) << "the box closes";
    EXPECT_EQ(box.MessageResult(), row.Expected);
  }
}

TEST(MyMessageBox, ButtonsFollowTheSetAndTheIconTheFlags) {
  struct Row {
    int Flags;
    const char* Captions;  // B1|B2|B3, empty = hidden
  } rows[] = {
      {MB_OK, "||OK"},
      {MB_OKCANCEL | MB_ICONSTOP, "|OK|Cancel"},
      {MB_ABORTRETRYIGNORE | MB_ICONQUESTION, "Abort|Retry|Ignore"},
      {MB_YESNOCANCEL | MB_ICONEXCLAMATION, "Yes|No|Cancel"},
      {MB_YESNO | MB_ICONINFORMATION, "|Yes|No"},
      {MB_RETRYCANCEL, "|Retry|Cancel"},
  };
  QImage previous;
  for (const Row& row : rows) {
    TMyMessageBox box;
    box.Setup("Text", "Caption", row.Flags);
    QStringList shown;
    for (TKestrovaButton* b : {box.B1, box.B2, box.B3})
      shown << (b->isVisibleTo(&box) ? b->text() : QString());
    EXPECT_EQ(shown.join('|').toStdString(), row.Captions);
    const QImage icon = box.Ico->pixmap().toImage();
    EXPECT_FALSE(icon.isNull());
    if (row.Flags & 0xF0) {
      EXPECT_NE(icon, previous) << "each icon flag has its own picture";
    }
    previous = icon;
  }
}

TEST(MyMessageBox, BlocksUntilAnsweredAndLooksRight) {
  // The box the function shows is found on the screen and answered with a click on No.
  bool seen = false;
  QTimer::singleShot(0, [&] {
    ASSERT_TRUE(WaitUntil([&] {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<TMyMessageBox*>(w) && w->isVisible()) return true;
      return false;
    }));
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<TMyMessageBox*>(w);
      if (!box || !box->isVisible()) continue;
      seen = true;
      EXPECT_EQ(box->windowTitle(), "Stream Restart Required");
      EXPECT_EQ(box->Msg->text(), "Some of your changes will not be applied until you restart this stream.");
      EXPECT_EQ(box->Client()->size(), QSize(459, 177));
      ASSERT_TRUE(QTest::qWaitForWindowActive(box));
      box->B3->setFocus();
      test::RunEvents(20);
      test::SaveScreenshot(box->grab().toImage(), "message_box");
      QTest::mouseClick(box->B3, Qt::LeftButton);
    }
  });
  const int result = MyMessageBox("Some of your changes will not be applied until you restart this stream.",
                                  "Stream Restart Required", MB_YESNO | MB_ICONEXCLAMATION);
  EXPECT_TRUE(seen);
  EXPECT_EQ(result, IDNO);
}

TEST(MyMessageBox, HandlerAnswersInsteadOfTheBox) {
  QString asked;
  SetMessageBoxHandler([&](const QString& text, const QString& caption, int flags) {
    asked = caption + "|" + text + "|" + QString::number(flags);
    return IDYES;
  });
  EXPECT_EQ(MyMessageBox("There is currently no stream open.", "Error", MB_ICONINFORMATION), IDYES);
  SetMessageBoxHandler(nullptr);
  EXPECT_EQ(asked, "Error|There is currently no stream open.|64");
}

}  // namespace
}  // namespace ktv
