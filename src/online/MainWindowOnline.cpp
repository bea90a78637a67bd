#include <QAction>

#include "app/MainWindow.h"

// The exchanges with the program's server.

void MainWindow::submitNewEntries() {
    if (!requireLibrary()) return;
}

void MainWindow::downloadUpdates() {
    if (!requireLibrary()) return;
}

void MainWindow::toggleAutoUpdate() {
    if (!requireLibrary()) {
        // The menu ticked itself on the click; nothing was stored, so take it back.
        menuAutoUpdate->setChecked(!menuAutoUpdate->isChecked());
        return;
    }
}
