#include <gtest/gtest.h>

#include <QBuffer>

#include <unistd.h>

#include "proofread/CheckCommand.h"
#include "proofread/CorrectionJournal.h"
#include "support/ConcurrentWriter.h"
#include "support/KillDuringRun.h"
#include "support/SmallDisk.h"
#include "support/WindowFixture.h"

// A correction meeting a full disk, a read-only directory or a SIGKILL: every
// document is its old content or its complete new one, and the user is told
// what could not be written.

namespace {

class CorrectionDiskTest : public WindowFixture {
  protected:
    void put(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    QString correctAll(const QString& directory) {
        start();
        changeDirectory(directory);
        prompter.expectMessage();
        find("menuProofread")->trigger();
        prompter.expectMessage(Prompter::Answer::Yes);
        prompter.expectMessage();
        find("menuCorrect")->trigger();
        EXPECT_TRUE(prompter.allAnswered());
        return prompter.messages.back().text;
    }
};

const QByteArray kSmall = gbk(QStringLiteral("按装"));
// 12,000 bytes that grow to 24,000 when corrected.
const QByteArray kBig = gbk(QStringLiteral("按装")).repeated(3000);

TEST_F(CorrectionDiskTest, AFullDiskStopsOnlyTheDocumentThatDoesNotFit) {
    SmallDisk disk(64 * 1024);
    if (!disk.available()) GTEST_SKIP() << "cannot mount a small disk here (needs root)";
    addEntry("基本", "按装", "安装好了");
    put(disk.filePath(QStringLiteral("a.txt")), kSmall);
    put(disk.filePath(QStringLiteral("b.txt")), kBig);
    put(disk.filePath(QStringLiteral("filler.bin")), QByteArray(32 * 1024, 'f'));

    EXPECT_EQ(correctAll(disk.path()), QStringLiteral("修改完毕！\r\n未能修改的文件：b.txt"));
    EXPECT_EQ(readBytes(disk.filePath(QStringLiteral("a.txt"))), gbk(QStringLiteral("安装好了")));
    EXPECT_EQ(readBytes(disk.filePath(QStringLiteral("b.txt"))), kBig);
    EXPECT_EQ(QDir(disk.path()).entryList(QDir::Files),
              QStringList({"a.txt", "b.txt", "filler.bin"}));
}

TEST_F(CorrectionDiskTest, AReadOnlyDirectoryKeepsEveryDocumentAndNamesThem) {
    SmallDisk disk(64 * 1024);
    if (!disk.available()) GTEST_SKIP() << "cannot mount a small disk here (needs root)";
    addEntry("基本", "按装", "安装");
    put(disk.filePath(QStringLiteral("a.txt")), kSmall);
    put(disk.filePath(QStringLiteral("b.txt")), kBig);
    ASSERT_TRUE(disk.makeReadOnly());

    EXPECT_EQ(correctAll(disk.path()),
              QStringLiteral("修改完毕！\r\n未能修改的文件：a.txt、b.txt"));
    EXPECT_EQ(readBytes(disk.filePath(QStringLiteral("a.txt"))), kSmall);
    EXPECT_EQ(readBytes(disk.filePath(QStringLiteral("b.txt"))), kBig);
}

TEST_F(CorrectionDiskTest, TheCommandLineFixOnAFullDiskKeepsTheFileAndFails) {
    SmallDisk disk(64 * 1024);
    if (!disk.available()) GTEST_SKIP() << "cannot mount a small disk here (needs root)";
    put(disk.filePath(QStringLiteral("a.txt")), kSmall);
    put(disk.filePath(QStringLiteral("b.txt")), kBig);
    put(disk.filePath(QStringLiteral("filler.bin")), QByteArray(32 * 1024, 'f'));
    const QString library = dir.filePath(QStringLiteral("lib.tsv"));
    put(library, "tgrade\ttclass\tterror\ttright\ttbut\n" +
                     QStringLiteral("基本\t通用\t按装\t安装好了\t\n").toUtf8());

    QBuffer out, err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    const int status = runCheckCommand(
        {QStringLiteral("--fix"), QStringLiteral("--library"), library, disk.path()}, libraryPath(),
        journalDirectory(platform.appDataDir), out, err);
    EXPECT_EQ(status, 2);
    const QString said = QString::fromUtf8(err.data());
    EXPECT_TRUE(said.contains(QStringLiteral("无法写入 ") + disk.filePath(QStringLiteral("b.txt"))))
        << said.toStdString();
    EXPECT_EQ(readBytes(disk.filePath(QStringLiteral("a.txt"))), gbk(QStringLiteral("安装好了")));
    EXPECT_EQ(readBytes(disk.filePath(QStringLiteral("b.txt"))), kBig);
}

// Another program appends to a document after the correction read it and
// before the corrected text replaces it: the document keeps the appended line
// and is named, in the window and on the command line.
TEST_F(CorrectionDiskTest, AConcurrentChangeIsNeverOverwritten) {
    const QByteArray appended = gbk(QStringLiteral("另一程序写的一行\r\n"));
    const QString docs = QFileInfo(documents()).canonicalFilePath();
    addEntry("基本", "按装", "安装");
    const QString library = dir.filePath(QStringLiteral("lib.tsv"));
    put(library, "tgrade\ttclass\tterror\ttright\ttbut\n" +
                     QStringLiteral("基本\t通用\t按装\t安装\t\n").toUtf8());
    for (const bool window : {true, false}) {
        const QString a = docs + QStringLiteral("/a.txt"), b = docs + QStringLiteral("/b.txt");
        put(a, kSmall);
        put(b, kSmall);
        AppendingProcess other(a, appended);
        // The moment: the new text of a.txt is about to be written.
        bool appendedInTime = false;
        PauseOnOpen pause(docs, "a.txt.", [&] { appendedInTime = other.appendNow(); });
        if (!pause.available()) GTEST_SKIP() << "cannot watch file opens here (needs root)";
        if (window) {
            EXPECT_EQ(correctAll(docs), QStringLiteral("修改完毕！\r\n未能修改的文件：a.txt"));
        } else {
            QBuffer out, err;
            out.open(QIODevice::WriteOnly);
            err.open(QIODevice::WriteOnly);
            EXPECT_EQ(runCheckCommand(
                          {QStringLiteral("--fix"), QStringLiteral("--library"), library, docs},
                          libraryPath(), journalDirectory(platform.appDataDir), out, err),
                      2);
            EXPECT_TRUE(QString::fromUtf8(err.data())
                            .contains(QStringLiteral("无法写入 ") + a +
                                      QStringLiteral("：文档在读取后已被其他程序改动")))
                << err.data().constData();
        }
        EXPECT_TRUE(appendedInTime);
        EXPECT_EQ(readBytes(a), kSmall + appended) << (window ? "window" : "tavrel-check");
        EXPECT_EQ(readBytes(b), gbk(QStringLiteral("安装")));
        EXPECT_EQ(QDir(docs).entryList(QDir::Files), QStringList({"a.txt", "b.txt"}));
    }
}

// Many documents rewritten one after the other, killed at different moments.
class CorrectionKillTest : public ::testing::Test {
  protected:
    static constexpr int kFiles = 40;
    QTemporaryDir dir;
    QString docs = dir.filePath(QStringLiteral("docs"));
    QStringList paths;
    std::vector<QByteArray> before, after;

