#include "app/MainWindow.h"
#include "app/ProgramState.h"

// The file browser and the document commands.

void MainWindow::onDriveChanged() {}

void MainWindow::fillFileList() {}

void MainWindow::loadSelectedDocument() {}

void MainWindow::markDocumentDirty() { state.documentDirty = true; }

void MainWindow::openDocuments() {}

void MainWindow::saveDocument() {}

void MainWindow::saveDocumentAs() {}

void MainWindow::closeDocument() {}
