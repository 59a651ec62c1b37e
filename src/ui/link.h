// A hyperlink label: blue and underlined, red while a mouse button is held on it; a click opens its URL (or,
// without one, its caption) in the desktop's browser. Many links come from servers (a stream's station page),
// so only http and https open: any other address (file:, javascript:, a local path ...) shows as plain text
// and a click on it does nothing.
#pragma once

#include <QLabel>

namespace ktv {

class TLink : public QLabel {
  Q_OBJECT

 public:
  explicit TLink(QWidget* parent = nullptr, const QString& caption = QString(),
                 const QString& url = QString());

  QString URL() const { return Target; }
  void SetURL(const QString& url);
  // The caption under its other name.
  QString URL_Caption() const { return text(); }
  void SetURL_Caption(const QString& caption);
  void SetActiveColor(uint32_t color) { ActiveColor = color; }
  // What a click opens: the trimmed URL, else the trimmed caption ("" for nothing).
  QString OpenTarget() const;
  // Whether a click opens anything: the target names an http or https page.
  bool Opens() const;

 signals:
  // Fired before the page is opened.
  void Clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void SetFontColor(const QColor& color);
  // Underline and hand cursor for a link that opens; plain text for one that would open another scheme.
  void UpdateLook();

  QString Target;
  uint32_t ActiveColor = 0x0000FF;
  QColor SavedColor;
  bool Held = false;
};

}  // namespace ktv
