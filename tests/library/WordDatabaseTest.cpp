#include <gtest/gtest.h>

#define SQLITE_HAS_CODEC 1
#include <sqlite3.h>
#include <sys/stat.h>

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>

#include "library/WordDatabase.h"
#include "support/AsNobody.h"
#include "support/LibraryProbe.h"
#include "support/SmallDisk.h"
#include "text/GbkCodec.h"

namespace {

WordEntry makeEntry(const char* grade, const char* wrong, const char* right,
                    const char* exceptions = "") {
    WordEntry e;
    e.tgrade = gbk(QString::fromUtf8(grade));
    e.tclass = gbk(QStringLiteral("通用"));
    e.terror = gbk(QString::fromUtf8(wrong));
    e.tright = gbk(QString::fromUtf8(right));
    e.tbut = gbk(QString::fromUtf8(exceptions));
    return e;
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Opens the file with SQLCipher directly and runs one read with the given key.
int probeWithKey(const QString& path, const QByteArray& key) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    if (!key.isEmpty()) sqlite3_key(db, key.constData(), static_cast<int>(key.size()));
    const int rc =
        sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return rc;
}

QStringList columnsOf(const QString& path, const char* table) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_key(db, WordDatabase::kPassword, static_cast<int>(sizeof WordDatabase::kPassword - 1));
    sqlite3_stmt* stmt = nullptr;
    const QByteArray sql = QByteArray("PRAGMA table_info(") + table + ")";
    sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr);
    QStringList names;
    while (sqlite3_step(stmt) == SQLITE_ROW)
        names << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1)));
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return names;
}

// The permission bits of a file, or -1 when it is not there.
int modeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

class WordDatabaseTest : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("jdck.mdb"));
    WordDatabase db;
};

TEST_F(WordDatabaseTest, NewFileIsEncryptedAndHasBothTablesInOrder) {
    ASSERT_EQ(db.open(path), WordDatabase::OpenResult::Created);
    ASSERT_NE(db.addEntry(makeEntry("基本", "按装", "安装")), 0);
    db.close();

    const QByteArray bytes = readFile(path);
    ASSERT_GT(bytes.size(), 0);
    EXPECT_FALSE(bytes.startsWith("SQLite format 3"));
    EXPECT_FALSE(bytes.contains(gbk(QStringLiteral("按装"))));
    EXPECT_EQ(probeWithKey(path, "not the password"), SQLITE_NOTADB);
    EXPECT_EQ(probeWithKey(path, QByteArray()), SQLITE_NOTADB);
    EXPECT_EQ(probeWithKey(path, WordDatabase::kPassword), SQLITE_OK);

    EXPECT_EQ(columnsOf(path, "words"),
              QStringList({"tid", "tgrade", "tclass", "terror", "tright", "tbut", "tdate"}));
    EXPECT_EQ(columnsOf(path, "tuserinfo"),
              QStringList({"pmachine", "puser", "pemail", "psmtp", "pfxyhm", "pdlkl", "pupdate",
                           "pdwdate", "pzdgx"}));

    EXPECT_EQ(db.open(path), WordDatabase::OpenResult::Opened);
    ASSERT_EQ(db.allEntries().size(), 1u);
}

