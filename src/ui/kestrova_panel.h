// A white panel with a black outline and, while it has a title, a 17-pixel black title strip across its top
// with the title in white bold. Its children get black text on white. The title strip's mouse events are
// handed out as the panel's title events.
#pragma once

#include <QWidget>

class QMouseEvent;

namespace ktv {

class TKestrovaPanel : public QWidget {
  Q_OBJECT

 public:
  explicit TKestrovaPanel(QWidget* parent = nullptr, const QString& title = QString());

  QString Title() const { return TitleText; }
  void SetTitle(const QString& title);
  // The strip's cursor.
  void SetTitleCursor(const QCursor& cursor);
  // Room kept free inside the outline (and below the title) for children laid out by ContentRect.
  void SetBorderWidth(int width);
  int BorderWidth() const { return Border; }
  // The inside of the panel: below the title strip when there is one, less the border width.
  QRect ContentRect() const;
  QWidget* TitleStrip() const { return Strip; }

  static constexpr int kTitleHeight = 17;

 signals:
  void TitleMouseDown(QMouseEvent* event);
  void TitleMouseMove(QMouseEvent* event);
  void TitleMouseUp(QMouseEvent* event);
  void TitleClick();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void PlaceStrip();

  QString TitleText;
  QWidget* Strip;
  int Border = 0;
  bool StripPressed = false;
};

}  // namespace ktv
