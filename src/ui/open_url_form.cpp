#include "ui/open_url_form.h"

#include <QComboBox>
#include <QCompleter>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>

#include "ui/kestrova_button.h"
#include "ui/kestrova_panel.h"
#include "ui/open_ogg_dialog.h"
#include "ui/skin_look.h"

namespace ktv {

namespace {
// Rows the list shows before it scrolls.
constexpr int kListRows = 25;

// An entry with nothing to open: empty, only blanks, or only the "http://" the box starts with. Taking one
// would stop the playing stream for nothing and put a useless line at the top of the list.
bool IsBlankAddress(const QString& typed) {
  const QString address = typed.trimmed();
  const qsizetype scheme = address.indexOf(QLatin1String("://"));
  return address.isEmpty() || (scheme > 0 && address.mid(scheme + 3).trimmed().isEmpty());
}
}  // namespace

TfrmOpenURL::TfrmOpenURL(QWidget* owner, tPlayerSettings& settings)
    : tSkinnedForm(owner, tBorderStyle::bsSingle, biSystemMenu | biMinimize), Settings(settings) {
  setWindowTitle(QStringLiteral("Open New Stream"));
  SetClientSize(470, 107);
  QWidget* client = Client();

  pnlURL = new TKestrovaPanel(client, QStringLiteral("Type in the URL of the Ogg stream you wish to play:"));
  pnlURL->setGeometry(4, 4, 462, 70);
  VisIcon = new QLabel(pnlURL);
  VisIcon->setGeometry(8, 27, 32, 32);
  VisIcon->setPixmap(ApplicationIcon().pixmap(32, 32));
  auto* caption = new QLabel(QStringLiteral("URL:"), pnlURL);
  caption->setGeometry(48, 32, 26, 22);
  cboURL = new QComboBox(pnlURL);
  cboURL->setGeometry(76, 32, 354, 22);
  cboURL->setEditable(true);
  cboURL->setInsertPolicy(QComboBox::NoInsert);
  cboURL->setMaxVisibleItems(kListRows);
  for (const std::string& url : Settings.MRU) cboURL->addItem(QString::fromStdString(url));
  cboURL->setEditText(QStringLiteral("http://"));
  // The list opens while typing, showing the entries that match.
  cboURL->completer()->setCompletionMode(QCompleter::PopupCompletion);
  cboURL->completer()->setMaxVisibleItems(kListRows);
  // Case-sensitive, or the box would swap a typed address for a list entry that matches it in other letters
  // when editing finishes; the list takes the address as typed.
  cboURL->completer()->setCaseSensitivity(Qt::CaseSensitive);
  btnBrowse = new TKestrovaButton(pnlURL, QStringLiteral("..."));
  btnBrowse->setGeometry(434, 33, 19, 19);

  btnDirectory = new TKestrovaButton(client, QStringLiteral("Channel &Directory..."));
  btnDirectory->setGeometry(4, 78, 130, 25);
  btnOK = new TKestrovaButton(client, QStringLiteral("&OK"));
  btnOK->setGeometry(286, 78, 88, 25);
  btnOK->SetDefault(true);
  btnCancel = new TKestrovaButton(client, QStringLiteral("&Cancel"));
  btnCancel->setGeometry(378, 78, 88, 25);
  btnCancel->SetModalResult(mrCancel);
  btnCancel->SetCancel(true);
  setTabOrder(cboURL, btnBrowse);
  setTabOrder(btnBrowse, btnDirectory);
  setTabOrder(btnDirectory, btnOK);
  setTabOrder(btnOK, btnCancel);
  cboURL->setFocus();

  OpenOgg = MakeOpenOggDialog(this);
  connect(OpenOgg, &QFileDialog::fileSelected, this, [this](const QString& file) {
    cboURL->setEditText(QStringLiteral("file://") + QFileInfo(file).absoluteFilePath());
  });
  connect(btnBrowse, &QAbstractButton::clicked, this, &TfrmOpenURL::btnBrowseClick);
  connect(btnOK, &QAbstractButton::clicked, this, &TfrmOpenURL::btnOKClick);
  // OK (and Enter, which presses it) waits for an address.
  connect(cboURL, &QComboBox::editTextChanged, this,
          [this](const QString& typed) { btnOK->setEnabled(!IsBlankAddress(typed)); });
  btnOK->setEnabled(!IsBlankAddress(cboURL->currentText()));
  connect(btnDirectory, &QAbstractButton::clicked, this, &TfrmOpenURL::btnDirectoryClick);
}

void TfrmOpenURL::btnBrowseClick() {
  OpenOgg->open();
}

void TfrmOpenURL::btnOKClick() {
  if (IsBlankAddress(cboURL->currentText())) return;
  Settings.AddToMRU(cboURL->currentText().trimmed().toStdString());
  SetModalResult(mrOk);
}

void TfrmOpenURL::btnDirectoryClick() {
  DirectoryRequested = true;
  SetModalResult(mrDirectory);
}

bool ShowOpenURL(TfrmOpenURL& form, std::string& url) {
  form.DirectoryRequested = false;
  if (form.ShowModal() != mrOk) return false;
  url = form.cboURL->currentText().trimmed().toStdString();
  return true;
}

}  // namespace ktv
