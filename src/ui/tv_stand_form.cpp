#include "ui/tv_stand_form.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "artwork/artwork.h"
#include "library/player_settings.h"
#include "platform/clock.h"
#include "playback/qt/bitmap_routines.h"
#include "ui/command_events.h"
#include "ui/kestrova_image_button.h"
#include "ui/player_texts.h"
#include "ui/skin_look.h"
#include "ui/tray_icon.h"
#include "ui/window_drag.h"
#include "ui/window_menu.h"

namespace ktv {

namespace {

constexpr QRgb kStandKey = 0xFF0000FF;  // pure blue: outside the stand's neck
constexpr QRgb kDotKey = 0xFF00FF00;    // lime: around a scale dot
constexpr int kKnobTop = 46;
constexpr int kKnobRadius = 27;  // the disc that takes knob presses
// Where the pointer is held while the knob turns, relative to the knob's left edge less 16 and y 33.
constexpr int kConfineWidth = 82, kConfineHeight = 78;
constexpr QRgb kPointerColour = 0xFF40331E;  // 0x1E3340 as the design writes colours
constexpr QRgb kClockColour = 0xFFC0C0C0;
constexpr int kShadeAlpha = 0x5A;  // the glass panel darkens the body this much
constexpr int kTrayIconSize = 48;
// The information line pauses this long on new text, and one second less at each end.
constexpr uint32_t kMarqueePauseMs = 2000;
constexpr uint32_t kMarqueeEndPauseMs = 1000;
constexpr int kFadeTimerMs = 40, kClockTimerMs = 40;
// Where the clock's digits and their shadows fall (with room to spare for the font's overhang).
constexpr QRect kClockArea{8, 58, 98, 32};
// The pointer reaches 22 pixels from the knob's centre; one more for its antialiased edge.
constexpr int kPointerReach = 24;
// The tray icon's callback parameters of a left click and a left double click.
constexpr intptr_t kLeftButtonUp = 0x0202;
constexpr intptr_t kLeftDoubleClick = 0x0203;
// At most four pictures a second go to the tray icon: a tray hosted over the session bus gets each one as a
// whole picture in a message, which at the video's frame rate floods the bus and the desktop's shell.
constexpr uint32_t kTrayFrameIntervalMs = 250;

// Fonts are designed at 96 dots per inch: the picture is in logical pixels whatever the screen says.
QFont PixelFont(const char* face, int points, bool bold) {
  QFont font = DesignFont(face, points, bold);
  font.setPixelSize(points * 96 / 72);
  return font;
}

// A picture at the composed picture's scale; the designed size when the resource is missing, so that the
// layout holds (a missing picture is then drawn as nothing).
QImage LoadPicture(const char* name, QSize designed, int scale, QRgb key = 0) {
  QImage image;
  if (scale > 1) image = QImage(ArtworkPath(QString::fromLatin1(name) + QStringLiteral("@2x")));
  if (image.isNull()) {
    image = LoadArtwork(QString::fromLatin1(name));
    scale = 1;
  }
  if (image.isNull()) {
    image = QImage(designed, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
  }
  image = image.convertToFormat(QImage::Format_ARGB32);
  if (key) {
    for (int y = 0; y < image.height(); ++y) {
      auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
      for (int x = 0; x < image.width(); ++x)
        if ((row[x] & 0xFFFFFF) == (key & 0xFFFFFF)) row[x] = 0;
    }
  }
  image.setDevicePixelRatio(scale);
  return image;
}

QSize LogicalSize(const QImage& image) {
  return (QSizeF(image.size()) / image.devicePixelRatio()).toSize();
}

// Rounds to the nearest integer, halves to even.
int Nearest(double value) {
  return static_cast<int>(std::nearbyint(value));
}

// The button pictures cut from the gadget sheet, side by side in the order of the image lists.
QImage CutCells(const QImage& sheet, const std::vector<QRect>& cells) {
  if (sheet.isNull() || cells.empty()) return {};
  QImage strip(cells[0].width() * static_cast<int>(cells.size()), cells[0].height(), QImage::Format_ARGB32);
  strip.fill(Qt::transparent);
  QPainter painter(&strip);
  for (size_t i = 0; i < cells.size(); ++i)
    painter.drawImage(QPoint(cells[0].width() * static_cast<int>(i), 0), sheet, cells[i]);
  return strip;
}

}  // namespace

TfrmTVStandBase::TfrmTVStandBase(QWidget* owner, tPlayerSettings& settings, std::unique_ptr<tTrayIcon> tray)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint),
      OwnerWindow(owner),
      Settings(settings),
      Now(timeGetTime),
      TrayIconPtr(tray ? std::move(tray) : MakeSystemTrayIcon()) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setMouseTracking(true);
  setFont(DesignFont("Tahoma", 8));
  if (WindowOpacityAvailable()) setWindowOpacity(0);