    // Documents of `lines` lines each, distinct, with hits all the way through.
    void makeDocuments(int lines) {
        QDir().mkpath(docs);
        for (int i = 0; i < kFiles; ++i) {
            paths << docs + QStringLiteral("/%1.txt").arg(i, 3, 10, QLatin1Char('0'));
            const QByteArray line =
                gbk(QStringLiteral("第%1份：他按装了软件，又按装了驱动。\r\n").arg(i));
            before.push_back(line.repeated(lines));
            after.push_back(
                QByteArray(before.back())
                    .replace(gbk(QStringLiteral("按装")), gbk(QStringLiteral("安装好"))));
        }
    }
    StampedFiles writeAll() {
        for (int i = 0; i < kFiles; ++i) {
            QFile f(paths[i]);
            EXPECT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(before[size_t(i)]);
        }
        return StampedFiles(paths);
    }
    // Every document old or new, never cut; how many are new.
    int expectEachOldOrNew() {
        int corrected = 0;
        for (int i = 0; i < kFiles; ++i) {
            const QByteArray now = readBytes(paths[i]);
            if (now == after[size_t(i)])
                ++corrected;
            else
                EXPECT_EQ(now, before[size_t(i)])
                    << paths[i].toStdString() << " is neither old nor new (" << now.size()
                    << " bytes)";
        }
        return corrected;
    }
    // Run after each kill, before the documents are looked at.
    std::function<void()> beforeCheck;
    QString writeLibrary() {
        const QString library = dir.filePath(QStringLiteral("lib.tsv"));
        QFile f(library);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("tgrade\ttclass\tterror\ttright\ttbut\n" +
                QStringLiteral("基本\t通用\t按装\t安装好\t\n").toUtf8());
        return library;
    }
    // Kills the program as soon as the k-th document changes on disk, or a
    // little later, for several k; returns how many kills came mid-run.
    // `afterKill`, when given, runs after each round's check.
    int killRounds(const QString& program, const QStringList& arguments,
                   const std::function<void(int corrected)>& afterKill = {}) {
        struct Round {
            int k;
            int delayUs;
        };
        int midRun = 0;
        for (const Round round : {Round{1, 0}, Round{3, 50}, Round{7, 0}, Round{12, 150},
                                  Round{20, 0}, Round{30, 400}}) {
            const StampedFiles stamped = writeAll();
            const bool killed = killWhen(
                program, arguments, [&] { return stamped.touched() >= round.k; },
                std::chrono::microseconds(round.delayUs));
            if (beforeCheck) beforeCheck();
            const int corrected = expectEachOldOrNew();
            EXPECT_GE(corrected, killed ? round.k - 1 : kFiles) << "kill at " << round.k;
            if (killed && corrected < kFiles) ++midRun;
            if (afterKill) afterKill(corrected);
        }
        return midRun;
    }
};

TEST_F(CorrectionKillTest, TheCommandLineFixKilledLeavesEachDocumentOldOrNew) {
    const QString library = writeLibrary();
    makeDocuments(4000);  // about 160 KB each
    // The journal of the killed runs, in a data directory of this test's own.
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("data"))));
    const QString check = qEnvironmentVariable("TAVREL_BIN_DIR") + QStringLiteral("/tavrel-check");
    const int midRun =
        killRounds(check, {QStringLiteral("--fix"), QStringLiteral("--library"), library, docs},
                   [&](int corrected) {
                       // What the killed run wrote is undone, exactly.
                       const int status = runToEnd(check, {QStringLiteral("--undo")});
                       if (corrected > 0)
                           EXPECT_EQ(status, 0);
                       else
                           EXPECT_NE(status, 1);  // nothing recorded, or nothing replaced
                       EXPECT_EQ(expectEachOldOrNew(), 0);
                   });
    qunsetenv("XDG_DATA_HOME");
    EXPECT_GE(midRun, 3);
}

