#include "ui/skinned_form.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QScreen>
#include <QTest>

#include "support/qt/qt_test_support.h"
#include "ui/application_signals.h"
#include "ui/skin_look.h"
#include "ui/window_menu.h"

namespace ktv {
namespace {

// A form of the given kind with a 200 x 100 client area, shown and active.
class tShownForm {
 public:
  tShownForm(tBorderStyle style, int icons, const QString& title = "Caption") : Form(nullptr, style, icons) {
    Form.setWindowTitle(title);
    Form.SetClientSize(200, 100);
    Form.show();
    Form.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&Form));
  }
  QRgb Pixel(QPoint at) { return Form.grab().toImage().pixel(at); }
  tSkinnedForm Form;
};

// The brightest pixel of the caption text area: the text colour.
QRgb BrightestInCaptionText(tSkinnedForm& form) {
  const QImage image = form.grab().toImage();
  QRgb brightest = 0;
  for (int y = 0; y < form.CaptionHeight() + form.FrameY(); ++y)
    for (int x = form.FrameX() + 20; x < form.MinRect().left() - 4; ++x)
      if (qGray(image.pixel(x, y)) > qGray(brightest)) brightest = image.pixel(x, y);
  return brightest & 0xFFFFFF;
}

TEST(SkinnedForm, CaptionAndFrameRepaintWithActivation) {
  tShownForm a(tBorderStyle::bsSingle, biSystemMenu | biMinimize, "First");
  const QPoint caption(a.Form.width() / 2, 1), leftBand(1, 60), outline(0, 60);
  const QRgb activeCaption = a.Pixel(caption) & 0xFFFFFF, activeText = BrightestInCaptionText(a.Form);
  const QRgb activeOutline = a.Pixel(outline) & 0xFFFFFF;
  EXPECT_GT(qGray(activeText), qGray(activeCaption) + 128) << "the title reads on the caption";
  EXPECT_EQ(a.Pixel(leftBand) & 0xFFFFFF, activeCaption) << "the bands take the caption's colour";

  tShownForm b(tBorderStyle::bsSingle, biSystemMenu | biMinimize, "Second");
  ASSERT_FALSE(a.Form.isActiveWindow());
  const QRgb inactiveCaption = a.Pixel(caption) & 0xFFFFFF, inactiveText = BrightestInCaptionText(a.Form);
  EXPECT_NE(inactiveCaption, activeCaption) << "an inactive form shows it";
  EXPECT_LT(qGray(inactiveText), qGray(activeText)) << "dimmer title";
  EXPECT_GT(qGray(inactiveText), qGray(inactiveCaption) + 64) << "still readable";
  EXPECT_EQ(a.Pixel(leftBand) & 0xFFFFFF, inactiveCaption);
  EXPECT_EQ(a.Pixel(outline) & 0xFFFFFF, activeOutline) << "the outline stays";
  test::SaveScreenshot(a.Form.grab().toImage(), "skinned_form_inactive");
}

// The close button's picture.
QImage CloseBox(tSkinnedForm& form) {
  return form.grab().toImage().copy(form.CloseRect());
}

TEST(SkinnedForm, CloseButtonHoverAndPressSequence) {
  tShownForm shown(tBorderStyle::bsSingle, biSystemMenu);
  tSkinnedForm& form = shown.Form;
  const QPoint close = form.CloseRect().center(), caption(form.width() / 2, 8);
  const QImage normal = CloseBox(form);
  QTest::mouseMove(&form, close);
  EXPECT_EQ(form.HoverButton(), kCloseButton);
  const QImage hovered = CloseBox(form);
  EXPECT_NE(hovered, normal);
  QTest::mouseMove(&form, caption);
  EXPECT_EQ(form.HoverButton(), kNoButton);
  EXPECT_EQ(CloseBox(form), normal) << "leaving the button resets it";

  QTest::mouseMove(&form, close);
  QTest::mousePress(&form, Qt::LeftButton, {}, close);
  const QImage pressed = CloseBox(form);
  EXPECT_NE(pressed, hovered);
  EXPECT_NE(pressed, normal);
  // Held down and moved away, the pressed button stays the one hovered, and the release acts on it.
  QTest::mouseMove(&form, caption);
  EXPECT_EQ(form.HoverButton(), kCloseButton);
  EXPECT_TRUE(form.ButtonPressed());
  EXPECT_TRUE(form.isVisible());
  QTest::mouseRelease(&form, Qt::LeftButton, {}, caption);
  EXPECT_FALSE(form.isVisible()) << "the form was asked to close";
  EXPECT_FALSE(form.ButtonPressed());
}

