#include "library/LibraryLocation.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/SystemPaths.h"

namespace {

// The library holds the mail password: the directories made for it are the
// user's alone. Directories that exist keep their mode.
bool makePrivatePath(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir()) return true;
    const QString parent = info.absolutePath();
    if (parent != info.absoluteFilePath() && !makePrivatePath(parent)) return false;
    return ::mkdir(QFile::encodeName(info.absoluteFilePath()).constData(), 0700) == 0 ||
           QFileInfo(path).isDir();
}

}  // namespace

QString libraryFilePath(const QString& programDirectory, const QString& appDataDirectory,
                        const QString& installedBinDir) {
    const QString besideProgram = QDir(programDirectory).filePath(QLatin1String(kLibraryFileName));
    const bool installed =
        !installedBinDir.isEmpty() && QFileInfo(programDirectory).canonicalFilePath() ==
                                          QFileInfo(installedBinDir).canonicalFilePath();
    if (!installed && (QFileInfo::exists(besideProgram) ||
                       QFileInfo(programDirectory).isWritable() || appDataDirectory.isEmpty()))
        return besideProgram;
    makePrivatePath(appDataDirectory);
    return QDir(appDataDirectory).filePath(QLatin1String(kLibraryFileName));
}

QString libraryFilePath(const QString& programDirectory, const QString& appDataDirectory) {
    return libraryFilePath(programDirectory, appDataDirectory,
                           QStringLiteral(TAVREL_INSTALL_BINDIR));
}

QString systemLibraryFilePath() {
    return libraryFilePath(systemProgramDirectory(), systemAppDataDirectory());
}
