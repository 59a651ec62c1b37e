#include "ui/kestrova_button.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPainter>
#include <QTest>
#include <QTimer>

#include "support/qt/qt_test_support.h"
#include "ui/skinned_form.h"

namespace ktv {
namespace {

// A dialog with a text box and the two buttons every dialog has.
class tButtonDialog {
 public:
  tButtonDialog() : Form(nullptr, tBorderStyle::bsDialog, biSystemMenu) {
    Form.SetClientSize(300, 100);
    Edit = new QLineEdit(Form.Client());
    Edit->setGeometry(10, 10, 200, 22);
    OK = new TKestrovaButton(Form.Client(), "&OK");
    OK->setGeometry(100, 60, 88, 25);
    OK->SetDefault(true);
    Cancel = new TKestrovaButton(Form.Client(), "&Cancel");
    Cancel->setGeometry(200, 60, 88, 25);
    Cancel->SetCancel(true);
    QObject::connect(OK, &QAbstractButton::clicked, [this] { Clicked += "OK"; });
    QObject::connect(Cancel, &QAbstractButton::clicked, [this] { Clicked += "Cancel"; });
    Form.show();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&Form));
  }
  tSkinnedForm Form;
  QLineEdit* Edit;
  TKestrovaButton* OK;
  TKestrovaButton* Cancel;
  QString Clicked;
};

QRgb Face(TKestrovaButton* button) {
  return button->grab().toImage().pixel(3, button->height() / 2) & 0xFFFFFF;
}

TEST(KestrovaButton, FaceFollowsTheState) {
  tButtonDialog dialog;
  TKestrovaButton* b = dialog.Cancel;
  const QPoint inside(b->width() / 2, b->height() / 2);
  const QRgb normal = Face(b);
  QTest::mouseMove(b, inside);
  const QRgb hovered = Face(b);
  EXPECT_NE(hovered, normal);
  QTest::mousePress(b, Qt::LeftButton, {}, inside);
  const QRgb pressed = Face(b);
  EXPECT_NE(pressed, hovered);
  EXPECT_NE(pressed, normal);
  QTest::mouseMove(b, QPoint(-20, inside.y()));
  EXPECT_NE(Face(b), pressed) << "held but moved off: no longer pressed";
  QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(-20, inside.y()));
  EXPECT_EQ(dialog.Clicked, "") << "released elsewhere: no click";
  QTest::mouseMove(dialog.Edit, QPoint(5, 5));

  b->setFocus();
  QTest::keyPress(b, Qt::Key_Space);
  EXPECT_EQ(Face(b), pressed) << "Space held";
  QTest::keyRelease(b, Qt::Key_Space);
  EXPECT_EQ(dialog.Clicked, "Cancel") << "Space released clicks";
  const QImage focused = b->grab().toImage();
  bool dotted = false;
  for (int y = 2; y < b->height() - 2; ++y) dotted = dotted || (focused.pixel(2, y) & 0xFFFFFF) != normal;
  EXPECT_TRUE(dotted) << "a focus rectangle at (2, 2)";

  b->setEnabled(false);
  EXPECT_NE(Face(b), normal) << "a disabled button looks it";
}