  TrayPicture = QImage(kTrayIconSize, kTrayIconSize, QImage::Format_RGB32);
  FrameBitmap = QImage(1, 1, QImage::Format_RGB32);
  connect(qApp, &QGuiApplication::applicationStateChanged, this,
          [this](Qt::ApplicationState state) { ApplicationActivation(state == Qt::ApplicationActive); });
  // Made while the program is already active: no change of state will come to start the fade.
  if (QGuiApplication::applicationState() == Qt::ApplicationActive) ApplicationActivation(true);

  // Dense screens get the pictures drawn at twice the size; the layout stays in logical pixels.
  Scale = (owner ? owner->devicePixelRatioF() : qApp->devicePixelRatio()) > 1.5 ? 2 : 1;
  CreateButtons();
  StandBitmap = LoadPicture("TV_STAND", {84, 17}, Scale, kStandKey);
  LeftBitmap = LoadPicture("TV_LEFT", {7, 100}, Scale);
  MiddleBitmap = LoadPicture("TV_MIDDLE", {25, 100}, Scale);
  RightBitmap = LoadPicture("TV_RIGHT", {7, 100}, Scale);
  KnobBitmap = LoadPicture("TV_KNOB", {kKnobSize, kKnobSize}, Scale);
  DotBitmap = LoadPicture("TV_DOT", {4, 4}, Scale, kDotKey);
  SeparatorBitmap = LoadPicture("TV_SEPERATOR", {8, 81}, Scale);
  StripBitmap = LoadPicture("TV_HSTRIP", {37, 6}, Scale);
  // The shape comes from the designed picture, whatever the screen.
  const QImage stand = LoadArtwork(QStringLiteral("TV_STAND"));
  if (!stand.isNull()) StandRegion = RegionFromBitmap(stand, stand.rect(), kStandKey);

  const QSize standSize = LogicalSize(StandBitmap);
  setFixedSize(kClientWidth, standSize.height() - 1 + LogicalSize(LeftBitmap).height());
  SystemMenu = new TWindowMenu(this, owner);
  setWindowTitle(QString::fromLatin1(kPlayerTitle));

  connect(TrayIconPtr.get(), &tTrayIcon::DoubleClicked, this,
          [this] { PostCommand(this, CM_TRAY_CALLBACK, 0, kLeftDoubleClick); });
  connect(TrayIconPtr.get(), &tTrayIcon::Clicked, this,
          [this] { PostCommand(this, CM_TRAY_CALLBACK, 0, kLeftButtonUp); });
  CreateTrayMenu();
  FadeIn.setInterval(kFadeTimerMs);
  connect(&FadeIn, &QTimer::timeout, this, &TfrmTVStandBase::FadeInTimer);
  FadeIn.start();
  ClockUpdate.setInterval(kClockTimerMs);
  connect(&ClockUpdate, &QTimer::timeout, this, &TfrmTVStandBase::ClockUpdateTimer);
  ClockUpdate.start();
  ShapeWindow();
}

TfrmTVStandBase::~TfrmTVStandBase() {
  if (Tray) TrayIconPtr->Delete();
}

