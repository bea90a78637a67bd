#include "library/WordDatabase.h"

#define SQLITE_HAS_CODEC 1
#include <sqlite3.h>

#include <QFile>
#include <QFileInfo>

#include "documents/GbkCodec.h"

namespace {

constexpr char kEntryColumns[] = "tid, tgrade, tclass, terror, tright, tbut, tdate";
constexpr char kUserColumns[] =
    "pmachine, puser, pemail, psmtp, pfxyhm, pdlkl, pupdate, pdwdate, pzdgx";
constexpr char kDateTimeFormat[] = "yyyy-MM-dd HH:mm:ss";

// One prepared statement, finalized when it goes out of scope.
class Statement {
  public:
    Statement(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) stmt_ = nullptr;
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return stmt_ != nullptr && !failed_; }

    // Binds texts in order; a null QByteArray becomes NULL.
    Statement& bind(const QByteArray& value) {
        const int index = ++bound_;
        if (!stmt_) return *this;
        const int rc = value.isNull()
                           ? sqlite3_bind_null(stmt_, index)
                           : sqlite3_bind_text(stmt_, index, value.constData(),
                                               static_cast<int>(value.size()), SQLITE_TRANSIENT);
        failed_ = failed_ || rc != SQLITE_OK;
        return *this;
    }
    Statement& bind(qint64 value) {
        const int index = ++bound_;
        if (stmt_) failed_ = failed_ || sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK;
        return *this;
    }
    Statement& bind(const QDateTime& value) {
        return bind(value.isValid() ? WordDatabase::formatDateTime(value).toLatin1()
                                    : QByteArray());
    }

    // True while a row is current; false at the end or on an error (see ok()).
    bool step() {
        if (!ok()) return false;
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) return true;
        failed_ = rc != SQLITE_DONE;
        return false;
    }
    bool run() {
        step();
        return ok();
    }

    QByteArray text(int column) const {
        if (sqlite3_column_type(stmt_, column) == SQLITE_NULL) return QByteArray();
        const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
        const int size = sqlite3_column_bytes(stmt_, column);
        return data ? QByteArray(data, size) : QByteArray("");
    }
    qint64 integer(int column) const { return sqlite3_column_int64(stmt_, column); }

  private:
    sqlite3_stmt* stmt_ = nullptr;
    int bound_ = 0;
    bool failed_ = false;
};

WordEntry readEntry(const Statement& s) {
    WordEntry e;
    e.tid = s.integer(0);
    e.tgrade = s.text(1);
    e.tclass = s.text(2);
    e.terror = s.text(3);
    e.tright = s.text(4);
    e.tbut = s.text(5);
    e.tdate = WordDatabase::parseDateTime(s.text(6));
    return e;
}

// Texts the program stores must read back as texts, also when empty.
QByteArray notNull(const QByteArray& value) { return value.isNull() ? QByteArray("") : value; }

}  // namespace

WordDatabase::~WordDatabase() { close(); }

QString WordDatabase::formatDateTime(const QDateTime& value) {
    return value.toString(QLatin1String(kDateTimeFormat));
}

QDateTime WordDatabase::parseDateTime(const QByteArray& text) {
    if (text.isEmpty()) return QDateTime();
    // The library is read whole when its window opens, and the general parser
    // takes tens of microseconds per value; the form we write is read directly.
    static constexpr char kShape[] = "0000-00-00 00:00:00";
    if (text.size() == qsizetype(sizeof kShape - 1)) {
        bool shaped = true;
        for (qsizetype i = 0; i < text.size() && shaped; ++i)
            shaped = kShape[i] == '0' ? (text[i] >= '0' && text[i] <= '9') : text[i] == kShape[i];
        auto number = [&](int at, int digits) {
            int value = 0;
            for (int i = at; i < at + digits; ++i) value = value * 10 + (text[i] - '0');
            return value;
        };
        if (shaped) {
            const QDate date(number(0, 4), number(5, 2), number(8, 2));
            const QTime time(number(11, 2), number(14, 2), number(17, 2));
            if (date.isValid() && time.isValid()) return QDateTime(date, time);
        }
    }
    return QDateTime::fromString(QString::fromLatin1(text), QLatin1String(kDateTimeFormat));
}

