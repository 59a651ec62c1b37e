// Serves the main-thread call queue from the Qt event loop: a worker's synchronised call wakes the loop,
// which runs the waiting calls. Installed once, after the QApplication exists, on the main thread.
#pragma once

namespace ktv {

void InstallQtMainThreadPump();
void RemoveQtMainThreadPump();

}  // namespace ktv
