#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

#include "library/LibraryCommand.h"
#include "library/LibraryText.h"
#include "library/StarterLibrary.h"
#include "library/WordDatabase.h"
#include "support/AsNobody.h"
#include "text/GbkCodec.h"

namespace {

class LibraryCommandTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    QString libraryPath() const { return dir.filePath(QStringLiteral("jdck.mdb")); }

    struct Result {
        int status;
        QByteArray out, err;
    };
    Result run(const QStringList& args) {
        QBuffer out, err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        const int status = runLibraryCommand(args, libraryPath(), out, err);
        return {status, out.data(), err.data()};
    }
    QString writeText(const QString& name, const QString& text) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.toUtf8());
        return path;
    }
    // An empty library of our own, without the starter entries.
    void emptyLibrary(const QString& path) {
        WordDatabase db;
        ASSERT_EQ(db.open(path), WordDatabase::OpenResult::Created);
    }
};

TEST_F(LibraryCommandTest, ExportImportRoundTripKeepsEveryField) {
    const QString first = dir.filePath(QStringLiteral("first.mdb"));
    {
        WordDatabase db;
        ASSERT_EQ(db.open(first), WordDatabase::OpenResult::Created);
        WordEntry odd;
        odd.tgrade = gbk(QStringLiteral("基本"));
        odd.tclass = gbk(QStringLiteral("通用"));
        odd.terror = gbk(QStringLiteral("a\tb\\c"));
        odd.tright = gbk(QStringLiteral("it's;[x]"));
        odd.tbut = gbk(QStringLiteral("两行\r\n第二;"));
        odd.tdate = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5));
        ASSERT_GT(db.addEntry(odd), 0);
        WordEntry plain = odd;
        plain.terror = gbk(QStringLiteral("按装"));
        plain.tbut.clear();
        plain.tdate = QDateTime();
        ASSERT_GT(db.addEntry(plain), 0);
    }
    const Result exported = run({QStringLiteral("export"), QStringLiteral("--library"), first});
    ASSERT_EQ(exported.status, 0) << exported.err.constData();
    const QList<QByteArray> lines = exported.out.split('\n');
    ASSERT_EQ(lines.size(), 4);  // header, two entries, the last line break
    EXPECT_EQ(lines[0], "tid\ttgrade\ttclass\tterror\ttright\ttbut\ttdate");
    EXPECT_EQ(
        lines[1],
        QStringLiteral("1\t基本\t通用\ta\\tb\\\\c\tit's;[x]\t两行\\r\\n第二;\t2026-01-02 03:04:05")
            .toUtf8());

    const QString second = dir.filePath(QStringLiteral("second.mdb"));
    emptyLibrary(second);
    const QString text = writeText(QStringLiteral("export.tsv"), QString::fromUtf8(exported.out));
    const Result imported =
        run({QStringLiteral("import"), text, QStringLiteral("--library"), second});
    ASSERT_EQ(imported.status, 0) << imported.err.constData();
    EXPECT_EQ(imported.err, QStringLiteral("已导入 2 组词汇\n").toUtf8());
    EXPECT_EQ(run({QStringLiteral("export"), QStringLiteral("--library"), second}).out,
              exported.out);
}

TEST_F(LibraryCommandTest, AnyBadLineRefusesTheWholeFile) {
    const QString target = dir.filePath(QStringLiteral("target.mdb"));
    emptyLibrary(target);
    const struct {
        const char* text;
        const char* said;
    } cases[] = {
        {"tgrade\ttclass\tterror\ttright\ttbut\n基本\t通用\t甲\t乙\t\n基本\t通用\t丙\t丁\n",
         "第3行"},
        {"tgrade\ttclass\tterror\ttright\ttbut\r\n基本\t通用\t한\t乙\t\r\n", "第2行"},
        {"tgrade\ttclass\tterror\ttright\ttbut\n基本\t通用\t甲\\q\t乙\t\n", "第2行"},
        {"tid\ttgrade\ttclass\tterror\ttright\ttbut\ttdate\n1\t基本\t通用\t甲\t乙\t\tsoon\n",
         "第2行"},
        {"grade\tclass\twrong\tright\texceptions\n", "第1行"},
        // A stray byte the export kept (U+F7B0 is the byte B0): half of a character.
        {"tid\ttgrade\ttclass\tterror\ttright\ttbut\ttdate\n1\t基本\t通用\t甲\t乙\t\t\n"
         "2\t基本\t通用\t\uF7B0\t乙\t\t\n",
         "第3行"},
    };
    for (const auto& c : cases) {
        const QString file = writeText(QStringLiteral("bad.tsv"), QString::fromUtf8(c.text));
        const Result r = run({QStringLiteral("import"), file, QStringLiteral("--library"), target});
        EXPECT_EQ(r.status, 2) << c.text;
        EXPECT_TRUE(QString::fromUtf8(r.err).contains(QString::fromUtf8(c.said)))
            << r.err.constData();
        WordDatabase db;
        ASSERT_EQ(db.open(target), WordDatabase::OpenResult::Opened);
        EXPECT_TRUE(db.allEntries().empty()) << c.text;
    }
    // A library that does not exist is not made by a typing error.
    const QString good = writeText(QStringLiteral("good.tsv"),
                                   QStringLiteral("tgrade\ttclass\tterror\ttright\ttbut\n"));
    EXPECT_EQ(run({QStringLiteral("import"), good, QStringLiteral("--library"),
                   dir.filePath(QStringLiteral("typo.mdb"))})
                  .status,
              2);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("typo.mdb"))));
    EXPECT_EQ(run({QStringLiteral("import")}).status, 2);
}