void TfrmTVStandBase::CreateButtons() {
  const QImage sheet = LoadArtwork(QStringLiteral("TV_GADGETS"));
  std::vector<QRect> small, wide;
  for (int r = 0; r < 6; ++r)
    for (int c = 0; c < 3; ++c) small.emplace_back(14 * c, 14 * r, 14, 14);
  for (int i = 0; i < 21; ++i) wide.emplace_back(0, 84 + 14 * i, 50, 14);
  IL = TImageList(CutCells(sheet, small), 14);
  MiscButton = TImageList(CutCells(sheet, wide), 50);

  auto post = [this](uint32_t msg, intptr_t w = 0, intptr_t l = 0) {
    return [this, msg, w, l] { PostCommand(OwnerWindow, msg, w, l); };
  };
  imIcon = AddButton(IL, 0, {2, 18, 14, 14}, "Application Menu", [this] { imIconClick(); });
  // The console is what minimises the program (into the tray where it may).
  btnMinimize = AddButton(IL, 6, {319, 18, 14, 14}, "Minimize", [this] { ApplicationMinimize(); });
  btnMax = AddButton(IL, 9, {335, 18, 14, 14}, "Maximize/Full Screen",
                     [this] { SendCommand(OwnerWindow, CM_FULL_SCREEN); });
  btnClose = AddButton(IL, 3, {351, 18, 14, 14}, "Close Player", [this] {
    if (QWidget* owner = OwnerWindow.data())
      QMetaObject::invokeMethod(
          owner, [owner] { owner->close(); }, Qt::QueuedConnection);
  });
  btnPlay = AddButton(IL, 12, {134, 64, 14, 14}, "Restart/Reconnect to Stream", post(CM_PLAY_STOP, 1, 1));
  btnStop = AddButton(IL, 15, {150, 64, 14, 14}, "Close Stream", post(CM_PLAY_STOP, 0, 0));
  btnStreamInfo = AddButton(MiscButton, 9, {166, 64, 50, 14}, "About Current Stream", post(CM_STREAM_INFO));
  btnPlaylist = AddButton(MiscButton, 18, {218, 64, 50, 14}, "View Current Playlist", post(CM_PLAYLIST));
  btnOpen = AddButton(MiscButton, 6, {10, 92, 50, 14}, "Open A Stream from a URL", post(CM_OPEN_URL));
  btnDirectory =
      AddButton(MiscButton, 0, {62, 92, 50, 14}, "Display the Channel Directory", post(CM_DIRECTORY));
  btnSettings = AddButton(MiscButton, 3, {114, 92, 50, 14}, "Display Player Settings", post(CM_SETTINGS));
  btnRate = AddButton(MiscButton, 12, {166, 92, 50, 14}, "Rate this Kestrova Show", post(CM_RATE));
  btnSchedule =
      AddButton(MiscButton, 15, {218, 92, 50, 14}, "View Kestrova Programme Schedule", post(CM_SCHEDULE));
}

TKestrovaImageButton* TfrmTVStandBase::AddButton(const TImageList& list, int image, QRect place,
                                                 const char* hint, std::function<void()> click) {
  auto* button = new TKestrovaImageButton(this);
  button->SetImageList(&list);
  button->SetImageIndex(image);
  button->SetNumGlyphs(3);
  button->setGeometry(place);
  button->setToolTip(QString::fromLatin1(hint));
  connect(button, &QAbstractButton::clicked, this, std::move(click));
  return button;
}

void TfrmTVStandBase::SetClock(std::function<uint32_t()> now) {
  Now = std::move(now);
}

QPoint TfrmTVStandBase::KnobCentre() const {
  const int knobX = width() - (kKnobSize + 20);
  return {knobX + kKnobSize / 2, kKnobTop + kKnobSize / 2};
}

bool TfrmTVStandBase::InCaptionBand(int y) const {
  return y >= imIcon->geometry().top() - 2 && y <= imIcon->geometry().top() + imIcon->height() + 2;
}

bool TfrmTVStandBase::OnKnob(QPoint p) const {
  const QPoint d = p - KnobCentre();
  return d.x() * d.x() + d.y() * d.y() <= kKnobRadius * kKnobRadius;
}

