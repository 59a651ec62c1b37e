#include "ui/open_ogg_dialog.h"

#include <QFileDialog>

namespace ktv {

QFileDialog* MakeOpenOggDialog(QWidget* parent) {
  auto* dialog = new QFileDialog(parent, QStringLiteral("Select Ogg File to Open"));
  dialog->setFileMode(QFileDialog::ExistingFile);
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  dialog->setDefaultSuffix(QStringLiteral("ogg"));
  dialog->setNameFilters({QStringLiteral("Ogg Files (*.ogg *.ogm *.ogv)"), QStringLiteral("All Files (*)")});
  return dialog;
}

}  // namespace ktv