TEST(SkinnedForm, CaptionElementsByKindOfForm) {
  struct Row {
    tBorderStyle Style;
    int Icons;
    bool Close, Max, Min, Icon;
    const char* Note;
  } rows[] = {
      {tBorderStyle::bsSingle, biSystemMenu | biMinimize | biMaximize, true, true, true, true, "everything"},
      {tBorderStyle::bsSingle, biSystemMenu | biMinimize, true, false, true, true, ""},
      {tBorderStyle::bsDialog, biSystemMenu | biMinimize | biMaximize, true, false, false, false,
       "a dialog frame shows no icon and no minimise or maximise"},
      {tBorderStyle::bsToolWindow, biSystemMenu | biMinimize | biMaximize, true, false, false, false,
       "a tool window shows only the close button"},
      {tBorderStyle::bsSizeable, biSystemMenu | biMaximize, true, true, false, false,
       "icon only on single frames"},
      {tBorderStyle::bsSingle, 0, false, false, false, false, "no system menu, no close"},
      {tBorderStyle::bsNone, biSystemMenu | biMinimize, false, false, false, false, "no frame at all"},
  };
  for (const Row& row : rows) {
    tSkinnedForm form(nullptr, row.Style, row.Icons);
    form.SetClientSize(200, 100);
    EXPECT_EQ(!form.CloseRect().isEmpty(), row.Close) << row.Note;
    EXPECT_EQ(!form.MaxRect().isEmpty(), row.Max) << row.Note;
    EXPECT_EQ(!form.MinRect().isEmpty(), row.Min) << row.Note;
    EXPECT_EQ(!form.IconRect().isEmpty(), row.Icon) << row.Note;
    EXPECT_EQ(form.Client()->size(), QSize(200, 100)) << row.Note;
  }
}

TEST(SkinnedForm, HitTests) {
  tSkinnedForm sizeable(nullptr, tBorderStyle::bsSizeable, biSystemMenu | biMinimize | biMaximize);
  sizeable.SetClientSize(300, 200);
  tSkinnedForm single(nullptr, tBorderStyle::bsSingle, biSystemMenu | biMinimize);
  single.SetClientSize(300, 200);
  const int w = sizeable.width(), h = sizeable.height();
  struct Row {
    tSkinnedForm* Form;
    QPoint At;
    int Expected;
  } rows[] = {
      {&sizeable, sizeable.CloseRect().center(), HTCLOSE},
      {&sizeable, sizeable.MaxRect().center(), HTMAXBUTTON},
      {&sizeable, sizeable.MinRect().center(), HTMINBUTTON},
      {&sizeable, {w / 2, 10}, HTCAPTION},
      {&sizeable, {w / 2, h / 2}, HTCLIENT},
      {&sizeable, {1, h / 2}, HTLEFT},
      {&sizeable, {w - 2, h / 2}, HTRIGHT},
      {&sizeable, {w / 2, 1}, HTTOP},
      {&sizeable, {w / 2, h - 2}, HTBOTTOM},
      {&sizeable, {1, 1}, HTTOPLEFT},
      {&sizeable, {w - 1, 1}, HTTOPRIGHT},
      {&sizeable, {2, h - 10}, HTBOTTOMLEFT},
      {&sizeable, {w - 10, h - 1}, HTBOTTOMRIGHT},
      {&sizeable, {w, h / 2}, HTNOWHERE},
      {&single, single.IconRect().center(), HTSYSMENU},
      {&single, single.CloseRect().center(), HTCLOSE},
      {&single, {1, 100}, HTBORDER},
      {&single, {150, single.height() - 1}, HTBORDER},
      {&single, {150, 1}, HTCAPTION},
  };
  for (const Row& row : rows)
    EXPECT_EQ(row.Form->HitTest(row.At), row.Expected) << row.At.x() << "," << row.At.y();
}

TEST(SkinnedForm, CaptionMovesAndBandsSizeTheForm) {
  tShownForm shown(tBorderStyle::bsSizeable, biSystemMenu);
  tSkinnedForm& form = shown.Form;
  form.setMinimumSize(150, 120);
  const QRect start = form.geometry();
  const QPoint grip(form.width() / 2, 10);
  QTest::mousePress(&form, Qt::LeftButton, {}, grip);
  QTest::mouseMove(&form, grip + QPoint(30, 20));
  QTest::mouseRelease(&form, Qt::LeftButton, {}, grip + QPoint(30, 20));
  EXPECT_EQ(form.geometry(), start.translated(30, 20));

  const QRect moved = form.geometry();
  const QPoint corner(form.width() - 1, form.height() - 1);
  QTest::mousePress(&form, Qt::LeftButton, {}, corner);
  QTest::mouseMove(&form, corner + QPoint(40, 25));
  QTest::mouseRelease(&form, Qt::LeftButton, {}, corner + QPoint(40, 25));
  EXPECT_EQ(form.geometry(), QRect(moved.topLeft(), moved.size() + QSize(40, 25)));

  const QPoint left(1, form.height() / 2);
  QTest::mousePress(&form, Qt::LeftButton, {}, left);
  QTest::mouseMove(&form, left + QPoint(500, 0));
  QTest::mouseRelease(&form, Qt::LeftButton, {}, left + QPoint(500, 0));
  EXPECT_EQ(form.width(), 150) << "never below the minimum";
  EXPECT_EQ(form.geometry().right(), moved.right() + 40) << "the right edge stays";
}