bool TfrmTVStandBase::OwnerIsMaximized() const {
  return OwnerMaximized && OwnerMaximized();
}

// --- Shape and picture ---------------------------------------------------------------------------------

void TfrmTVStandBase::ShapeWindow() {
  const QSize stand = LogicalSize(StandBitmap);
  StandX = width() / 2 - stand.width() / 2;
  setMask(QRegion(0, stand.height() - 1, width(), height() - (stand.height() - 1)) +
          StandRegion.translated(StandX, 0));
  // Shown again at the same size (after a fade or the tray), the picture still fits.
  if (Body.isNull() || Body.size() != size() * Scale) Compose();
}

void TfrmTVStandBase::Compose() {
  ComposeBody();
  Composed = QImage(Body.size(), Body.format());
  Composed.setDevicePixelRatio(Scale);
  Redraw(rect());
}

void TfrmTVStandBase::ComposeBody() {
  ++BodyComposes;
  const int w = width();
  const QSize stand = LogicalSize(StandBitmap);
  const int bodyTop = stand.height() - 1;
  QImage image(size() * Scale, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(Scale);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::SmoothPixmapTransform);

  p.drawImage(QPoint(StandX, 0), StandBitmap);
  p.drawImage(QPoint(0, bodyTop), LeftBitmap);
  const int middleWidth = std::max(1, LogicalSize(MiddleBitmap).width());
  for (int x = LogicalSize(LeftBitmap).width(); x < w; x += middleWidth)
    p.drawImage(QPoint(x, bodyTop), MiddleBitmap);
  p.drawImage(QPoint(w - LogicalSize(RightBitmap).width(), bodyTop), RightBitmap);

  const int knobX = w - (kKnobSize + 20);
  p.drawImage(QPoint(knobX, kKnobTop), KnobBitmap);
  const QPoint centre = KnobCentre();
  p.drawImage(QPoint(knobX - 23, 35), SeparatorBitmap);
  p.fillRect(QRect(7, 35, knobX - 29, 74), QColor(0, 0, 0, kShadeAlpha));
  p.drawImage(QRect(5, 83, knobX - 21 - 5, LogicalSize(StripBitmap).height()), StripBitmap);

  // The scale: seven dots from the lower left (135 degrees) over the top to the lower right.
  const QSize dot = LogicalSize(DotBitmap);
  for (int i = 3; i <= 9; ++i) {
    const double a = 45.0 * i * M_PI / 180;
    const QPoint at(centre.x() + Nearest(std::cos(a) * (kKnobSize / 2.0 + 6)),
                    centre.y() + Nearest(std::sin(a) * (kKnobSize / 2.0 + 6)));
    p.drawImage(at - QPoint(dot.width() / 2, dot.height() / 2), DotBitmap);
  }

  p.setPen(Qt::black);
  p.setFont(PixelFont("Tahoma", 9, false));
  const QRect icon = imIcon->geometry();
  const int captionLeft = icon.x() + icon.width() + 2, captionRight = btnMinimize->x() - 2;
  const QRect caption(captionLeft, icon.y() - 1, captionRight - captionLeft, icon.height());
  p.drawText(caption, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
             p.fontMetrics().elidedText(windowTitle(), Qt::ElideRight, caption.width()));
  p.end();
  Body = image;
}

QRect TfrmTVStandBase::KnobArea() const {
  const QPoint reach(kPointerReach, kPointerReach);
  return {KnobCentre() - reach, KnobCentre() + reach};
}

void TfrmTVStandBase::Redraw(const QRect& area) {
  if (Composed.isNull() || area.isEmpty()) return;
  QPainter p(&Composed);
  p.setClipRect(area);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  p.drawImage(area, Body, QRect(area.topLeft() * Scale, area.size() * Scale));
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  // The parts outside the area are skipped: the clip would drop all they draw.
  if (area.intersects(KnobArea())) DrawPointer(p, KnobCentre());
  if (area.intersects(kClockArea)) DrawClock(p);
  if (area.intersects(kMarqueeRect)) DrawMarquee(p);
  p.end();
  update(area);
}