bool WordDatabase::fail(const QString& what) {
    lastError_ = what;
    if (db_) lastError_ += QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(db_));
    return false;
}

bool WordDatabase::execute(const char* sql) {
    if (!db_) return fail(QStringLiteral("library not open"));
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        lastError_ = QString::fromUtf8(message ? message : "error");
        sqlite3_free(message);
        return false;
    }
    return true;
}

WordDatabase::OpenResult WordDatabase::open(const QString& path) {
    close();
    path_ = path;
    lastError_.clear();
    const bool existed = QFileInfo::exists(path);
    // An existing file is opened without CREATE, so a failure never makes a new one in its place.
    const int flags = SQLITE_OPEN_READWRITE | (existed ? 0 : SQLITE_OPEN_CREATE);
    const QByteArray nativePath = QFile::encodeName(path);
    if (sqlite3_open_v2(nativePath.constData(), &db_, flags, nullptr) != SQLITE_OK) {
        fail(QStringLiteral("cannot open %1").arg(path));
        close();
        path_ = path;
        return OpenResult::Failed;
    }
    // The first option of the original connection chose a client-side cursor,
    // which this layer has no use for; the second is the busy time-out.
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    if (sqlite3_key(db_, kPassword, static_cast<int>(sizeof kPassword - 1)) != SQLITE_OK) {
        fail(QStringLiteral("cannot key %1").arg(path));
        close();
        path_ = path;
        return OpenResult::Failed;
    }

    if (!existed) {
        if (!createSchema()) {
            const QString reason = lastError_;
            close();
            QFile::remove(path);  // our own half-made file, not the user's
            path_ = path;
            lastError_ = reason;
            return OpenResult::Failed;
        }
        useWriteAheadLog();
        return OpenResult::Created;
    }

    // A wrong key or a foreign file fails here, on the first read, with nothing written.
    Statement probe(db_,
                    "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN "
                    "('words', 'tuserinfo')");
    if (!probe.step() || probe.integer(0) != 2) {
        fail(QStringLiteral("%1 is not a readable library").arg(path));
        close();
        path_ = path;
        return OpenResult::Failed;
    }
    useWriteAheadLog();
    createFormIndex();  // files made before the index; without it the library still works
    return OpenResult::Opened;
}

void WordDatabase::close() {
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
}

bool WordDatabase::createSchema() {
    return inTransaction([this] {
        return execute(
                   "CREATE TABLE words ("
                   " tid INTEGER PRIMARY KEY AUTOINCREMENT,"
                   " tgrade TEXT, tclass TEXT, terror TEXT, tright TEXT, tbut TEXT, tdate TEXT)") &&
               execute(
                   "CREATE TABLE tuserinfo ("
                   " pmachine TEXT NOT NULL UNIQUE, puser TEXT, pemail TEXT, psmtp TEXT,"
                   " pfxyhm TEXT, pdlkl TEXT, pupdate TEXT, pdwdate TEXT, pzdgx INTEGER)") &&
               createFormIndex() && execute("PRAGMA user_version = 1");
    });
}

void WordDatabase::useWriteAheadLog() {
    // A download commits every record on its own; with a rollback journal each
    // commit waits for several syncs. The log keeps the file whole on a crash
    // and syncs at checkpoints only.
    execute("PRAGMA journal_mode = WAL");
    execute("PRAGMA synchronous = NORMAL");
}

bool WordDatabase::createFormIndex() {
    return execute("CREATE INDEX IF NOT EXISTS words_forms ON words (terror, tright)");
}

std::vector<WordEntry> WordDatabase::selectEntries(const char* sql,
                                                   const std::vector<QByteArray>& values) {
    std::vector<WordEntry> entries;
    if (!db_) {
        fail(QStringLiteral("library not open"));
        return entries;
    }
    Statement s(db_, sql);
    for (const QByteArray& v : values) s.bind(v);
    while (s.step()) entries.push_back(readEntry(s));
    if (!s.ok()) {
        fail(QStringLiteral("cannot read entries"));
        entries.clear();
    } else {
        lastError_.clear();
    }
    return entries;
}

