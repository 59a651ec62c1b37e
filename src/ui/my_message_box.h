// The program's message box, used in place of the system's everywhere: the skinned dialog TMyMessageBox
// and MyMessageBox(Text, Caption, Flags) with the system's flag and result codes.
#pragma once

#include <QString>
#include <functional>

#include "ui/skinned_form.h"

class QLabel;

namespace ktv {

class TKestrovaButton;
class TKestrovaPanel;

// Flags: the low four bits choose the buttons, the next four the icon.
enum : int {
  MB_OK = 0x00,
  MB_OKCANCEL = 0x01,
  MB_ABORTRETRYIGNORE = 0x02,
  MB_YESNOCANCEL = 0x03,
  MB_YESNO = 0x04,
  MB_RETRYCANCEL = 0x05,
  MB_ICONSTOP = 0x10,
  MB_ICONQUESTION = 0x20,
  MB_ICONEXCLAMATION = 0x30,
  MB_ICONINFORMATION = 0x40,
};
// Results.
enum : int { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };
// How a box was closed: Escape or the close box, one of the buttons B1 to B3, or Enter.
enum : int { kClosedByEscape = 0, kButton1 = 1, kButton2 = 2, kButton3 = 3, kClosedByEnter = 4 };

class TMyMessageBox : public tSkinnedForm {
  Q_OBJECT

 public:
  explicit TMyMessageBox(QWidget* owner = nullptr);

  // Fills the box: buttons and icon from the flags, the caption and the message.
  void Setup(const QString& text, const QString& caption, int flags);
  // The button set in use (MB_OK to MB_RETRYCANCEL).
  int ButtonSet() const { return Set; }
  // How the box was closed (kClosedByEscape, kButton1 to kButton3, kClosedByEnter).
  int ButtonNumber() const { return Number; }
  // The result for the way the box was closed.
  int MessageResult() const { return ResultFor(Set, Number); }
  static int ResultFor(int buttonSet, int buttonNumber);

  QLabel* Ico;
  TKestrovaPanel* tKestrovaPanel1;
  QLabel* Msg;
  TKestrovaButton* B1;
  TKestrovaButton* B2;
  TKestrovaButton* B3;

 protected:
  bool PreviewKeyPress(QKeyEvent* event) override;

 private:
  void CloseWith(int number);

  int Set = 0;
  int Number = 0;
};

// Shows the box modally and returns IDOK ... IDNO. Centred on the owner (null: the active window).
int MyMessageBox(const QString& text, const QString& caption, int flags, QWidget* owner = nullptr);

// Where boxes must not block (the screenshot mode, tests of the windows that show them): every MyMessageBox
// call goes to the handler instead, which returns the result. An empty handler restores the box.
using tMessageBoxHandler = std::function<int(const QString& text, const QString& caption, int flags)>;
void SetMessageBoxHandler(tMessageBoxHandler handler);

}  // namespace ktv