void TfrmTVStandBase::DrawPointer(QPainter& p, QPoint centre) const {
  const double theta = ((Knob * 270) >> 16) + 45;
  const double s = std::sin(theta * M_PI / 180), c = std::cos(theta * M_PI / 180);
  QPolygon pointer;
  for (const QPoint q : {QPoint(-10, -4), QPoint(15, -4), QPoint(22, 0), QPoint(15, 4), QPoint(-10, 4)})
    pointer << QPoint(Nearest(q.y() * c - q.x() * s) + centre.x(),
                      Nearest(q.y() * s + q.x() * c) + centre.y());
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(kPointerColour));
  p.drawPolygon(pointer);
  p.restore();
}

void TfrmTVStandBase::SetPlayTime(double seconds) {
  // Whole seconds, as the clock shows them; hours modulo 100 (two digits). A time no stream can reach
  // (beyond 64 bits, not a number) is not known: 0.
  constexpr double kLongest = 9e18;
  const int64_t t =
      std::isfinite(seconds) && seconds > 0 && seconds < kLongest ? static_cast<int64_t>(seconds) : 0;
  const QString text = QString::asprintf("%02d:%02d:%02d", static_cast<int>((t / 3600) % 100),
                                         static_cast<int>((t / 60) % 60), static_cast<int>(t % 60));
  if (text == Clock) return;
  Clock = text;
  Redraw(kClockArea);
}

void TfrmTVStandBase::DrawClock(QPainter& p) {
  p.save();
  p.setFont(PixelFont("Tahoma", 12, true));
  for (int k = 0; k < Clock.size(); ++k) {
    const bool colon = Clock[k] == QLatin1Char(':');
    const int x = 10 + 10 * k + (colon ? 2 : 0), dy = colon ? -1 : 0;
    const QString ch(Clock[k]);
    p.setPen(Qt::black);
    p.drawText(QRect(x + 1, 62 + dy, 20, 24), Qt::AlignLeft | Qt::AlignTop, ch);
    p.setPen(QColor(kClockColour));
    p.drawText(QRect(x, 61 + dy, 20, 24), Qt::AlignLeft | Qt::AlignTop, ch);
  }
  p.restore();
}

void TfrmTVStandBase::DrawMarquee(QPainter& p) {
  p.setFont(PixelFont("Arial", 15, true));
  const int textWidth = p.fontMetrics().horizontalAdvance(Marquee);
  // A text that fits gets -3: it does not scroll.
  MarqueeMinimum = std::min(kMarqueeRect.width() - (textWidth + 6), -3);
  const int x = kMarqueeRect.x() + static_cast<int>(std::trunc(MarqueePosition));
  p.save();
  p.setClipRect(kMarqueeRect, Qt::IntersectClip);
  const QRect cell(x, kMarqueeRect.y(), textWidth + 8, kMarqueeRect.height() + 8);
  p.setPen(Qt::black);
  p.drawText(cell.translated(1, 1), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, Marquee);
  p.setPen(QColor(kClockColour));
  p.drawText(cell, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, Marquee);
  p.restore();
}

void TfrmTVStandBase::StepMarquee() {
  const uint32_t now = Now();
  if (MarqueeMinimum >= -3 || now - MarqueeTurnTime < kMarqueePauseMs) return;
  const double position = std::fabs(MarqueePosition), end = std::abs(MarqueeMinimum);
  // Slow near either end, fast in the middle.
  double speed = position < std::abs(MarqueeMinimum / 2) ? position / 20 : (end - position) / 20;
  speed = std::clamp(speed, 0.5, 2.0);
  if (MarqueeDir < 0) {
    MarqueePosition -= speed;
    if (MarqueePosition <= MarqueeMinimum) {
      MarqueePosition = MarqueeMinimum;
      MarqueeDir = 1;
      MarqueeTurnTime = now - (kMarqueePauseMs - kMarqueeEndPauseMs);
    }
  } else {
    MarqueePosition += speed;
    if (MarqueePosition >= 3.0) {
      MarqueePosition = 3.0;
      MarqueeDir = -1;
      MarqueeTurnTime = now - (kMarqueePauseMs - kMarqueeEndPauseMs);
    }
  }
}