std::vector<WordEntry> WordDatabase::entriesForMode(ProofreadMode mode) {
    const QByteArray select = QByteArray("SELECT ") + kEntryColumns + " FROM words ";
    switch (mode) {
        case ProofreadMode::Quick:
            return selectEntries((select + "WHERE tgrade = ? ORDER BY tid").constData(),
                                 {gbk(QStringLiteral("基本"))});
        case ProofreadMode::Fine:
            return selectEntries(
                (select + "WHERE tgrade = ? OR tgrade = ? ORDER BY tid").constData(),
                {gbk(QStringLiteral("基本")), gbk(QStringLiteral("高级"))});
        case ProofreadMode::Professional:
            break;
    }
    return selectEntries((select + "ORDER BY tid").constData(), {});
}

std::vector<WordEntry> WordDatabase::allEntries() {
    return selectEntries(
        (QByteArray("SELECT ") + kEntryColumns + " FROM words ORDER BY tid ASC").constData(), {});
}

std::optional<WordEntry> WordDatabase::entry(qint64 tid) {
    auto found = selectEntries(
        (QByteArray("SELECT ") + kEntryColumns + " FROM words WHERE tid = ?").constData(),
        {QByteArray::number(tid)});
    if (found.empty()) return std::nullopt;
    return found.front();
}

qint64 WordDatabase::addEntry(const WordEntry& e) {
    if (!db_) return fail(QStringLiteral("library not open")), 0;
    Statement s(db_,
                "INSERT INTO words (tgrade, tclass, terror, tright, tbut, tdate) "
                "VALUES (?, ?, ?, ?, ?, ?)");
    s.bind(notNull(e.tgrade))
        .bind(notNull(e.tclass))
        .bind(notNull(e.terror))
        .bind(notNull(e.tright))
        .bind(notNull(e.tbut))
        .bind(e.tdate);
    if (!s.run()) return fail(QStringLiteral("cannot add entry")), 0;
    lastError_.clear();
    return sqlite3_last_insert_rowid(db_);
}

bool WordDatabase::addEntries(const std::vector<WordEntry>& entries) {
    return inTransaction([&] {
        for (const WordEntry& entry : entries)
            if (addEntry(entry) == 0) return false;
        return true;
    });
}

bool WordDatabase::updateEntry(const WordEntry& e) {
    if (!db_) return fail(QStringLiteral("library not open"));
    Statement s(db_,
                "UPDATE words SET tgrade = ?, tclass = ?, terror = ?, tright = ?, tbut = ?, "
                "tdate = ? WHERE tid = ?");
    s.bind(notNull(e.tgrade))
        .bind(notNull(e.tclass))
        .bind(notNull(e.terror))
        .bind(notNull(e.tright))
        .bind(notNull(e.tbut))
        .bind(e.tdate)
        .bind(e.tid);
    if (!s.run()) return fail(QStringLiteral("cannot update entry"));
    if (sqlite3_changes(db_) != 1) return fail(QStringLiteral("no entry %1").arg(e.tid));
    lastError_.clear();
    return true;
}

bool WordDatabase::updateEntryKeepingExceptions(const WordEntry& e) {
    if (!db_) return fail(QStringLiteral("library not open"));
    Statement s(db_,
                "UPDATE words SET tgrade = ?, tclass = ?, terror = ?, tright = ?, tdate = ? "
                "WHERE tid = ?");
    s.bind(notNull(e.tgrade))
        .bind(notNull(e.tclass))
        .bind(notNull(e.terror))
        .bind(notNull(e.tright))
        .bind(e.tdate)
        .bind(e.tid);
    if (!s.run()) return fail(QStringLiteral("cannot update entry"));
    if (sqlite3_changes(db_) != 1) return fail(QStringLiteral("no entry %1").arg(e.tid));
    lastError_.clear();
    return true;
}

std::vector<WordEntry> WordDatabase::entriesWithForms(const QByteArray& wrong,
                                                      const QByteArray& right) {
    return selectEntries((QByteArray("SELECT ") + kEntryColumns +
                          " FROM words WHERE terror = ? AND tright = ? ORDER BY tid")
                             .constData(),
                         {notNull(wrong), notNull(right)});
}

