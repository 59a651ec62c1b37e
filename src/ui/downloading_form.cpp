#include "ui/downloading_form.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPainter>

#include "artwork/artwork.h"
#include "platform/clock.h"
#include "ui/kestrova_button.h"
#include "ui/kestrova_panel.h"
#include "ui/skin_look.h"

namespace ktv {

namespace {

// The stripe advances one pixel per this many milliseconds.
constexpr uint32_t kStripeStepMs = 20;
// The stripe repaints at most this often (10 times a second): the transfer idles after every read, and a
// fast download must not spend its time painting.
constexpr uint32_t kRepaintMs = 100;
// The tile's designed size (used for the stand-in when the artwork is missing).
constexpr int kStripeWidth = 135, kStripeHeight = 18;

// Blue bars leaning right on white: a stand-in that repeats every tile width, like the artwork.
QImage StandInStripe() {
  QImage tile(kStripeWidth, kStripeHeight, QImage::Format_ARGB32);
  const int period = kStripeWidth / 9;  // a whole number of bars per tile
  for (int y = 0; y < kStripeHeight; ++y)
    for (int x = 0; x < kStripeWidth; ++x)
      tile.setPixel(x, y, ((x + y) % period) < period / 2 ? WinRgb(0xC63C3C) : WinRgb(0xFFFFFF));
  return tile;
}

}  // namespace

TfrmDownloading::TfrmDownloading(QWidget* owner)
    : tSkinnedForm(owner, tBorderStyle::bsSingle, biSystemMenu), Clock(timeGetTime) {
  SetClientSize(358, 84);
  QWidget* client = Client();
  pnlHead = new TKestrovaPanel(client);
  pnlHead->setGeometry(4, 4, 350, 49);
  pnlHead->SetBorderWidth(4);
  lblHead = new QLabel(pnlHead);
  lblHead->setGeometry(pnlHead->ContentRect());
  lblHead->setAlignment(Qt::AlignCenter);
  lblHead->setWordWrap(true);
  lblHead->setTextFormat(Qt::PlainText);

  pnlStripe = new TKestrovaPanel(client);
  pnlStripe->setGeometry(4, 56, 245, 25);
  pnlStripe->SetBorderWidth(4);
  auto* frame = new QFrame(pnlStripe);
  frame->setGeometry(pnlStripe->ContentRect());
  frame->setFrameStyle(QFrame::Box | QFrame::Plain);
  frame->setLineWidth(1);
  pb = new QWidget(frame);
  pb->setGeometry(1, 1, 235, 15);
  pb->installEventFilter(this);

  Stripe = LoadArtwork(QStringLiteral("DOWNLOAD_STRIPE"));
  if (Stripe.isNull()) Stripe = StandInStripe();

  btnCancel = new TKestrovaButton(client, QStringLiteral("&Cancel"));
  btnCancel->setGeometry(253, 56, 100, 25);
  btnCancel->SetCancel(true);
  // Cancel only marks the wish; the next idle call closes the socket, which ends the running step.
  connect(btnCancel, &QAbstractButton::clicked, btnCancel, [this] { btnCancel->setEnabled(false); });
}

void TfrmDownloading::ShowText(const std::string& caption, const std::string& heading) {
  setWindowTitle(QString::fromStdString(caption));
  lblHead->setText(QString::fromStdString(heading));
  show();
  activateWindow();
  QCoreApplication::processEvents();
  repaint();
}

void TfrmDownloading::Idle() {
  // Events are served on every call (the program stays responsive); the stripe moves at its own pace.
  const uint32_t now = Clock();
  if (!Repainted || now - LastRepaint >= kRepaintMs) {
    Repainted = true;
    LastRepaint = now;
    pb->update();
  }
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool TfrmDownloading::CancelRequested() {
  return !btnCancel->isEnabled();
}

void TfrmDownloading::Finished() {
  TagValue = 1;
  close();
}

int TfrmDownloading::StripeOffset() const {
  return static_cast<int>((Clock() / kStripeStepMs) % static_cast<uint32_t>(Stripe.width()));
}

void TfrmDownloading::pbPaint() {
  QPainter painter(pb);
  for (int x = -StripeOffset(); x < pb->width(); x += Stripe.width()) painter.drawImage(x, 0, Stripe);
}

bool TfrmDownloading::eventFilter(QObject* watched, QEvent* event) {
  if (watched == pb && event->type() == QEvent::Paint) {
    pbPaint();
    return true;
  }
  return tSkinnedForm::eventFilter(watched, event);
}

bool DownloadToStream(const std::string& heading, const std::string& caption, const std::string& url,
                      std::ostream& stream, QWidget* owner) {
  TfrmDownloading form(owner);
  return DownloadToStream(static_cast<tDownloadView&>(form), heading, caption, url, stream);
}

}  // namespace ktv
