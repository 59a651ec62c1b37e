// The tooltip of every window of the program: a white box with a black outline and the hint in black, its
// first character upper-cased, fading in over about a quarter of a second where windows can be translucent.
// Install() makes it answer the tooltip events of the whole application.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace ktv {

class TCustomHintWindow : public QWidget {
  Q_OBJECT

 public:
  TCustomHintWindow();
  ~TCustomHintWindow() override;

  // Once, at start: from then on every widget's tool tip shows in this window. Returns the window.
  static TCustomHintWindow* Install();
  // The installed window (null before Install).
  static TCustomHintWindow* Instance();

  // Shows the text with its top-left corner at a global position (kept on the screen) for the widget whose
  // hint it is; the hint goes when the pointer leaves that widget, on a click, a key or after a while.
  void ActivateHint(const QString& text, QPoint globalPos, QWidget* owner = nullptr);
  void HideHint();
  QString HintText() const { return Text; }

  // Whether the fade is possible; without it the hint shows at once. Decided from the platform; tests set it.
  static bool FadeAvailable();
  static void SetFadeAvailable(bool available);

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FadeStep();

  QString Text;
  QPointer<QWidget> Owner;
  QTimer Fade;
  QTimer HidePause;
  QElapsedTimer ShownAt;
};

}  // namespace ktv