TEST_F(WordDatabaseTest, UnreadableFilesAreReportedAndLeftByteIdentical) {
    // Another format, a damaged library, and a library under another key.
    const QByteArray garbage = QByteArray("Standard Jet DB\0\0\0", 18).repeated(300);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(garbage);
    f.close();
    EXPECT_EQ(db.open(path), WordDatabase::OpenResult::Failed);
    EXPECT_FALSE(db.isOpen());
    EXPECT_FALSE(db.lastError().isEmpty());
    EXPECT_EQ(readFile(path), garbage);

    const QString good = dir.filePath(QStringLiteral("good.mdb"));
    ASSERT_EQ(db.open(good), WordDatabase::OpenResult::Created);
    db.addEntry(makeEntry("基本", "按装", "安装"));
    db.close();
    QByteArray damaged = readFile(good);
    for (qsizetype i = 0; i < 64; ++i) damaged[i] = static_cast<char>(damaged[i] ^ 0x5A);
    QFile g(good);
    ASSERT_TRUE(g.open(QIODevice::WriteOnly));
    g.write(damaged);
    g.close();
    const QByteArray hash = QCryptographicHash::hash(damaged, QCryptographicHash::Sha256);
    EXPECT_EQ(db.open(good), WordDatabase::OpenResult::Failed);
    EXPECT_EQ(QCryptographicHash::hash(readFile(good), QCryptographicHash::Sha256), hash);

    // An empty file would pass for an empty database; it is not a library.
    const QString empty = dir.filePath(QStringLiteral("empty.mdb"));
    QFile e(empty);
    ASSERT_TRUE(e.open(QIODevice::WriteOnly));
    e.close();
    EXPECT_EQ(db.open(empty), WordDatabase::OpenResult::Failed);
    EXPECT_EQ(readFile(empty).size(), 0);
}

TEST_F(WordDatabaseTest, CannotCreateInMissingDirectory) {
    EXPECT_EQ(db.open(dir.filePath(QStringLiteral("no/such/dir/jdck.mdb"))),
              WordDatabase::OpenResult::Failed);
    EXPECT_FALSE(db.isOpen());
    EXPECT_TRUE(db.allEntries().empty());
    EXPECT_FALSE(db.lastError().isEmpty());
}

TEST_F(WordDatabaseTest, ModesSelectTheirGradesInTidOrder) {
    ASSERT_EQ(db.open(path), WordDatabase::OpenResult::Created);
    const qint64 a = db.addEntry(makeEntry("高级", "甲", "乙"));
    const qint64 b = db.addEntry(makeEntry("专业", "丙", "丁"));
    const qint64 c = db.addEntry(makeEntry("基本", "戊", "己"));
    const qint64 d = db.addEntry(makeEntry("基本", "庚", "辛"));
    db.addEntry(makeEntry("其他", "壬", "癸"));
    auto tids = [](const std::vector<WordEntry>& entries) {
        std::vector<qint64> out;
        for (const auto& e : entries) out.push_back(e.tid);
        return out;
    };
    EXPECT_EQ(tids(db.entriesForMode(ProofreadMode::Quick)), (std::vector<qint64>{c, d}));
    EXPECT_EQ(tids(db.entriesForMode(ProofreadMode::Fine)), (std::vector<qint64>{a, c, d}));
    EXPECT_EQ(db.entriesForMode(ProofreadMode::Professional).size(), 5u);
    EXPECT_EQ(db.entriesForMode(ProofreadMode::Professional).front().tid, a);
    EXPECT_LT(a, b);
}

TEST_F(WordDatabaseTest, EntriesRoundTripBytesQuotesAndEdits) {
    ASSERT_EQ(db.open(path), WordDatabase::OpenResult::Created);
    WordEntry e = makeEntry("基本", "O'Neil的", "奥尼尔的", "x';DROP TABLE words;--;a\"b");
    e.terror.append('\xFF');  // a stray byte survives as it is
    e.tdate = QDateTime(QDate(2024, 2, 29), QTime(23, 59, 58));
    e.tid = db.addEntry(e);
    ASSERT_GT(e.tid, 0);

    const auto stored = db.entry(e.tid);
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(*stored, e);
    const auto found = db.entriesWithForms(e.terror, e.tright);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found.front().tid, e.tid);
    EXPECT_TRUE(db.entriesWithForms(e.terror, gbk(QStringLiteral("别的"))).empty());

    e.tright = gbk(QStringLiteral("新的'正确"));
    e.tbut = QByteArray("");
    ASSERT_TRUE(db.updateEntry(e));
    EXPECT_EQ(*db.entry(e.tid), e);
    EXPECT_EQ(db.allEntries().size(), 1u);

    WordEntry missing = e;
    missing.tid = e.tid + 100;
    EXPECT_FALSE(db.updateEntry(missing));
    EXPECT_FALSE(db.entry(missing.tid).has_value());
}

