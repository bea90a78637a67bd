#include "app/MainWindow.h"
#include "library/WordLibraryWindow.h"

// The word library window.

void MainWindow::showWordLibrary() {
    if (!requireLibrary()) return;
    // Built afresh from the library at every opening; nothing outlives it.
    WordLibraryWindow window(dbConnection, prompter, platform, this);
    window.exec();
}
