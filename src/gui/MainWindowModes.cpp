#include <QAction>
#include <QRadioButton>

#include "gui/MainWindow.h"

// Each handler makes the same six writes in the same order: the two other
// modes unchecked (menu item, then radio), then the chosen one checked.

void MainWindow::selectQuickMode() {
    menuFine->setChecked(false);
    fineModeRadio->setChecked(false);
    menuProfessional->setChecked(false);
    professionalModeRadio->setChecked(false);
    menuQuick->setChecked(true);
    quickModeRadio->setChecked(true);
}

void MainWindow::selectFineMode() {
    menuQuick->setChecked(false);
    quickModeRadio->setChecked(false);
    menuProfessional->setChecked(false);
    professionalModeRadio->setChecked(false);
    menuFine->setChecked(true);
    fineModeRadio->setChecked(true);
}

void MainWindow::selectProfessionalMode() {
    menuQuick->setChecked(false);
    quickModeRadio->setChecked(false);
    menuFine->setChecked(false);
    fineModeRadio->setChecked(false);
    menuProfessional->setChecked(true);
    professionalModeRadio->setChecked(true);
}