TEST_F(WordDatabaseTest, EntriesLaterThanTheFirstMomentOfADate) {
    ASSERT_EQ(db.open(path), WordDatabase::OpenResult::Created);
    auto add = [&](const char* wrong, QDateTime when) {
        WordEntry e = makeEntry("基本", wrong, "正");
        e.tdate = when;
        return db.addEntry(e);
    };
    add("前", QDateTime(QDate(2010, 9, 30), QTime(23, 59, 59)));
    const qint64 sameDay = add("同", QDateTime(QDate(2010, 10, 1), QTime(0, 0, 1)));
    const qint64 later = add("后", QDateTime(QDate(2011, 1, 1), QTime(8, 0)));
    add("无", QDateTime());  // shipped entries carry no date and are never sent
    const auto after = db.entriesLaterThan(QDateTime(QDate(2010, 10, 1), QTime(0, 0)));
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].tid, sameDay);
    EXPECT_EQ(after[1].tid, later);
}

TEST_F(WordDatabaseTest, UserRecordsBelongToTheirComputer) {
    ASSERT_EQ(db.open(path), WordDatabase::OpenResult::Created);
    UserInfo other;
    other.pmachine = "777";
    other.puser = gbk(QStringLiteral("别人"));
    other.pzdgx = false;
    ASSERT_TRUE(db.createUserInfo(other));

    EXPECT_FALSE(db.userInfo("-42").has_value());
    UserInfo mine;
    mine.pmachine = "-42";
    mine.pzdgx = true;
    mine.pupdate = QDateTime(QDate(2010, 10, 1), QTime(0, 0));
    ASSERT_TRUE(db.createUserInfo(mine));
    EXPECT_FALSE(db.createUserInfo(mine)) << "one record per computer";

    mine.puser = gbk(QStringLiteral("张三'"));
    mine.pemail = "zs@example.org";
    mine.pdlkl = "p'w";
    mine.pzdgx = false;
    ASSERT_TRUE(db.writeUserInfo(mine));
    EXPECT_EQ(*db.userInfo("-42"), mine);
    EXPECT_EQ(*db.userInfo("777"), other);

    UserInfo nobody;
    nobody.pmachine = "1";
    EXPECT_FALSE(db.writeUserInfo(nobody));
}

TEST_F(WordDatabaseTest, TransactionsStoreAllOrNothing) {
    ASSERT_EQ(db.open(path), WordDatabase::OpenResult::Created);
    EXPECT_FALSE(db.inTransaction([&] {
        db.addEntry(makeEntry("基本", "一", "壹"));
        return false;
    }));
    EXPECT_TRUE(db.allEntries().empty());
    EXPECT_TRUE(db.inTransaction([&] { return db.addEntry(makeEntry("基本", "二", "贰")) != 0; }));
    EXPECT_EQ(db.allEntries().size(), 1u);
}