TEST(SkinnedForm, WindowMenuOffersWhatTheCaptionDoesAndActsOnTheForm) {
  struct {
    tBorderStyle style;
    int icons;
    bool minimize, maximize;
    const char* note;
  } rows[] = {
      {tBorderStyle::bsSizeable, biSystemMenu | biMinimize | biMaximize, true, true, "everything"},
      {tBorderStyle::bsSingle, biSystemMenu | biMinimize, true, false, "no maximise button, no item"},
      {tBorderStyle::bsDialog, biSystemMenu | biMinimize | biMaximize, false, false, "a dialog: close only"},
  };
  for (const auto& r : rows) {
    tShownForm shown(r.style, r.icons);
    TWindowMenu* menu = shown.Form.WindowMenu();
    EXPECT_EQ(menu->Minimize->isVisible(), r.minimize) << r.note;
    EXPECT_EQ(menu->Maximize->isVisible(), r.maximize) << r.note;
    EXPECT_EQ(menu->Restore->isVisible(), r.maximize) << r.note;
    EXPECT_FALSE(menu->Move->isVisible()) << r.note << ": the caption moves a form";
    EXPECT_FALSE(menu->Size->isVisible()) << r.note;
    EXPECT_TRUE(menu->Close->isVisible()) << r.note;
  }

  tShownForm shown(tBorderStyle::bsSizeable, biSystemMenu | biMinimize | biMaximize);
  tSkinnedForm& form = shown.Form;
  const QRect bounds = form.geometry();
  // A right click on the caption opens the menu with the items for the form's state.
  QTest::mouseClick(&form, Qt::RightButton, {}, QPoint(form.width() / 2, 8));
  TWindowMenu* menu = form.WindowMenu();
  ASSERT_TRUE(test::WaitUntil([&] { return menu->isVisible(); }));
  EXPECT_FALSE(menu->Restore->isEnabled());
  menu->Maximize->trigger();
  menu->hide();
  ASSERT_TRUE(test::WaitUntil([&] { return form.IsMaximized(); }));
  EXPECT_EQ(form.geometry(), form.screen()->availableGeometry());
  menu->PopupAt(form.mapToGlobal(QPoint(20, 8)), form.IsMaximized());
  EXPECT_TRUE(menu->Restore->isEnabled());
  EXPECT_FALSE(menu->Maximize->isEnabled());
  menu->Restore->trigger();
  menu->hide();
  ASSERT_TRUE(test::WaitUntil([&] { return !form.IsMaximized(); }));
  EXPECT_EQ(form.geometry(), bounds);
  menu->Close->trigger();
  EXPECT_TRUE(test::WaitUntil([&] { return !form.isVisible(); }));
}

TEST(SkinnedForm, MinimiseMinimisesTheWholeApplication) {
  tShownForm main(tBorderStyle::bsSingle, biSystemMenu);
  tShownForm dialog(tBorderStyle::bsSingle, biSystemMenu | biMinimize);
  QTest::mouseClick(&dialog.Form, Qt::LeftButton, {}, dialog.Form.MinRect().center());
  EXPECT_TRUE(main.Form.isMinimized());
  EXPECT_TRUE(dialog.Form.isMinimized());
  dialog.Form.showNormal();
  main.Form.showNormal();

  // A main window takes it over by connecting; its connection ends with it, so a later one starts clean.
  int first = 0, second = 0;
  {
    QObject firstWindow;
    QObject::connect(&tApplicationSignals::Instance(), &tApplicationSignals::MinimizeRequested, &firstWindow,
                     [&] { ++first; });
    QTest::mouseClick(&dialog.Form, Qt::LeftButton, {}, dialog.Form.MinRect().center());
    EXPECT_EQ(first, 1) << "the main window took it over";
    EXPECT_FALSE(main.Form.isMinimized());
    EXPECT_FALSE(dialog.Form.isMinimized());
  }
  {
    QObject secondWindow;
    QObject::connect(&tApplicationSignals::Instance(), &tApplicationSignals::MinimizeRequested, &secondWindow,
                     [&] { ++second; });
    dialog.Form.WindowMenu()->Minimize->trigger();
    EXPECT_TRUE(test::WaitUntil([&] { return second == 1; })) << "the window menu asks the same";
    EXPECT_EQ(first, 1) << "the first window is gone and hears nothing";
  }
  tApplicationSignals::Instance().RequestMinimize();
  EXPECT_EQ(second, 1);
  EXPECT_TRUE(main.Form.isMinimized()) << "no one connected: every window minimises";
}

TEST(SkinnedForm, DesignFacesAreMetricCompatible) {
  for (const char* face : {"Tahoma", "Arial"}) {
    const QString family = QFontInfo(DesignFont(face, 8)).family();
    EXPECT_TRUE(family == face || family == "Liberation Sans")
        << face << " shows as " << family.toStdString();
  }
}

}  // namespace
}  // namespace ktv
