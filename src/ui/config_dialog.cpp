#include "ui/config_dialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>

#include "ui/kestrova_button.h"
#include "ui/kestrova_panel.h"
#include "ui/my_message_box.h"

namespace ktv {

namespace {

// Rows of check boxes inside a group: the first below the title strip, then one every kRowStep pixels.
constexpr int kFirstRow = 21, kRowStep = 19, kRowHeight = 18, kIndent = 8;

template <class tControl>
tControl* AddRow(TKestrovaPanel* group, int row, const char* caption) {
  auto* control = new tControl(QString::fromUtf8(caption), group);
  control->setGeometry(kIndent, kFirstRow + row * kRowStep, group->width() - 2 * kIndent, kRowHeight);
  return control;
}

QLabel* AddLabel(QWidget* parent, const char* caption, const QRect& place) {
  auto* label = new QLabel(QString::fromUtf8(caption), parent);
  label->setGeometry(place);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  return label;
}

QSpinBox* AddSpin(QWidget* parent, int low, int high, const QRect& place) {
  auto* spin = new QSpinBox(parent);
  spin->setRange(low, high);
  spin->setGeometry(place);
  return spin;
}

TKestrovaPanel* AddGroup(QWidget* client, const char* title, const QRect& place) {
  auto* group = new TKestrovaPanel(client, QString::fromUtf8(title));
  group->setGeometry(place);
  return group;
}

}  // namespace

TfrmConfigDialog::TfrmConfigDialog(QWidget* owner, tPlayerSettings& settings)
    : tSkinnedForm(owner, tBorderStyle::bsSingle, biSystemMenu | biMinimize), Settings(settings) {
  setWindowTitle(QStringLiteral("Kestrova.TV Settings"));
  SetClientSize(454, 280);
  QWidget* client = Client();

  TKestrovaPanel* playback = AddGroup(client, "Playback Method", QRect(4, 4, 221, 61));
  radWIN = AddRow<QRadioButton>(playback, 0, "Software (Compatible)");
  radDX = AddRow<QRadioButton>(playback, 1, "OpenGL (Hardware Accelerated)");

  TKestrovaPanel* effects = AddGroup(client, "Video Effects", QRect(4, 69, 221, 104));
  cboSkin = AddRow<QCheckBox>(effects, 0, "Skin Video/TV Area with TV Shape");
  cboHighQuality = AddRow<QCheckBox>(effects, 1, "High Quality Video Resize");
  cboNoise = AddRow<QCheckBox>(effects, 2, "Add Film/Video Noise");
  lblWeak = AddLabel(effects, "Weak", QRect(kIndent, 79, 32, 20));
  tbFilmGrain = new QSlider(Qt::Horizontal, effects);
  tbFilmGrain->setGeometry(42, 79, 134, 22);
  tbFilmGrain->setRange(0, 255);
  tbFilmGrain->setPageStep(20);
  tbFilmGrain->setTickInterval(10);
  tbFilmGrain->setTickPosition(QSlider::TicksBelow);
  lblStrong = AddLabel(effects, "Strong", QRect(180, 79, 36, 20));

  TKestrovaPanel* minimize = AddGroup(client, "Minimize Mode", QRect(229, 4, 221, 61));
  cboMinTray = AddRow<QCheckBox>(minimize, 0, "Minimize to Tray");
  cboMinVideoPlay = AddRow<QCheckBox>(minimize, 1, "Play Video in Tray Icon");

  TKestrovaPanel* vis = AddGroup(client, "Visualization (for Audio Only)", QRect(229, 69, 221, 104));
  cboVisenabled = AddRow<QCheckBox>(vis, 0, "Enabled");
  cboLowPri = AddRow<QCheckBox>(vis, 1, "Low Priority");
  lblMaxSize = AddLabel(vis, "Max Size:", QRect(kIndent, 66, 50, 22));
  spnVisX = AddSpin(vis, 100, 2000, QRect(58, 66, 54, 22));
  lblMaxSizeX = AddLabel(vis, "X", QRect(116, 66, 10, 22));
  spnVisY = AddSpin(vis, 100, 2000, QRect(128, 66, 54, 22));
  lblMaxSizePixels = AddLabel(vis, "pixels", QRect(186, 66, 32, 22));

  TKestrovaPanel* misc = AddGroup(client, "Misc Settings", QRect(4, 177, 446, 72));
  AddLabel(misc, "Buffer", QRect(kIndent, 22, 34, 22));
  spnBuffering = AddSpin(misc, 5, 60, QRect(42, 22, 44, 22));
  AddLabel(misc, "seconds before playing", QRect(90, 22, 130, 22));
  // How often a live stream that drops is called back (0: it ends at once).
  AddLabel(misc, "Retry", QRect(kIndent, 46, 34, 22));
  spnReconnect = AddSpin(misc, 0, kMaxReconnectAttempts, QRect(42, 46, 44, 22));
  AddLabel(misc, "times when a live stream drops", QRect(90, 46, 170, 22));
  cboOnTop = new QCheckBox(QStringLiteral("Keep Player On Top of Other Windows"), misc);
  cboOnTop->setGeometry(229, 24, 210, kRowHeight);

  btnOK = new TKestrovaButton(client, QStringLiteral("&OK"));
  btnOK->setGeometry(270, 253, 88, 25);
  btnOK->SetDefault(true);
  btnCancel = new TKestrovaButton(client, QStringLiteral("&Cancel"));
  btnCancel->setGeometry(362, 253, 88, 25);
  btnCancel->SetModalResult(mrCancel);
  btnCancel->SetCancel(true);
  connect(btnOK, &QAbstractButton::clicked, this, &TfrmConfigDialog::btnOKClick);

  QWidget* order[] = {radWIN,       radDX,           cboSkin,       cboHighQuality, cboNoise, tbFilmGrain,
                      cboMinTray,   cboMinVideoPlay, cboVisenabled, cboLowPri,      spnVisX,  spnVisY,
                      spnBuffering, spnReconnect,    cboOnTop,      btnOK,          btnCancel};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  Checks = {{cboSkin, &Settings.ShowTVBorder},       {cboHighQuality, &Settings.HighQualityVideo},
            {cboNoise, &Settings.FilmGrain},         {cboMinTray, &Settings.MinimizeToTray},
            {cboMinVideoPlay, &Settings.PlayInTray}, {cboVisenabled, &Settings.VisEnabled},
            {cboLowPri, &Settings.LowPriority},      {cboOnTop, &Settings.StayOnTop}};
  Numbers = {{spnVisX, &Settings.MaxRenderW},
             {spnVisY, &Settings.MaxRenderH},
             {spnBuffering, &Settings.BufferSeconds},
             {spnReconnect, &Settings.ReconnectAttempts}};

  // A stored choice of the accelerated back-end still shows checked where it cannot run.
  radDX->setEnabled(CanUseDirectX());
  radWIN->setChecked(!Settings.UseDirectX);
  radDX->setChecked(Settings.UseDirectX);
  for (auto [box, value] : Checks) box->setChecked(*value);
  for (auto [spin, value] : Numbers) spin->setValue(*value);
  tbFilmGrain->setValue(Settings.FilmGrainValue);
  for (QCheckBox* box : {cboNoise, cboMinTray, cboOnTop, cboVisenabled})
    connect(box, &QCheckBox::clicked, this, &TfrmConfigDialog::UpdateEnabling);
  UpdateEnabling();
}

void TfrmConfigDialog::UpdateEnabling() {
  for (QWidget* w :
       {static_cast<QWidget*>(tbFilmGrain), static_cast<QWidget*>(lblWeak), static_cast<QWidget*>(lblStrong)})
    w->setEnabled(cboNoise->isChecked());
  cboMinVideoPlay->setEnabled(cboMinTray->isChecked());
  for (QWidget* w : {static_cast<QWidget*>(cboLowPri), static_cast<QWidget*>(spnVisX),
                     static_cast<QWidget*>(spnVisY), static_cast<QWidget*>(lblMaxSize),
                     static_cast<QWidget*>(lblMaxSizeX), static_cast<QWidget*>(lblMaxSizePixels)})
    w->setEnabled(cboVisenabled->isChecked());
}

void TfrmConfigDialog::btnOKClick() {
  Settings.UseDirectX = radDX->isChecked();
  for (auto [box, value] : Checks) *value = box->isChecked();
  for (auto [spin, value] : Numbers) *value = spin->value();
  Settings.FilmGrainValue = tbFilmGrain->value();
  // The choices apply to this session either way; the user must hear that they will not come back.
  if (!Settings.SaveSettings()) {
    MyMessageBox(QStringLiteral("Your settings could not be saved to\n%1\n\nThey apply until the player "
                                "closes. Please check that this folder exists and that you may write to it.")
                     .arg(QString::fromStdString(Settings.Store().FileName())),
                 QStringLiteral("Settings Not Saved"), MB_OK | MB_ICONEXCLAMATION, this);
  }
  SetModalResult(mrOk);
}

}  // namespace ktv
