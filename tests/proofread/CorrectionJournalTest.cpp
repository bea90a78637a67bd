#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

#include <thread>

#include "proofread/CorrectionJournal.h"
#include "proofread/ProofreadPass.h"
#include "support/FileSizeLimit.h"
#include "support/SmallDisk.h"
#include "text/GbkCodec.h"

namespace {

// Documents corrected through the pass, recorded in a journal of their own.
class CorrectionJournalTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    QString journalDirectory = dir.filePath(QStringLiteral("journal"));
    ProofreadPass pass{{{gbk(QStringLiteral("按装机器")), gbk(QStringLiteral("安装")), {}, 1}}, {}};

    static QByteArray before(int i) {
        return gbk(QStringLiteral("第%1份：按装机器。").arg(i)).repeated(200);
    }
    static QByteArray after(int i) {
        return gbk(QStringLiteral("第%1份：安装。").arg(i)).repeated(200);
    }
    QString document(int i) {
        const QString path = dir.filePath(QStringLiteral("%1.txt").arg(i));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(before(i));
        return path;
    }
    static QByteArray bytes(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
    }
    // Corrects the document in `run`; false when it could not be recorded.
    bool correct(const QString& path, CorrectionJournal::Run& run) {
        const PassDocument d = ProofreadPass::read(path);
        std::vector<CorrectionRow> rows;
        for (const Hit& hit : pass.check(d).hits)
            rows.push_back({hit.start, pass.form(hit.entry).wrong, pass.form(hit.entry).right});
        QString why;
        return ProofreadPass::write(d, ProofreadPass::correct(d, rows), run, &why) ==
               ProofreadPass::Written::Yes;
    }
    QString runFile() const {
        const QStringList files = QDir(journalDirectory).entryList(QDir::Files, QDir::Name);
        return files.isEmpty() ? QString() : journalDirectory + QLatin1Char('/') + files.last();
    }
};

TEST_F(CorrectionJournalTest, AShortWriteIsCutOffAndTheRunStaysUndoable) {
    const CorrectionJournal journal(journalDirectory);
    const QString a = document(1), b = document(2), c = document(3);
    {
        CorrectionJournal::Run run = journal.startRun("test");
        ASSERT_TRUE(correct(a, run));
        {
            // The disk fills in the middle of b's entry.
            const FileSizeLimit full(QFileInfo(runFile()).size() + 40);
            EXPECT_FALSE(correct(b, run));
        }
        ASSERT_TRUE(correct(c, run));
    }
    EXPECT_EQ(bytes(b), before(2));  // not recorded, so not corrected
    QString error;
    const auto last = journal.lastRun(&error);
    ASSERT_TRUE(last) << error.toStdString();
    EXPECT_TRUE(last->damage.isEmpty()) << last->damage.toStdString();
    ASSERT_EQ(last->documents.size(), 2u);
    const CorrectionJournal::UndoResult undone = journal.undo(*last);
    EXPECT_EQ(undone.restored, QStringList({a, c}));
    EXPECT_EQ(bytes(a), before(1));
    EXPECT_EQ(bytes(c), before(3));
}

TEST_F(CorrectionJournalTest, ACutOrDamagedRecordIsNamedAsSuch) {
    const CorrectionJournal journal(journalDirectory);
    {
        CorrectionJournal::Run run = journal.startRun("test");
        for (int i = 1; i <= 3; ++i) ASSERT_TRUE(correct(document(i), run));
    }
    const QString file = runFile();
    ASSERT_TRUE(file.endsWith(QStringLiteral(".run"))) << file.toStdString();
    const QByteArray whole = bytes(file);
    const qsizetype firstEntry = whole.indexOf("\nend ") + 1;
    // Every cut after the first entry, and a flipped byte in each entry.
    struct Damaged {
        QByteArray text;
        size_t atMost;  // documents it may still vouch for
    };
    std::vector<Damaged> damaged;
    for (qsizetype cut = firstEntry; cut < whole.size(); cut += whole.size() / 100 + 1)
        damaged.push_back({whole.left(cut), 3});
    for (qsizetype at = whole.indexOf("document"); at >= 0;
         at = whole.indexOf("document", at + 1)) {
        QByteArray flipped = whole;
        flipped[at + 60] = flipped[at + 60] == 'A' ? 'B' : 'A';
        damaged.push_back({flipped, 2});
    }
    for (const auto& [text, atMost] : damaged) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
        f.close();
        QString error;
        const auto last = journal.lastRun(&error);
        ASSERT_TRUE(last) << error.toStdString();
        EXPECT_FALSE(last->damage.isEmpty()) << text.size();
        EXPECT_LE(last->documents.size(), atMost) << text.size();
    }
}

