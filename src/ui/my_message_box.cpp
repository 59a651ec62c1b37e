#include "ui/my_message_box.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QStyle>
#include <utility>

#include "ui/kestrova_button.h"
#include "ui/kestrova_panel.h"
#include "ui/skin_look.h"

namespace ktv {

namespace {

constexpr int kIconSize = 32;

tMessageBoxHandler& Handler() {
  static tMessageBoxHandler handler;
  return handler;
}

// Captions of B1, B2, B3 by button set; an empty caption hides the button.
struct tButtonSet {
  const char* Captions[3];
};
constexpr tButtonSet kButtonSets[6] = {
    {{"", "", "OK"}},          {{"", "OK", "Cancel"}}, {{"Abort", "Retry", "Ignore"}},
    {{"Yes", "No", "Cancel"}}, {{"", "Yes", "No"}},    {{"", "Retry", "Cancel"}},
};

QStyle::StandardPixmap IconOf(int flags) {
  switch (flags & 0xF0) {
    case MB_ICONSTOP:
      return QStyle::SP_MessageBoxCritical;
    case MB_ICONQUESTION:
      return QStyle::SP_MessageBoxQuestion;
    case MB_ICONEXCLAMATION:
      return QStyle::SP_MessageBoxWarning;
    default:
      return QStyle::SP_MessageBoxInformation;
  }
}

}  // namespace

TMyMessageBox::TMyMessageBox(QWidget* owner) : tSkinnedForm(owner, tBorderStyle::bsDialog, biSystemMenu) {
  setWindowFlag(Qt::WindowStaysOnTopHint);
  SetClientSize(459, 177);
  SetKeyPreview(true);
  QWidget* client = Client();
  Ico = new QLabel(client);
  Ico->setGeometry(12, 9, kIconSize, kIconSize);
  tKestrovaPanel1 = new TKestrovaPanel(client);
  tKestrovaPanel1->setGeometry(56, 5, 398, 137);
  Msg = new QLabel(tKestrovaPanel1);
  Msg->setGeometry(9, 5, 380, 127);
  Msg->setAlignment(Qt::AlignCenter);
  Msg->setWordWrap(true);
  Msg->setTextFormat(Qt::PlainText);
  Msg->setFont(DesignFont("Tahoma", 8));
  B1 = new TKestrovaButton(client);
  B1->setGeometry(56, 146, 128, 25);
  B2 = new TKestrovaButton(client);
  B2->setGeometry(189, 146, 128, 25);
  B3 = new TKestrovaButton(client);
  B3->setGeometry(322, 146, 132, 25);
  int number = kButton1;
  for (TKestrovaButton* button : {B1, B2, B3}) {
    connect(button, &QAbstractButton::clicked, this, [this, number] { CloseWith(number); });
    ++number;
  }
  setTabOrder(B1, B2);
  setTabOrder(B2, B3);
}

void TMyMessageBox::Setup(const QString& text, const QString& caption, int flags) {
  // Sets beyond the table have no buttons of their own: they show as the OK box.
  Set = (flags & 15) < 6 ? flags & 15 : 0;
  Number = 0;
  TKestrovaButton* buttons[3] = {B1, B2, B3};
  for (int i = 0; i < 3; ++i) {
    const QString name = QString::fromLatin1(kButtonSets[Set].Captions[i]);
    buttons[i]->setText(name);
    buttons[i]->setVisible(!name.isEmpty());
  }
  Ico->setPixmap(style()->standardIcon(IconOf(flags), nullptr, this).pixmap(kIconSize, kIconSize));
  setWindowTitle(caption);
  Msg->setText(text);
  // The first button shown takes the focus.
  for (TKestrovaButton* button : buttons)
    if (!button->text().isEmpty()) {
      button->setFocus();
      break;
    }
}

int TMyMessageBox::ResultFor(int buttonSet, int buttonNumber) {
  const int s = buttonSet;
  switch (buttonNumber) {
    case kClosedByEscape:
      return s == MB_ABORTRETRYIGNORE ? IDABORT : s == MB_YESNO ? IDNO : IDCANCEL;
    case kButton1:
      if (s == MB_ABORTRETRYIGNORE) return IDABORT;
      if (s == MB_YESNOCANCEL) return IDYES;
      break;
    case kButton2:
      if (s == MB_ABORTRETRYIGNORE || s == MB_RETRYCANCEL) return IDRETRY;
      if (s == MB_YESNOCANCEL) return IDNO;
      if (s == MB_YESNO) return IDYES;
      return IDOK;
    case kButton3:
      if (s == MB_OK) return IDOK;
      if (s == MB_ABORTRETRYIGNORE) return IDIGNORE;
      if (s == MB_YESNO) return IDNO;
      return IDCANCEL;
    case kClosedByEnter:
      if (s == MB_ABORTRETRYIGNORE || s == MB_RETRYCANCEL) return IDRETRY;
      if (s == MB_YESNOCANCEL || s == MB_YESNO) return IDYES;
      return IDOK;
    default:
      break;
  }
  return IDCANCEL;
}

void TMyMessageBox::CloseWith(int number) {
  Number = number;
  close();
}

bool TMyMessageBox::PreviewKeyPress(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
      CloseWith(kClosedByEscape);
      return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      // Enter presses the button the user has moved to (the first shown one at the start), as Space does;
      // only with no button focused does it give the set's default answer.
      for (TKestrovaButton* button : {B1, B2, B3}) {
        if (button->hasFocus() && button->isVisibleTo(this) && !button->text().isEmpty()) {
          button->click();
          return true;
        }
      }
      CloseWith(kClosedByEnter);
      return true;
    default:
      break;
  }
  const QString typed = event->text();
  if (typed.size() != 1 || !typed[0].isLetter() ||
      (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
    return false;
  for (TKestrovaButton* button : {B1, B2, B3}) {
    if (button->isVisibleTo(this) && !button->text().isEmpty() &&
        button->text()[0].toUpper() == typed[0].toUpper()) {
      button->click();
      return true;
    }
  }
  return false;
}

int MyMessageBox(const QString& text, const QString& caption, int flags, QWidget* owner) {
  if (Handler()) return Handler()(text, caption, flags);
  TMyMessageBox box(owner ? owner : QApplication::activeWindow());
  box.Setup(text, caption, flags);
  QApplication::beep();
  box.ShowModal();
  return box.MessageResult();
}

void SetMessageBoxHandler(tMessageBoxHandler handler) {
  Handler() = std::move(handler);
}

}  // namespace ktv