void TfrmTVStandBase::SetNotification(const QString& text) {
  Marquee = text;
  MarqueePosition = 3.0;
  MarqueeDir = -1;
  MarqueeTurnTime = Now();
  Redraw(kMarqueeRect);
}

void TfrmTVStandBase::ClockUpdateTimer() {
  ClockUpdate.stop();
  // The line moves by whole pixels: a step within the same pixel changes nothing on the screen.
  const int drawnAt = static_cast<int>(std::trunc(MarqueePosition));
  StepMarquee();
  if (static_cast<int>(std::trunc(MarqueePosition)) != drawnAt) Redraw(kMarqueeRect);
  ClockUpdate.start();
}

// --- Knob ----------------------------------------------------------------------------------------------

void TfrmTVStandBase::SetKnobValue(int value) {
  Knob = static_cast<uint16_t>(std::clamp(value, 0, 65535));
  PostCommand(OwnerWindow, CM_VOLUME, Knob);
  PostCommand(this, CM_VOLUME, Knob);
}

void TfrmTVStandBase::TurnKnob(QPoint p) {
  const QPoint centre = KnobCentre();
  const int dx = p.x() - centre.x();
  if (dx == 0) return;  // straight above or below the centre: no angle to take
  int a = Nearest(std::atan2(p.y() - centre.y(), dx) * 180 / M_PI) - 135;
  while (a < 0) a += 360;
  // Below the knob: the lower left half of the dead zone is the minimum, the lower right the maximum.
  if (a > 315)
    a = 0;
  else if (a > 268)
    a = 270;
  SetKnobValue(a * 65535 / 270);
}

void TfrmTVStandBase::MouseWheelUp() {
  SetKnobValue(Knob + kWheelStep);
}
void TfrmTVStandBase::MouseWheelDown() {
  SetKnobValue(Knob - kWheelStep);
}

void TfrmTVStandBase::ConfineCursor(QPoint global) {
  const QRect area(mapToGlobal(QPoint(width() - (kKnobSize + 36), 33)), QSize(kConfineWidth, kConfineHeight));
  const QPoint held(std::clamp(global.x(), area.left(), area.right()),
                    std::clamp(global.y(), area.top(), area.bottom()));
  if (held != global) QCursor::setPos(held);
}

// --- Events --------------------------------------------------------------------------------------------

bool TfrmTVStandBase::event(QEvent* event) {
  if (tCommandEvent* command = AsCommand(event)) {
    switch (command->Msg) {
      case CM_VOLUME:
        Knob = static_cast<uint16_t>(command->WParam & 0xFFFF);
        Redraw(KnobArea());
        return true;
      case CM_NOTIFY:
        SetNotification(command->Text);
        return true;
      case CM_TRAY_CALLBACK:
        // Only from the tray: the double click an embedded tray reports after its click finds the program
        // restored already, and must not do it again.
        if ((command->LParam == kLeftButtonUp || command->LParam == kLeftDoubleClick) && Tray)
          RestoreApplication();
        return true;
      default:
        break;
    }
  }
  return QWidget::event(event);
}

void TfrmTVStandBase::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  for (const QRect& r : event->region())
    painter.drawImage(r, Composed, QRect(r.topLeft() * Scale, r.size() * Scale));
}

void TfrmTVStandBase::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  ShapeWindow();
}

void TfrmTVStandBase::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  ShapeWindow();
}

void TfrmTVStandBase::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // Activated: the main window puts the console back under itself.
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) SendCommand(OwnerWindow, CM_PLACE_STAND);
  if (event->type() == QEvent::WindowTitleChange && imIcon) {  // once the pictures exist
    Compose();
  }
}

void TfrmTVStandBase::closeEvent(QCloseEvent* event) {
  if (!Closing) {
    Closing = true;
    if (OwnerWindow) OwnerWindow->close();
  }
  if (Tray) {
    TrayIconPtr->Delete();
    Tray = false;
  }
  QWidget::closeEvent(event);
}