TEST_F(CorrectionJournalTest, AFailedUndoIsOfferedAgainAndAnUnmarkableOneSaysSo) {
    const CorrectionJournal journal(journalDirectory);
    const QString a = document(1);
    {
        CorrectionJournal::Run run = journal.startRun("test");
        ASSERT_TRUE(correct(a, run));
    }
    QString error;
    auto last = journal.lastRun(&error);
    ASSERT_TRUE(last);
    {
        // The old bytes no longer fit on the disk.
        const FileSizeLimit full(after(1).size());
        const CorrectionJournal::UndoResult undone = journal.undo(*last);
        EXPECT_EQ(undone.failed, QStringList({a}));
    }
    EXPECT_EQ(bytes(a), after(1));
    last = journal.lastRun(&error);
    ASSERT_TRUE(last);  // the same run again
    EXPECT_EQ(journal.undo(*last).restored, QStringList({a}));
    EXPECT_EQ(bytes(a), before(1));
    EXPECT_FALSE(journal.lastRun(&error));

    SmallDisk disk(1 << 20);
    if (!disk.available()) GTEST_SKIP() << "cannot mount a small disk here (needs root)";
    const CorrectionJournal readOnly(disk.filePath(QStringLiteral("journal")));
    {
        CorrectionJournal::Run run = readOnly.startRun("test");
        ASSERT_TRUE(correct(a, run));
    }
    ASSERT_TRUE(disk.makeReadOnly());
    last = readOnly.lastRun(&error);
    ASSERT_TRUE(last);
    const CorrectionJournal::UndoResult undone = readOnly.undo(*last);
    EXPECT_EQ(bytes(a), before(1));
    EXPECT_TRUE(undone.markError.startsWith(QStringLiteral("修改记录无法写入")))
        << undone.markError.toStdString();
}

TEST_F(CorrectionJournalTest, UndoFollowsTheWritesAndNeverALinkPutThereSince) {
    const CorrectionJournal journal(journalDirectory);
    const QString a = document(1), b = document(2), c = document(3);
    {
        // Two runs at once; the first started writes last.
        CorrectionJournal::Run first = journal.startRun("first");
        CorrectionJournal::Run second = journal.startRun("second");
        ASSERT_TRUE(correct(a, first));
        ASSERT_TRUE(correct(b, second));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_TRUE(correct(c, first));
    }
    QString error;
    auto last = journal.lastRun(&error);
    ASSERT_TRUE(last);
    ASSERT_EQ(last->documents.size(), 2u);
    EXPECT_EQ(last->documents[0].path, a);

    // c is replaced by a link to a file the run never touched, with c's bytes.
    const QString other = dir.filePath(QStringLiteral("other.txt"));
    ASSERT_TRUE(QFile::copy(c, other));
    ASSERT_TRUE(QFile::remove(c));
    ASSERT_TRUE(QFile::link(other, c));
    const CorrectionJournal::UndoResult undone = journal.undo(*last);
    EXPECT_EQ(undone.restored, QStringList({a}));
    EXPECT_EQ(undone.leftAlone, QStringList({c}));
    EXPECT_EQ(bytes(other), after(3));
    last = journal.lastRun(&error);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->documents[0].path, b);
}

}  // namespace