std::vector<WordEntry> WordDatabase::entriesLaterThan(const QDateTime& moment) {
    const QByteArray select = QByteArray("SELECT ") + kEntryColumns + " FROM words WHERE ";
    if (!moment.isValid())
        return selectEntries((select + "tdate IS NOT NULL ORDER BY tid").constData(), {});
    return selectEntries((select + "tdate > ? ORDER BY tid").constData(),
                         {formatDateTime(moment).toLatin1()});
}

qint64 WordDatabase::addEntryKeepingNulls(const WordEntry& e) {
    if (!db_) return fail(QStringLiteral("library not open")), 0;
    Statement s(db_,
                "INSERT INTO words (tgrade, tclass, terror, tright, tbut, tdate) "
                "VALUES (?, ?, ?, ?, ?, ?)");
    s.bind(e.tgrade).bind(e.tclass).bind(e.terror).bind(e.tright).bind(e.tbut).bind(e.tdate);
    if (!s.run()) return fail(QStringLiteral("cannot add entry")), 0;
    lastError_.clear();
    return sqlite3_last_insert_rowid(db_);
}

bool WordDatabase::setExceptions(qint64 tid, const QByteArray& tbut) {
    if (!db_) return fail(QStringLiteral("library not open"));
    Statement s(db_, "UPDATE words SET tbut = ? WHERE tid = ?");
    s.bind(notNull(tbut)).bind(tid);
    if (!s.run()) return fail(QStringLiteral("cannot update entry"));
    if (sqlite3_changes(db_) != 1) return fail(QStringLiteral("no entry %1").arg(tid));
    lastError_.clear();
    return true;
}

std::optional<UserInfo> WordDatabase::userInfo(const QByteArray& machineId) {
    if (!db_) return fail(QStringLiteral("library not open")), std::nullopt;
    Statement s(
        db_,
        (QByteArray("SELECT ") + kUserColumns + " FROM tuserinfo WHERE pmachine = ?").constData());
    s.bind(machineId);
    if (!s.step()) {
        if (!s.ok())
            fail(QStringLiteral("cannot read the user record"));
        else
            lastError_.clear();
        return std::nullopt;
    }
    UserInfo u;
    u.pmachine = s.text(0);
    u.puser = s.text(1);
    u.pemail = s.text(2);
    u.psmtp = s.text(3);
    u.pfxyhm = s.text(4);
    u.pdlkl = s.text(5);
    u.pupdate = parseDateTime(s.text(6));
    u.pdwdate = parseDateTime(s.text(7));
    u.pzdgx = s.integer(8) != 0;
    lastError_.clear();
    return u;
}

bool WordDatabase::createUserInfo(const UserInfo& u) {
    if (!db_) return fail(QStringLiteral("library not open"));
    Statement s(db_, (QByteArray("INSERT INTO tuserinfo (") + kUserColumns +
                      ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)")
                         .constData());
    s.bind(u.pmachine)
        .bind(u.puser)
        .bind(u.pemail)
        .bind(u.psmtp)
        .bind(u.pfxyhm)
        .bind(u.pdlkl)
        .bind(u.pupdate)
        .bind(u.pdwdate)
        .bind(qint64(u.pzdgx ? 1 : 0));
    if (!s.run()) return fail(QStringLiteral("cannot create the user record"));
    lastError_.clear();
    return true;
}

bool WordDatabase::writeUserInfo(const UserInfo& u) {
    if (!db_) return fail(QStringLiteral("library not open"));
    Statement s(db_,
                "UPDATE tuserinfo SET puser = ?, pemail = ?, psmtp = ?, pfxyhm = ?, pdlkl = ?, "
                "pupdate = ?, pdwdate = ?, pzdgx = ? WHERE pmachine = ?");
    s.bind(u.puser)
        .bind(u.pemail)
        .bind(u.psmtp)
        .bind(u.pfxyhm)
        .bind(u.pdlkl)
        .bind(u.pupdate)
        .bind(u.pdwdate)
        .bind(qint64(u.pzdgx ? 1 : 0))
        .bind(u.pmachine);
    if (!s.run()) return fail(QStringLiteral("cannot write the user record"));
    if (sqlite3_changes(db_) != 1) return fail(QStringLiteral("no user record to write"));
    lastError_.clear();
    return true;
}
