#include "ui/custom_hint_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHelpEvent>
#include <QTest>

#include "support/qt/qt_test_support.h"

namespace ktv {
namespace {

// Asks for the widget's tool tip as the application does when the pointer rests on it.
void RestPointerOn(QWidget& widget) {
  QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), widget.mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(&widget, &help);
}

TEST(HintWindow, AnswersEveryToolTipInItsOwnLook) {
  TCustomHintWindow* hint = TCustomHintWindow::Install();
  TCustomHintWindow::SetFadeAvailable(false);
  QWidget button;
  button.setToolTip("volume up");
  button.resize(40, 20);
  button.show();
  RestPointerOn(button);
  ASSERT_TRUE(hint->isVisible());
  EXPECT_EQ(hint->HintText(), "Volume up") << "the first character upper-cased";
  EXPECT_EQ(hint->windowOpacity(), 1.0) << "without window opacity it shows at once";
  const QImage picture = hint->grab().toImage();
  EXPECT_EQ(picture.pixel(0, 0) & 0xFFFFFF, 0x000000u) << "black outline";
  EXPECT_EQ(picture.pixel(2, 1) & 0xFFFFFF, 0xFFFFFFu) << "white inside";
  EXPECT_EQ(hint->width(), hint->fontMetrics().horizontalAdvance("Volume up") + 8);
  test::SaveScreenshot(picture, "hint_window");

  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&button, &leave);
  EXPECT_FALSE(hint->isVisible()) << "the pointer left the widget";

  TCustomHintWindow::SetFadeAvailable(true);
  RestPointerOn(button);
  EXPECT_LT(hint->windowOpacity(), 0.05) << "fading in";
  EXPECT_TRUE(test::WaitUntil([&] { return hint->windowOpacity() >= 1.0; }, 2000));
  hint->HideHint();
  TCustomHintWindow::SetFadeAvailable(false);
}

}  // namespace
}  // namespace ktv
