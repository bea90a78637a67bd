#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <thread>

#include "documents/DocumentFile.h"
#include "documents/MappedDocument.h"

namespace {

TEST(DocumentFile, ReadsEveryByteOfFilesOfAnySize) {
    QTemporaryDir dir;
    QByteArray big;
    for (int i = 0; big.size() < 3 * 1024 * 1024 + 7; ++i) big += QByteArray::number(i) + '\0';
    for (const QByteArray& bytes : {QByteArray(), QByteArray("\xB0\xA1\r\n", 4), big}) {
        const QString path = dir.filePath(QStringLiteral("d.txt"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        QString why = QStringLiteral("untouched");
        const std::optional<QByteArray> read = DocumentFile::read(path, &why);
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(*read, bytes);
        EXPECT_EQ(why, QStringLiteral("untouched"));
    }
}

TEST(DocumentFile, ReadsFilesWhoseSizeSaysNothingToTheirEnd) {
    // The size of a pipe is 0, whatever comes through it.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("pipe.txt"));
    ASSERT_EQ(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    const QByteArray bytes = QByteArray("\xB0\xA1").repeated(100000);
    std::thread writer([&] {
        QFile pipe(path);
        if (pipe.open(QIODevice::WriteOnly)) pipe.write(bytes);
    });
    const std::optional<QByteArray> read = DocumentFile::read(path);
    writer.join();
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, bytes);
}

TEST(DocumentFile, SaysWhyAFileCannotBeRead) {
    QTemporaryDir dir;
    QString why;
    EXPECT_FALSE(DocumentFile::read(dir.filePath(QStringLiteral("none.txt")), &why));
    EXPECT_FALSE(why.isEmpty());

    QDir(dir.path()).mkdir(QStringLiteral("folder.txt"));
    why.clear();
    EXPECT_FALSE(DocumentFile::read(dir.filePath(QStringLiteral("folder.txt")), &why));
    EXPECT_FALSE(why.isEmpty());
}

TEST(MappedDocument, HoldsTheBytesOfLargeAndSmallFilesWhileItLives) {
    QTemporaryDir dir;
    QByteArray large;
    while (large.size() < 3 * 1024 * 1024) large += QByteArray("\xB0\xA1\xB0\xA2\n", 5);
    for (const QByteArray& bytes : {large, QByteArray("\xB0\xA1", 2), QByteArray()}) {
        const QString path = dir.filePath(QStringLiteral("m.txt"));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        MappedDocument document;
        ASSERT_TRUE(document.open(path));
        EXPECT_EQ(document.bytes(), bytes);
    }
    MappedDocument missing;
    QString why;
    EXPECT_FALSE(missing.open(dir.filePath(QStringLiteral("none.txt")), &why));
    EXPECT_FALSE(why.isEmpty());
    EXPECT_TRUE(missing.bytes().isEmpty());
}

}  // namespace