void TfrmTVStandBase::keyPressEvent(QKeyEvent* event) {
  if (OnKeyPress)
    OnKeyPress(event);
  else
    QWidget::keyPressEvent(event);
}

void TfrmTVStandBase::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint p = event->position().toPoint();
  if (InCaptionBand(p.y())) {
    // Where the press was, for the move to follow the pointer from there.
    SendCommand(OwnerWindow, CM_MOVE_WINDOW, 0, PackPoint(event->globalPosition().toPoint()));
  } else if (OnKnob(p)) {
    Dragging = true;
    mouseMoveEvent(event);
  }
}

void TfrmTVStandBase::mouseMoveEvent(QMouseEvent* event) {
  QPoint p = event->position().toPoint();
  if (Dragging) {
    const QPoint global = event->globalPosition().toPoint();
    ConfineCursor(global);
    const QRect area(QPoint(width() - (kKnobSize + 36), 33), QSize(kConfineWidth, kConfineHeight));
    p = QPoint(std::clamp(p.x(), area.left(), area.right()), std::clamp(p.y(), area.top(), area.bottom()));
    TurnKnob(p);
    return;
  }
  setCursor(OnKnob(p) ? Qt::PointingHandCursor : Qt::ArrowCursor);
  // The hint of the information line is its whole text; elsewhere the console has none.
  setToolTip(kMarqueeRect.contains(p) ? Marquee : QString());
}

void TfrmTVStandBase::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && Dragging) {
    Dragging = false;
    // Queued behind the volume just posted, so the saved volume is the one the knob shows.
    QMetaObject::invokeMethod(
        this, [this] { Settings.SaveSettings(); }, Qt::QueuedConnection);
  } else if (event->button() == Qt::RightButton) {
    if (InCaptionBand(event->position().toPoint().y()))
      SystemMenu->PopupAt(event->globalPosition().toPoint(), OwnerIsMaximized());
    else
      SendCommand(OwnerWindow, CM_POPUP);
  }
}

void TfrmTVStandBase::wheelEvent(QWheelEvent* event) {
  Wheel(event->angleDelta().y());
  event->accept();
}

void TfrmTVStandBase::Wheel(int delta) {
  // Touchpads and fine wheels send parts of a notch (120 eighths of a degree): they add up, and a turn the
  // other way starts afresh.
  if (delta == 0) return;
  if ((delta > 0) != (WheelRest > 0)) WheelRest = 0;
  WheelRest += delta;
  const int notches = WheelRest / 120;
  WheelRest -= notches * 120;
  for (int i = 0; i < std::abs(notches); ++i) notches > 0 ? MouseWheelUp() : MouseWheelDown();
}

void TfrmTVStandBase::imIconClick() {
  SystemMenu->PopupAt(mapToGlobal(QPoint(imIcon->x(), imIcon->y() + imIcon->height())), OwnerIsMaximized());
}

// --- Fades ---------------------------------------------------------------------------------------------

void TfrmTVStandBase::ApplicationActivation(bool active) {
  FadeDir = active ? 1 : -1;
  FadeStart = Now();
}

void TfrmTVStandBase::FadeInTimer() {
  if (FadeSuppressed() || FadeDir == 0) return;
  const uint32_t d = std::min<uint32_t>(Now() - FadeStart, 255);
  if (FadeDir > 0) {
    if (d > 0 && !isVisible() && !Tray && (!MayShow || MayShow())) show();
    if (WindowOpacityAvailable()) setWindowOpacity(d / 255.0);
  } else if (WindowOpacityAvailable()) {
    setWindowOpacity((255 - d) / 255.0);
  }
  if (d < 255) return;
  if (FadeDir < 0) hide();
  FadeDir = 0;
}

// --- Tray ----------------------------------------------------------------------------------------------

