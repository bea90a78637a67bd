#include "gui/MainWindow.h"
#include "gui/userinfo/UserInfoWindow.h"

// The user information window.

void MainWindow::showUserInfo() {
    if (!requireLibrary()) return;
    // Built afresh from the stored record at every opening.
    UserInfoWindow window(dbConnection, prompter, platform, this);
    window.exec();
}