TEST(KestrovaButton, EnterEscapeAndAccelerators) {
  struct Row {
    const char* Focus;  // "edit", "OK", "Cancel"
    int Key;
    Qt::KeyboardModifiers Modifiers;
    bool CancelDisabled;
    const char* Clicked;
    const char* Note;
  } rows[] = {
      {"edit", Qt::Key_Return, {}, false, "OK", "Enter goes to the default button"},
      {"edit", Qt::Key_Enter, {}, false, "OK", "so does the keypad's Enter"},
      {"edit", Qt::Key_Return, Qt::ShiftModifier, false, "", "not with Shift"},
      {"edit", Qt::Key_Return, Qt::ControlModifier, false, "", "not with Ctrl"},
      {"Cancel", Qt::Key_Return, {}, false, "Cancel", "a focused button is the active one"},
      {"OK", Qt::Key_Return, {}, false, "OK", ""},
      {"edit", Qt::Key_Escape, {}, false, "Cancel", "Escape goes to the Cancel button"},
      {"OK", Qt::Key_Escape, {}, false, "Cancel", ""},
      {"edit", Qt::Key_Escape, Qt::AltModifier, false, "", "not with Alt"},
      {"edit", Qt::Key_Escape, {}, true, "", "not to a button that cannot take the focus"},
      {"OK", Qt::Key_C, {}, false, "Cancel", "the accelerator character where the focus takes no text"},
      {"edit", Qt::Key_C, {}, false, "", "in a text box a letter is text"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Note);
    tButtonDialog dialog;
    dialog.Cancel->setEnabled(!row.CancelDisabled);
    const std::string focus = row.Focus;
    QWidget* target = focus == "edit" ? static_cast<QWidget*>(dialog.Edit)
                      : focus == "OK" ? dialog.OK
                                      : dialog.Cancel;
    target->setFocus();
    QTest::keyClick(target, static_cast<Qt::Key>(row.Key), row.Modifiers);
    EXPECT_EQ(dialog.Clicked.toStdString(), row.Clicked);
  }
}

TEST(KestrovaButton, ModalResultClosesTheModalForm) {
  tSkinnedForm form(nullptr, tBorderStyle::bsDialog, biSystemMenu);
  form.SetClientSize(200, 60);
  auto* yes = new TKestrovaButton(form.Client(), "&Yes");
  yes->setGeometry(10, 10, 80, 25);
  yes->SetModalResult(mrYes);
  int resultSeenByClick = -1;
  QObject::connect(yes, &QAbstractButton::clicked, [&] { resultSeenByClick = form.ModalResult(); });
  QTimer::singleShot(0, [&] {
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QTest::mouseClick(yes, Qt::LeftButton);
  });
  EXPECT_EQ(form.ShowModal(), mrYes);
  EXPECT_EQ(resultSeenByClick, mrYes) << "the modal result is set before the click handlers run";
  EXPECT_FALSE(form.isVisible());
}

TEST(KestrovaButton, ImageBesideTheCaption) {
  QImage strip(32, 16, QImage::Format_ARGB32);
  strip.fill(Qt::green);
  TImageList images(strip, 16);
  for (auto layout : {tButtonImagePosition::bipLeft, tButtonImagePosition::bipRight}) {
    TKestrovaButton button(nullptr, "Wide caption");
    button.resize(140, 25);
    button.SetImageList(&images);
    button.SetImageIndex(1);
    button.SetLayout(layout);
    button.SetTextAlignment(layout == tButtonImagePosition::bipLeft ? Qt::AlignLeft : Qt::AlignRight);
    const QImage picture = button.grab().toImage();
    const bool left = layout == tButtonImagePosition::bipLeft;
    const int imageX = left ? 2 : 140 - 18;
    EXPECT_EQ(picture.pixel(imageX + 8, 12) & 0xFFFFFF, 0x00FF00u) << "the image, centred vertically";
    // The first column of text next to the image: two pixels away from it (a glyph may start a pixel in).
    int textColumn = -1;
    for (int i = 0; i < 140 && textColumn < 0; ++i) {
      const int x = left ? 18 + i : 140 - 19 - i;
      for (int y = 4; y < 21; ++y)
        if (qRed(picture.pixel(x, y)) > 0x80) textColumn = x;
    }
    if (left) {
      EXPECT_GE(textColumn, 2 + 16 + 2);
      EXPECT_LE(textColumn, 2 + 16 + 3);
    } else {
      EXPECT_LE(textColumn, 140 - 18 - 3);
      EXPECT_GE(textColumn, 140 - 18 - 4);
    }
  }
}

}  // namespace
}  // namespace ktv
