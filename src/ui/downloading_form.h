// The download dialog: a heading, a moving stripe and Cancel while DownloadToStream fetches a document. The
// transfer runs on this thread; the idle handler keeps every window of the program responsive meanwhile.
// The close box does nothing until the transfer is over.
#pragma once

#include <QImage>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

#include "library/download.h"
#include "ui/skinned_form.h"

class QLabel;

namespace ktv {

class TKestrovaButton;
class TKestrovaPanel;

class TfrmDownloading : public tSkinnedForm, public tDownloadView {
  Q_OBJECT

 public:
  explicit TfrmDownloading(QWidget* owner = nullptr);

  // tDownloadView
  void ShowText(const std::string& caption, const std::string& heading) override;
  void Idle() override;
  bool CancelRequested() override;
  void Finished() override;

  // 1 once the transfer is over, 0 before.
  int Tag() const { return TagValue; }
  // The stripe's offset now: it moves one pixel every 20 ms.
  int StripeOffset() const;

  // Milliseconds of the stripe's clock (tests move it by hand).
  std::function<uint32_t()> Clock;

  TKestrovaPanel* pnlHead;
  QLabel* lblHead;
  TKestrovaPanel* pnlStripe;
  QWidget* pb;
  TKestrovaButton* btnCancel;

 protected:
  bool CanClose() override { return TagValue == 1; }
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void pbPaint();

  QImage Stripe;  // the tile of the stripe (img)
  int TagValue = 0;
  // When the stripe was last asked to repaint, and whether it ever was.
  uint32_t LastRepaint = 0;
  bool Repainted = false;
};

// Fetches the URL's body into the stream while the dialog shows (heading inside, caption as its title),
// centred on the owner. The result is DownloadToStream's (library/download.h).
bool DownloadToStream(const std::string& heading, const std::string& caption, const std::string& url,
                      std::ostream& stream, QWidget* owner = nullptr);

}  // namespace ktv