TEST_F(LibraryCommandTest, AReadOnlyLibraryIsExportedButNotImportedInto) {
    const QString text =
        writeText(QStringLiteral("new.tsv"), QStringLiteral("tgrade\ttclass\tterror\ttright\ttbut\n"
                                                            "基本\t通用\t帐号\t账号\t\n"));
    emptyLibrary(libraryPath());
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0777), 0);
    ASSERT_TRUE(giveToNobody(libraryPath(), 0444));
    const auto said = runAsNobody([&] {
        const Result exported = run({QStringLiteral("export")});
        const Result imported = run({QStringLiteral("import"), text});
        return QByteArray::number(exported.status) + ' ' + QByteArray::number(imported.status) +
               ' ' + imported.err;
    });
    if (!said) GTEST_SKIP() << "needs root to act as another user";
    EXPECT_EQ(*said, QStringLiteral("0 2 tavrel-library：词库为只读，无法保存！\n").toUtf8());
    WordDatabase db;
    ASSERT_EQ(db.open(libraryPath()), WordDatabase::OpenResult::Opened);
    EXPECT_TRUE(db.allEntries().empty());
}

TEST_F(LibraryCommandTest, FiveColumnImportsHaveNoDate) {
    const QString file =
        writeText(QStringLiteral("mine.tsv"),
                  QChar(0xFEFF) + QStringLiteral("tgrade\ttclass\tterror\ttright\ttbut\n"
                                                 "高级\t法律\t帐号\t账号\t帐号本\n"));
    emptyLibrary(libraryPath());
    ASSERT_EQ(run({QStringLiteral("import"), file}).status, 0);
    WordDatabase db;
    ASSERT_EQ(db.open(libraryPath()), WordDatabase::OpenResult::Opened);
    const std::vector<WordEntry> entries = db.allEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].tclass, gbk(QStringLiteral("法律")));
    EXPECT_EQ(entries[0].tbut, gbk(QStringLiteral("帐号本")));
    EXPECT_FALSE(entries[0].tdate.isValid());
    EXPECT_TRUE(db.entriesLaterThan(QDateTime()).empty());
}

TEST(StarterLibrary, ANewLibraryHoldsTheStarterEntriesWithoutDates) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("jdck.mdb"));
    WordDatabase db;
    ASSERT_TRUE(StarterLibrary::openOrCreate(db, path));
    const std::vector<WordEntry> entries = db.allEntries();
    const auto expected = LibraryText::read(StarterLibrary::text(), nullptr);
    ASSERT_TRUE(expected.has_value());
    ASSERT_EQ(entries.size(), expected->size());
    EXPECT_GT(entries.size(), 1700u);
    for (const WordEntry& e : entries) {
        ASSERT_FALSE(e.tdate.isValid());
        ASSERT_FALSE(e.terror.isEmpty());
    }
    EXPECT_EQ(db.entriesForMode(ProofreadMode::Quick).size(), 1280u);
    EXPECT_TRUE(db.entriesLaterThan(QDateTime()).empty());

    // An existing library is opened as it is: nothing is added twice.
    db.close();
    WordDatabase again;
    ASSERT_TRUE(StarterLibrary::openOrCreate(again, path));
    EXPECT_EQ(again.allEntries().size(), entries.size());

    // A file that is not a library stays as it was.
    const QString foreign = dir.filePath(QStringLiteral("foreign.mdb"));
    QFile f(foreign);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a library at all");
    f.close();
    WordDatabase other;
    EXPECT_FALSE(StarterLibrary::openOrCreate(other, foreign));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "not a library at all");
}

}  // namespace
