#pragma once

#include <QString>

inline constexpr char kLibraryFileName[] = "jdck.mdb";

// The library lives beside the program. A program whose directory is not
// writable and holds no library keeps it in the per-user data directory, and
// so does one run from the installation's bin directory (`installedBinDir`),
// which nothing may write at run time, root's runs included.
QString libraryFilePath(const QString& programDirectory, const QString& appDataDirectory,
                        const QString& installedBinDir);
// The same for this build's installation directory.
QString libraryFilePath(const QString& programDirectory, const QString& appDataDirectory);
// The same for this program on this computer: the command-line tools find the
// library the window uses.
QString systemLibraryFilePath();
