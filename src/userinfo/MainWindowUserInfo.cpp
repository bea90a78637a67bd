#include "app/MainWindow.h"

// The user information window.

void MainWindow::showUserInfo() {
    if (!requireLibrary()) return;
}