void TfrmTVStandBase::CreateTrayMenu() {
  TrayMenu = new QMenu(this);
  TrayRestore = TrayMenu->addAction(QString(), this, [this] {
    if (Tray)
      RestoreApplication();
    else
      ApplicationMinimize();
  });
  TrayMenu->addSeparator();
  // The console's own commands: play the current address again, close the stream, close the player.
  TrayMenu->addAction(QStringLiteral("Play"), this, [this] { PostCommand(OwnerWindow, CM_PLAY_STOP, 1, 1); });
  TrayMenu->addAction(QStringLiteral("Stop"), this, [this] { PostCommand(OwnerWindow, CM_PLAY_STOP, 0, 0); });
  TrayMenu->addSeparator();
  TrayMenu->addAction(QStringLiteral("Quit"), this, [this] { btnClose->click(); });
  UpdateTrayMenu();
  TrayIconPtr->SetMenu(TrayMenu);
}

void TfrmTVStandBase::UpdateTrayMenu() {
  TrayRestore->setText(Tray ? QStringLiteral("Restore") : QStringLiteral("Hide"));
}

void TfrmTVStandBase::ApplicationMinimize() {
  const QString tip = QString::fromLatin1(kPlayerTitle) + QStringLiteral(" [Double Click to Restore]");
  if (!Settings.MinimizeToTray || !TrayIconPtr->Add(ApplicationIcon(), tip)) {
    // No tray: a normal minimised program.
    if (OwnerWindow) OwnerWindow->showMinimized();
    return;
  }
  Tray = true;
  TrayShowsVideo = false;
  UpdateTrayMenu();
  hide();
  if (OwnerWindow) OwnerWindow->hide();
  SendCommand(OwnerWindow, CM_TRAY_VIDEO, 1, 1);
}

void TfrmTVStandBase::ApplicationRestore() {
  if (!Tray) return;
  SendCommand(OwnerWindow, CM_TRAY_VIDEO, 0, 0);
  TrayIconPtr->Delete();
  FrameBitmap = QImage(1, 1, QImage::Format_RGB32);
  Tray = false;
  UpdateTrayMenu();
}

void TfrmTVStandBase::RestoreApplication() {
  const bool wasInTray = Tray;
  ApplicationRestore();
  if (OwnerWindow) {
    OwnerWindow->setWindowState(OwnerWindow->windowState() & ~Qt::WindowMinimized);
    OwnerWindow->show();
    OwnerWindow->raise();
    OwnerWindow->activateWindow();
  }
  if (wasInTray && (!MayShow || MayShow())) show();
}

void TfrmTVStandBase::ShowTrayVideoFrame(const yuv_buffer* frame, const bool*) {
  if (!frame || !Tray || !(VideoAspect > 0)) return;
  if (!Settings.PlayInTray) {
    if (TrayShowsVideo) TrayIconPtr->Modify(ApplicationIcon());
    TrayShowsVideo = false;
    return;
  }
  if (frame->y_width <= 0 || frame->y_height <= 0) return;
  // The first picture at once, then a few a second; the frames between are not even converted.
  const uint32_t now = Now();
  if (TrayShowsVideo && now - TrayFrameTick < kTrayFrameIntervalMs) return;
  TrayFrameTick = now;
  if (FrameBitmap.width() != frame->y_width || FrameBitmap.height() != frame->y_height)
    FrameBitmap = QImage(frame->y_width, frame->y_height, QImage::Format_RGB32);
  ConvertFrame(*frame, RGB32, FrameBitmap.bits(), static_cast<int32_t>(FrameBitmap.bytesPerLine()));
  TrayPicture.fill(Qt::black);
  int h = kTrayIconSize, w = Nearest(kTrayIconSize / VideoAspect);
  if (w > kTrayIconSize) {
    w = kTrayIconSize;
    h = Nearest(kTrayIconSize * VideoAspect);
  }
  QPainter painter(&TrayPicture);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(QRect((kTrayIconSize - w) / 2, (kTrayIconSize - h) / 2, w, h), FrameBitmap);
  painter.end();
  TrayIconPtr->Modify(QIcon(QPixmap::fromImage(TrayPicture)));
  TrayShowsVideo = true;
}

}  // namespace ktv
