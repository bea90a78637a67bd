#pragma once

#include <QString>

// State shared by the main window's handlers for the whole run.
struct ProgramState {
    bool documentDirty = false;
    QString currentFilePath;  // the document shown in documentEdit; Save writes here
    QString currentFileName;
    QString programDirectory;  // ends in "/"
};
