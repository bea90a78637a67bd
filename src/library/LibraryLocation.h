#pragma once

#include <QString>

inline constexpr char kLibraryFileName[] = "jdck.mdb";

// The library lives beside the program. An installed program whose directory
// is not writable and holds no library keeps it in the per-user data directory.
QString libraryFilePath(const QString& programDirectory, const QString& appDataDirectory);
