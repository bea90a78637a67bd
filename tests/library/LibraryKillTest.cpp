#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include "library/WordDatabase.h"
#include "support/KillDuringRun.h"
#include "support/LibraryProbe.h"
#include "support/LibraryTextFile.h"
#include "text/GbkCodec.h"

// An import of many rows killed with SIGKILL: the library opens afterwards,
// sound, with the rows it had before and either none or all of the import.

namespace {

constexpr int kBefore = 25;
constexpr int kImported = 30000;

WordEntry entry(int i, const char* wrong) {
    WordEntry e;
    e.tgrade = gbk(QStringLiteral("基本"));
    e.tclass = gbk(QStringLiteral("通用"));
    e.terror = gbk(QString::fromUtf8(wrong)) + QByteArray::number(i);
    e.tright = gbk(QStringLiteral("安装")) + QByteArray::number(i);
    return e;
}

TEST(LibraryKillTest, AnImportKilledMidwayLeavesAllOrNothingOfIt) {
    QTemporaryDir dir;
    const QString library = dir.filePath(QStringLiteral("jdck.mdb"));
    const QString text = dir.filePath(QStringLiteral("import.tsv"));
    ASSERT_TRUE(writeLibraryText(text, kImported));
    const QString program =
        qEnvironmentVariable("TAVREL_BIN_DIR") + QStringLiteral("/tavrel-library");
    const QStringList args = {QStringLiteral("import"), text, QStringLiteral("--library"), library};
    auto freshLibrary = [&] {
        for (const char* suffix : {"", "-wal", "-shm"}) QFile::remove(library + suffix);
        WordDatabase db;
        ASSERT_EQ(db.open(library), WordDatabase::OpenResult::Created);
        std::vector<WordEntry> entries;
        for (int i = 0; i < kBefore; ++i) entries.push_back(entry(i, "原有"));
        ASSERT_TRUE(db.addEntries(entries));
    };

    // How long a whole import takes here, to kill the next ones inside it.
    freshLibrary();
    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(runToEnd(program, args), 0);
    const qint64 whole = timer.elapsed();
    EXPECT_EQ(LibraryProbe(library).rowCount(), kBefore + kImported);

    int killed = 0;
    for (const int percent : {10, 30, 50, 70, 90}) {
        freshLibrary();
        QElapsedTimer since;
        since.start();
        killed += killWhen(
            program, args, [&] { return since.elapsed() >= whole * percent / 100; },
            std::chrono::microseconds(0));

        WordDatabase db;
        ASSERT_EQ(db.open(library), WordDatabase::OpenResult::Opened) << percent << "%";
        db.close();
        LibraryProbe probe(library);
        EXPECT_EQ(probe.integrity(), "ok") << percent << "%";
        const qint64 rows = probe.rowCount();
        EXPECT_TRUE(rows == kBefore || rows == kBefore + kImported)
            << rows << " rows after a kill at " << percent << "%";
        WordDatabase again;
        ASSERT_EQ(again.open(library), WordDatabase::OpenResult::Opened);
        const std::vector<WordEntry> all = again.allEntries();
        ASSERT_GE(all.size(), size_t(kBefore));
        for (int i = 0; i < kBefore; ++i) {
            EXPECT_EQ(all[size_t(i)].terror, entry(i, "原有").terror);
            EXPECT_EQ(all[size_t(i)].tright, entry(i, "原有").tright);
        }
    }
    EXPECT_GE(killed, 3);
}

}  // namespace
