#include "app/ToolMain.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

#include "app/SystemPlatform.h"
#include "library/LibraryLocation.h"

int runToolMain(int argc, char** argv, ToolCommand command) {
    QCoreApplication app(argc, argv);
    // The window's names, so that both find the same per-user library.
    QCoreApplication::setApplicationName(QStringLiteral("Tavrel"));
    QCoreApplication::setOrganizationName(QStringLiteral("Tavrel"));
    QFile out, err;
    out.open(stdout, QIODevice::WriteOnly);
    err.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
    const QString library = libraryFilePath(systemProgramDirectory(), systemAppDataDirectory());
    return command(QCoreApplication::arguments().mid(1), library, out, err);
}
