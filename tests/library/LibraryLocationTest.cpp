#include <gtest/gtest.h>
#include <QDir>
#include <QFileInfo>

#include <QFile>
#include <QTemporaryDir>

#include "library/LibraryLocation.h"

TEST(LibraryLocation, BesideTheProgramUnlessItsDirectoryCannotHoldIt) {
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("bin")) + QStringLiteral("/");
    const QString appData = dir.filePath(QStringLiteral("data"));
    QDir().mkpath(program);
    EXPECT_EQ(libraryFilePath(program, appData), program + QStringLiteral("jdck.mdb"));

    // A directory the program cannot write (here: one that is not there) and
    // that holds no library sends the library to the per-user directory.
    const QString missing = dir.filePath(QStringLiteral("gone")) + QStringLiteral("/");
    EXPECT_EQ(libraryFilePath(missing, appData), appData + QStringLiteral("/jdck.mdb"));
    EXPECT_TRUE(QFileInfo(appData).isDir());
}
