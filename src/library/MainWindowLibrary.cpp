#include "app/MainWindow.h"

// The word library window.

void MainWindow::showWordLibrary() {
    if (!requireLibrary()) return;
}