TEST_F(WordDatabaseTest, ANewLibraryAndItsLogAreTheOwnersAloneAnOldOneKeepsItsMode) {
    const mode_t umaskBefore = ::umask(022);
    const QString old = dir.filePath(QStringLiteral("old.mdb"));
    {
        WordDatabase first;
        ASSERT_EQ(first.open(old), WordDatabase::OpenResult::Created);
    }
    ASSERT_TRUE(QFile::setPermissions(
        old, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
    const struct {
        QString path;
        int mode;
    } cases[] = {{path, 0600}, {old, 0644}};
    for (const auto& c : cases) {
        WordDatabase library;
        ASSERT_NE(library.open(c.path), WordDatabase::OpenResult::Failed);
        ASSERT_GT(library.addEntry(makeEntry("基本", "按装", "安装")), 0);
        for (const char* suffix : {"", "-wal", "-shm"})
            EXPECT_EQ(modeOf(c.path + QLatin1String(suffix)), c.mode) << suffix;
    }
    ::umask(umaskBefore);
}

TEST_F(WordDatabaseTest, AReadOnlyLibraryIsReadWithoutLeavingFilesAndWorksOnceWritable) {
    // As the user `nobody`, who owns the file: a library made 0444, by itself
    // or beside the read-only log files an earlier open of it left behind.
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0777), 0);
    auto companionModes = [&] {
        std::vector<int> modes;
        for (const char* suffix : {"-wal", "-shm", "-journal"})
            modes.push_back(modeOf(path + QLatin1String(suffix)));
        return modes;
    };
    for (const bool leftovers : {false, true}) {
        QFile::remove(path);
        ASSERT_EQ(db.open(path), WordDatabase::OpenResult::Created);
        ASSERT_GT(db.addEntry(makeEntry("基本", "按装", "安装")), 0);
        db.close();
        ASSERT_TRUE(giveToNobody(path, 0444));
        if (leftovers) {
            // A plain read-only open, as SQLite makes it on its own.
            const auto counted =
                runAsNobody([&] { return QByteArray::number(LibraryProbe(path).rowCount()); });
            if (!counted) GTEST_SKIP() << "needs root to act as another user";
            ASSERT_EQ(*counted, "1");
            ASSERT_EQ(modeOf(path + QStringLiteral("-shm")), 0444);
        }

        const std::vector<int> before = companionModes();
        const auto readOnly = runAsNobody([&] {
            WordDatabase library;
            const bool opened = library.open(path) == WordDatabase::OpenResult::Opened;
            return QByteArray(opened ? "opened" : "failed") +
                   (library.isReadOnly() ? " read-only " : " writable ") +
                   QByteArray::number(qulonglong(library.allEntries().size())) +
                   (library.addEntry(makeEntry("基本", "帐号", "账号")) == 0 ? " refused"
                                                                             : " written");
        });
        if (!readOnly) GTEST_SKIP() << "needs root to act as another user";
        EXPECT_EQ(*readOnly, "opened read-only 1 refused") << leftovers;
        EXPECT_EQ(companionModes(), before) << "files beside the library made or changed";

        ASSERT_TRUE(giveToNobody(path, 0644));
        const auto writable = runAsNobody([&] {
            WordDatabase library;
            const bool opened = library.open(path) == WordDatabase::OpenResult::Opened;
            return QByteArray(opened ? "opened" : "failed") +
                   (library.addEntry(makeEntry("基本", "帐号", "账号")) == 0
                        ? " refused: " + library.lastError().toUtf8()
                        : " written");
        });
        EXPECT_EQ(*writable, "opened written") << leftovers;
    }
}

TEST_F(WordDatabaseTest, AFullDiskIsNamedWhenCreatingAndWhenWriting) {
    SmallDisk disk(256 * 1024);
    if (!disk.available()) GTEST_SKIP() << "needs root to mount a small disk";
    const QString early = disk.filePath(QStringLiteral("early.mdb"));
    WordDatabase library;
    ASSERT_EQ(library.open(early), WordDatabase::OpenResult::Created);
    disk.fill();

    EXPECT_EQ(library.addEntry(makeEntry("基本", "按装", "安装")), 0);
    EXPECT_TRUE(library.lastError().contains(QStringLiteral("磁盘空间不足")))
        << library.lastError().toStdString();

    const QString late = disk.filePath(QStringLiteral("jdck.mdb"));
    EXPECT_EQ(db.open(late), WordDatabase::OpenResult::Failed);
    EXPECT_EQ(db.openFailure(),
              QStringLiteral("词库文件无法创建：") + late + QStringLiteral("（磁盘空间不足）"));
    EXPECT_FALSE(QFile::exists(late)) << "a half-made library stays behind";
}

}  // namespace
