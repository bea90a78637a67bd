#include "app/MainWindow.h"
#include "library/WordLibraryWindow.h"
#include "library/WritableLibrary.h"

// The word library window.

bool MainWindow::requireWritableLibrary() {
    return requireLibrary() && requireWritable(dbConnection, prompter);
}

void MainWindow::showWordLibrary() {
    if (!requireLibrary()) return;
    // Built afresh from the library at every opening; nothing outlives it.
    WordLibraryWindow window(dbConnection, prompter, platform, this);
    window.exec();
}
