#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

    // Installed, the program never writes beside itself, though root could.
    EXPECT_EQ(libraryFilePath(program, appData, dir.filePath(QStringLiteral("bin"))),
              appData + QStringLiteral("/jdck.mdb"));
}

TEST(LibraryLocation, ThePerUserDirectoryIsMadeForItsUserAlone) {
    QTemporaryDir dir;
    const mode_t umaskBefore = ::umask(022);
    const QString shared = dir.filePath(QStringLiteral("share"));
    ASSERT_TRUE(QDir().mkpath(shared));
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 0755), 0);
    const QString appData = shared + QStringLiteral("/Tavrel/Tavrel");
    libraryFilePath(dir.filePath(QStringLiteral("gone/")), appData);
    ::umask(umaskBefore);
    auto modeOf = [](const QString& path) {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
    };
    EXPECT_EQ(modeOf(appData), 0700);
    EXPECT_EQ(modeOf(shared + QStringLiteral("/Tavrel")), 0700);
    EXPECT_EQ(modeOf(shared), 0755) << "a directory that was there keeps its mode";
}
