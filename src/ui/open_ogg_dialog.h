// The "Select Ogg File to Open" file dialog, as the open-stream dialog and the main window both use it.
#pragma once

class QFileDialog;
class QWidget;

namespace ktv {

// A new dialog (owned by the parent) for one existing Ogg file; show it with open() and take fileSelected.
QFileDialog* MakeOpenOggDialog(QWidget* parent);

}  // namespace ktv
