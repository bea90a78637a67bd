#include "gui/MainWindow.h"
#include "gui/library/WordLibraryWindow.h"
#include "library/Settings.h"
#include "library/WritableLibrary.h"
#include "platform/Platform.h"

// The word library window.

bool MainWindow::requireWritableLibrary() {
    return requireLibrary() && requireWritable(dbConnection, prompter);
}

void MainWindow::showWordLibrary() {
    if (!requireLibrary()) return;
    // Built afresh from the library at every opening; nothing outlives it.
    WordLibraryWindow window(dbConnection, prompter, platform, this);
    const QByteArray machine = platform.machineId().toLatin1();
    if (const auto size = dbConnection.setting(machine, Settings::kWordLibrarySize))
        if (const auto wh = Settings::numbersFrom(*size, 2)) window.resize((*wh)[0], (*wh)[1]);
    window.exec();
    if (!dbConnection.isReadOnly())
        dbConnection.writeSetting(machine, Settings::kWordLibrarySize,
                                  Settings::numbersText({window.width(), window.height()}));
}
