#include "app/MainWindow.h"

// The proofreading pass, result navigation and correction.

void MainWindow::runProofread() {
    if (!requireLibrary()) return;
}

void MainWindow::showSelectedHit() {}

void MainWindow::runCorrection() {}
