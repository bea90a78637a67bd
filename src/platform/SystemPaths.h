#pragma once

#include <QString>

// Where the program and the user's data live on this computer. Apart from
// SystemPlatform, so that the command-line tools find them without loading
// the network libraries the rest of the platform needs.
QString systemProgramDirectory();
QString systemAppDataDirectory();
