#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "documents/DocumentFile.h"
#include "documents/MappedDocument.h"
#include "support/SmallDisk.h"

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

TEST(DocumentFile, ReadsRegularFilesOnlyAndNeverWaits) {
    // A file of /proc is regular, its size says nothing: it is read to its end.
    const std::optional<QByteArray> status =
        DocumentFile::read(QStringLiteral("/proc/self/status"));
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(status->contains("\nPid:\t"));
    // A pipe nobody writes would block, a device would never end.
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("pipe.txt"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {fifo, QStringLiteral("/dev/zero")}) {
        QString why;
        EXPECT_FALSE(DocumentFile::read(path, &why)) << path.toStdString();
        EXPECT_EQ(why, QStringLiteral("不是普通文件"));
        MappedDocument mapped;
        EXPECT_FALSE(mapped.open(path, &why)) << path.toStdString();
        EXPECT_EQ(why, QStringLiteral("不是普通文件"));
    }
}

TEST(DocumentFile, SaysWhyAFileCannotBeRead) {
    QTemporaryDir dir;
    QString why;
    EXPECT_FALSE(DocumentFile::read(dir.filePath(QStringLiteral("none.txt")), &why));
    EXPECT_EQ(why, QStringLiteral("文件或目录不存在"));  // in Chinese, as every message
    EXPECT_FALSE(DocumentFile::write(dir.filePath(QStringLiteral("no/such.txt")), "x", &why));
    EXPECT_EQ(why, QStringLiteral("文件或目录不存在"));

    QDir(dir.path()).mkdir(QStringLiteral("folder.txt"));
    why.clear();
    EXPECT_FALSE(DocumentFile::read(dir.filePath(QStringLiteral("folder.txt")), &why));
    EXPECT_FALSE(why.isEmpty());
}

struct stat statOf(const QString& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
    return info;
}

void put(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("unreadable");
}

TEST(DocumentFile, ARewriteKeepsOwnerModeAndEveryLink) {
    if (geteuid() != 0) GTEST_SKIP() << "giving files to other users needs root";
    QTemporaryDir dir;
    const QString doc = dir.filePath(QStringLiteral("d.txt"));
    const QString other = dir.filePath(QStringLiteral("other.txt"));
    enum class Link { None, Hard, Symbolic };
    struct Case {
        mode_t mode;
        uid_t uid;
        gid_t gid;
        Link link;
    };
    for (const Case c : {Case{0444, 0, 0, Link::None}, Case{0600, 1234, 2345, Link::None},
                         Case{0640, 1234, 0, Link::Hard}, Case{0604, 0, 2345, Link::Symbolic}}) {
        QFile::remove(doc);
        QFile::remove(other);
        put(doc, "old text");
        ASSERT_EQ(::chown(QFile::encodeName(doc).constData(), c.uid, c.gid), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(doc).constData(), c.mode), 0);
        if (c.link == Link::Hard) {
            ASSERT_EQ(
                ::link(QFile::encodeName(doc).constData(), QFile::encodeName(other).constData()),
                0);
        }
        if (c.link == Link::Symbolic) {
            ASSERT_TRUE(QFile::link(QStringLiteral("d.txt"), other));
        }
        const QString written = c.link == Link::None ? doc : other;

        QString why;
        ASSERT_TRUE(DocumentFile::write(written, "the new, longer text", &why))
            << why.toStdString();
        const struct stat after = statOf(doc);
        EXPECT_EQ(after.st_mode & 07777, c.mode) << c.mode;
        EXPECT_EQ(after.st_uid, c.uid) << c.mode;
        EXPECT_EQ(after.st_gid, c.gid) << c.mode;
        EXPECT_EQ(bytesOf(doc), "the new, longer text") << c.mode;
        if (c.link != Link::None) {
            EXPECT_EQ(bytesOf(other), "the new, longer text") << c.mode;
        }
        if (c.link == Link::Symbolic) {
            EXPECT_TRUE(S_ISLNK(statOf(other).st_mode));
        }
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::System).size(),
                  c.link == Link::None ? 1 : 2);
    }
}

TEST(DocumentFile, ARewriteThatWouldLoseOwnerOrTextLeavesTheDocument) {
    if (geteuid() != 0) GTEST_SKIP() << "giving files to other users needs root";
    {
        // A user who may write another user's document cannot give it back.
        QTemporaryDir dir;
        ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0777), 0);
        const QString doc = dir.filePath(QStringLiteral("d.txt"));
        put(doc, "old text");
        ASSERT_EQ(::chown(QFile::encodeName(doc).constData(), 1234, 1234), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(doc).constData(), 0666), 0);
        const pid_t child = fork();
        if (child == 0) {
            QString why;
            const bool refused = setgid(65534) == 0 && setuid(65534) == 0 &&
                                 !DocumentFile::write(doc, "new", &why) &&
                                 why.startsWith(QStringLiteral("无法保留文档的所有者和权限："));
            _exit(refused ? 0 : 1);
        }
        int status = -1;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_EQ(bytesOf(doc), "old text");
        EXPECT_EQ(statOf(doc).st_uid, 1234u);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"d.txt"}));
    }
    {
        // Hard links are rewritten in place: a text that does not fit is not begun.
        SmallDisk disk(64 * 1024);
        ASSERT_TRUE(disk.available());
        const QString doc = disk.filePath(QStringLiteral("d.txt"));
        const QString other = disk.filePath(QStringLiteral("other.txt"));
        const QByteArray old = QByteArray("old text ").repeated(1000);
        put(doc, old);
        ASSERT_EQ(::link(QFile::encodeName(doc).constData(), QFile::encodeName(other).constData()),
                  0);
        QString why;
        EXPECT_FALSE(DocumentFile::write(doc, old.repeated(10), &why));
        EXPECT_FALSE(why.isEmpty());
        EXPECT_EQ(bytesOf(doc), old);
        EXPECT_EQ(bytesOf(other), old);
    }
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