TEST_F(CorrectionKillTest, AHardLinkedDocumentKilledInItsRewriteIsFinishedByTheNextCommand) {
    const QString library = writeLibrary();
    makeDocuments(4000);
    writeAll();
    // Each document has a second name, so it is rewritten in place.
    const QString links = dir.filePath(QStringLiteral("links"));
    QDir().mkpath(links);
    for (const QString& path : paths)
        ASSERT_EQ(::link(QFile::encodeName(path).constData(),
                         QFile::encodeName(links + QLatin1Char('/') + QFileInfo(path).fileName())
                             .constData()),
                  0);
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("data"))));
    const QString check = qEnvironmentVariable("TAVREL_BIN_DIR") + QStringLiteral("/tavrel-check");
    const QString empty = dir.filePath(QStringLiteral("empty.txt"));
    QFile(empty).open(QIODevice::WriteOnly);
    // Any next command finishes what the kill interrupted.
    beforeCheck = [&] { runToEnd(check, {QStringLiteral("--library"), library, empty}); };
    const int midRun = killRounds(
        check, {QStringLiteral("--fix"), QStringLiteral("--library"), library, docs},
        [&](int corrected) {
            for (const QString& path : paths)
                EXPECT_EQ(readBytes(links + QLatin1Char('/') + QFileInfo(path).fileName()),
                          readBytes(path));
            const int status = runToEnd(check, {QStringLiteral("--undo")});
            if (corrected > 0) {
                EXPECT_EQ(status, 0);
            }
            EXPECT_EQ(expectEachOldOrNew(), 0);
        });
    qunsetenv("XDG_DATA_HOME");
    EXPECT_GE(midRun, 3);
    // Nothing is left beside the documents, nor kept once finished.
    EXPECT_EQ(QDir(docs).entryList(QDir::Files).size(), qsizetype(kFiles));
    EXPECT_TRUE(QDir(dir.filePath(QStringLiteral("data/Tavrel/Tavrel/journal")))
                    .entryList({QStringLiteral("*.rewrite")}, QDir::Files)
                    .isEmpty());
}

TEST_F(CorrectionKillTest, TheWindowsCorrectionKilledLeavesEachDocumentOldOrNew) {
    makeDocuments(800);  // about 32 KB each: the window shows every one
    const QString program = dir.filePath(QStringLiteral("program"));
    QDir().mkpath(program);
    {
        WordDatabase db;
        ASSERT_EQ(db.open(program + QStringLiteral("/jdck.mdb")),
                  WordDatabase::OpenResult::Created);
        WordEntry e;
        e.tgrade = gbk(QStringLiteral("基本"));
        e.terror = gbk(QStringLiteral("按装"));
        e.tright = gbk(QStringLiteral("安装好"));
        ASSERT_GT(db.addEntry(e), 0);
    }
    const int midRun = killRounds(QStringLiteral(TAVREL_WINDOW_HELPER),
                                  {QStringLiteral("correct"), program, docs});
    EXPECT_GE(midRun, 3);
}

}  // namespace
