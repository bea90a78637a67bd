#include "library/LibraryLocation.h"

#include <QDir>
#include <QFileInfo>

QString libraryFilePath(const QString& programDirectory, const QString& appDataDirectory) {
    const QString besideProgram = QDir(programDirectory).filePath(QLatin1String(kLibraryFileName));
    if (QFileInfo::exists(besideProgram) || QFileInfo(programDirectory).isWritable() ||
        appDataDirectory.isEmpty())
        return besideProgram;
    QDir().mkpath(appDataDirectory);
    return QDir(appDataDirectory).filePath(QLatin1String(kLibraryFileName));
}
