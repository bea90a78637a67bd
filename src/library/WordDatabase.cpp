#include "library/WordDatabase.h"

#include <cerrno>

#include <QFile>
#include <QFileInfo>

#include "library/SqlStatement.h"
#include "text/GbkCodec.h"
#include "text/SystemError.h"

namespace {

constexpr char kEntryColumns[] = "tid, tgrade, tclass, terror, tright, tbut, tdate";
constexpr char kUserColumns[] =
    "pmachine, puser, pemail, psmtp, pfxyhm, pdlkl, pupdate, pdwdate, pzdgx";

// Texts the program stores must read back as texts, also when empty.
QByteArray notNull(const QByteArray& value) { return value.isNull() ? QByteArray("") : value; }

}  // namespace

WordDatabase::~WordDatabase() { close(); }

WordDatabase::OpenResult WordDatabase::open(const QString& path) {
    close();
    path_ = path;
    const bool existed = QFileInfo::exists(path);
    creating_ = !existed;
    const bool opened = !existed || SqlConnection::isWritable(path)
                            ? connection_.open(path, !existed, kPassword, kBusyTimeoutMs)
                            : connection_.openReadOnly(path, kPassword, kBusyTimeoutMs);
    if (!opened) return OpenResult::Failed;

    if (!existed) {
        if (!createSchema()) {
            close();
            QFile::remove(path);  // our own half-made file, not the user's
            return OpenResult::Failed;
        }
        // A download commits every record on its own; with a rollback journal
        // each commit would wait for several syncs.
        connection_.useWriteAheadLog();
        return OpenResult::Created;
    }

    // A wrong key or a foreign file fails here, on the first read, with nothing written.
    SqlStatement probe(connection_.handle(),
                       "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN "
                       "('words', 'tuserinfo')");
    if (!probe.step() || probe.integer(0) != 2) {
        connection_.fail(QStringLiteral("%1 is not a readable library").arg(path));
        close();
        return OpenResult::Failed;
    }
    if (!isReadOnly()) {
        connection_.useWriteAheadLog();
        createFormIndex();      // files made before the index; without it the library still works
        createSettingsTable();  // files made before settings were kept
        createIgnoredTable();
    }
    connection_.clearError();
    return OpenResult::Opened;
}

void WordDatabase::close() { connection_.close(); }

QString WordDatabase::openFailure() const {
    const QString diskFull = systemErrorText(ENOSPC);
    if (creating_)
        return QStringLiteral("词库文件无法创建：") + path_ + QStringLiteral("（") +
               (connection_.diskFull() ? diskFull : lastError()) + QStringLiteral("）");
    return QStringLiteral("词库文件无法打开：") + path_ +
           (connection_.diskFull() ? QStringLiteral("（") + diskFull + QStringLiteral("）")
                                   : QString());
}

bool WordDatabase::createSchema() {
    return inTransaction([this] {
        return connection_.execute(
                   "CREATE TABLE words ("
                   " tid INTEGER PRIMARY KEY AUTOINCREMENT,"
                   " tgrade TEXT, tclass TEXT, terror TEXT, tright TEXT, tbut TEXT, tdate TEXT)") &&
               connection_.execute(
                   "CREATE TABLE tuserinfo ("
                   " pmachine TEXT NOT NULL UNIQUE, puser TEXT, pemail TEXT, psmtp TEXT,"
                   " pfxyhm TEXT, pdlkl TEXT, pupdate TEXT, pdwdate TEXT, pzdgx INTEGER)") &&
               createFormIndex() && createSettingsTable() && createIgnoredTable() &&
               connection_.execute("PRAGMA user_version = 1");
    });
}

bool WordDatabase::createFormIndex() {
    return connection_.execute("CREATE INDEX IF NOT EXISTS words_forms ON words (terror, tright)");
}

bool WordDatabase::createSettingsTable() {
    return connection_.execute(
        "CREATE TABLE IF NOT EXISTS tsettings (pmachine TEXT NOT NULL, pname TEXT NOT NULL,"
        " pvalue TEXT, PRIMARY KEY (pmachine, pname))");
}

bool WordDatabase::createIgnoredTable() {
    return connection_.execute(
        "CREATE TABLE IF NOT EXISTS tignored (tid INTEGER PRIMARY KEY AUTOINCREMENT,"
        " tfile TEXT, terror TEXT, tright TEXT, tphrase TEXT, tdate TEXT)");
}

std::vector<WordEntry> WordDatabase::selectEntries(const char* sql,
                                                   const std::vector<QByteArray>& values) {
    std::vector<WordEntry> entries;
    if (!connection_.isOpen()) {
        connection_.fail(QStringLiteral("library not open"));
        return entries;
    }
    SqlStatement s(connection_.handle(), sql);
    for (const QByteArray& v : values) s.bind(v);
    while (s.step()) entries.push_back(s.entry());
    if (!s.ok()) {
        connection_.fail(QStringLiteral("cannot read entries"));
        entries.clear();
    } else {
        connection_.clearError();
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
    if (!connection_.isOpen()) return connection_.fail(QStringLiteral("library not open")), 0;
    SqlStatement s(connection_.handle(),
                   "INSERT INTO words (tgrade, tclass, terror, tright, tbut, tdate) "
                   "VALUES (?, ?, ?, ?, ?, ?)");
    s.bind(notNull(e.tgrade))
        .bind(notNull(e.tclass))
        .bind(notNull(e.terror))
        .bind(notNull(e.tright))
        .bind(notNull(e.tbut))
        .bind(e.tdate);
    if (!s.run()) return connection_.fail(QStringLiteral("cannot add entry")), 0;
    connection_.clearError();
    return connection_.lastInsertId();
}

bool WordDatabase::addEntries(const std::vector<WordEntry>& entries) {
    return inTransaction([&] {
        for (const WordEntry& entry : entries)
            if (addEntry(entry) == 0) return false;
        return true;
    });
}

bool WordDatabase::updateEntry(const WordEntry& e) {
    if (!connection_.isOpen()) return connection_.fail(QStringLiteral("library not open"));
    SqlStatement s(connection_.handle(),
                   "UPDATE words SET tgrade = ?, tclass = ?, terror = ?, tright = ?, tbut = ?, "
                   "tdate = ? WHERE tid = ?");
    s.bind(notNull(e.tgrade))
        .bind(notNull(e.tclass))
        .bind(notNull(e.terror))
        .bind(notNull(e.tright))
        .bind(notNull(e.tbut))
        .bind(e.tdate)
        .bind(e.tid);
    if (!s.run()) return connection_.fail(QStringLiteral("cannot update entry"));
    if (connection_.changes() != 1)
        return connection_.fail(QStringLiteral("no entry %1").arg(e.tid));
    connection_.clearError();
    return true;
}

bool WordDatabase::updateEntryKeepingExceptions(const WordEntry& e) {
    if (!connection_.isOpen()) return connection_.fail(QStringLiteral("library not open"));
    SqlStatement s(connection_.handle(),
                   "UPDATE words SET tgrade = ?, tclass = ?, terror = ?, tright = ?, tdate = ? "
                   "WHERE tid = ?");
    s.bind(notNull(e.tgrade))
        .bind(notNull(e.tclass))
        .bind(notNull(e.terror))
        .bind(notNull(e.tright))
        .bind(e.tdate)
        .bind(e.tid);
    if (!s.run()) return connection_.fail(QStringLiteral("cannot update entry"));
    if (connection_.changes() != 1)
        return connection_.fail(QStringLiteral("no entry %1").arg(e.tid));
    connection_.clearError();
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
                         {SqlConnection::formatDateTime(moment)});
}

qint64 WordDatabase::addEntryKeepingNulls(const WordEntry& e) {
    if (!connection_.isOpen()) return connection_.fail(QStringLiteral("library not open")), 0;
    SqlStatement s(connection_.handle(),
                   "INSERT INTO words (tgrade, tclass, terror, tright, tbut, tdate) "
                   "VALUES (?, ?, ?, ?, ?, ?)");
    s.bind(e.tgrade).bind(e.tclass).bind(e.terror).bind(e.tright).bind(e.tbut).bind(e.tdate);
    if (!s.run()) return connection_.fail(QStringLiteral("cannot add entry")), 0;
    connection_.clearError();
    return connection_.lastInsertId();
}

bool WordDatabase::setExceptions(qint64 tid, const QByteArray& tbut) {
    if (!connection_.isOpen()) return connection_.fail(QStringLiteral("library not open"));
    SqlStatement s(connection_.handle(), "UPDATE words SET tbut = ? WHERE tid = ?");
    s.bind(notNull(tbut)).bind(tid);
    if (!s.run()) return connection_.fail(QStringLiteral("cannot update entry"));
    if (connection_.changes() != 1) return connection_.fail(QStringLiteral("no entry %1").arg(tid));
    connection_.clearError();
    return true;
}

std::optional<UserInfo> WordDatabase::userInfo(const QByteArray& machineId) {
    if (!connection_.isOpen())
        return connection_.fail(QStringLiteral("library not open")), std::nullopt;
    SqlStatement s(
        connection_.handle(),
        (QByteArray("SELECT ") + kUserColumns + " FROM tuserinfo WHERE pmachine = ?").constData());
    s.bind(machineId);
    if (!s.step()) {
        if (!s.ok())
            connection_.fail(QStringLiteral("cannot read the user record"));
        else
            connection_.clearError();
        return std::nullopt;
    }
    UserInfo u;
    u.pmachine = s.text(0);
    u.puser = s.text(1);
    u.pemail = s.text(2);
    u.psmtp = s.text(3);
    u.pfxyhm = s.text(4);
    u.pdlkl = s.text(5);
    u.pupdate = SqlConnection::parseDateTime(s.text(6));
    u.pdwdate = SqlConnection::parseDateTime(s.text(7));
    u.pzdgx = s.integer(8) != 0;
    connection_.clearError();
    return u;
}

bool WordDatabase::createUserInfo(const UserInfo& u) {
    if (!connection_.isOpen()) return connection_.fail(QStringLiteral("library not open"));
    SqlStatement s(connection_.handle(), (QByteArray("INSERT INTO tuserinfo (") + kUserColumns +
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
    if (!s.run()) return connection_.fail(QStringLiteral("cannot create the user record"));
    connection_.clearError();
    return true;
}

bool WordDatabase::writeUserInfo(const UserInfo& u) {
    if (!connection_.isOpen()) return connection_.fail(QStringLiteral("library not open"));
    SqlStatement s(connection_.handle(),
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
    if (!s.run()) return connection_.fail(QStringLiteral("cannot write the user record"));
    if (connection_.changes() != 1)
        return connection_.fail(QStringLiteral("no user record to write"));
    connection_.clearError();
    return true;
}

std::optional<QByteArray> WordDatabase::setting(const QByteArray& machineId, const char* name) {
    if (!connection_.isOpen())
        return connection_.fail(QStringLiteral("library not open")), std::nullopt;
    SqlStatement s(connection_.handle(),
                   "SELECT pvalue FROM tsettings WHERE pmachine = ? AND pname = ?");
    s.bind(machineId).bind(QByteArray(name));
    // No table (an old read-only library) is the same as nothing remembered.
    const bool found = s.step();
    connection_.clearError();
    if (!found) return std::nullopt;
    return s.text(0);
}

bool WordDatabase::writeSetting(const QByteArray& machineId, const char* name,
                                const QByteArray& value) {
    if (!connection_.isOpen()) return connection_.fail(QStringLiteral("library not open"));
    SqlStatement s(connection_.handle(),
                   value.isNull() ? "DELETE FROM tsettings WHERE pmachine = ? AND pname = ?"
                                  : "INSERT OR REPLACE INTO tsettings (pmachine, pname, pvalue) "
                                    "VALUES (?, ?, ?)");
    s.bind(machineId).bind(QByteArray(name));
    if (!value.isNull()) s.bind(value);
    if (!s.run()) return connection_.fail(QStringLiteral("cannot store a setting"));
    connection_.clearError();
    return true;
}

std::vector<IgnoredOccurrence> WordDatabase::ignoredOccurrences() {
    std::vector<IgnoredOccurrence> all;
    if (!connection_.isOpen()) return connection_.fail(QStringLiteral("library not open")), all;
    SqlStatement s(connection_.handle(),
                   "SELECT tid, tfile, terror, tright, tphrase, tdate FROM tignored ORDER BY tid");
    while (s.step())
        all.push_back({s.integer(0), s.text(1), s.text(2), s.text(3), s.text(4),
                       SqlConnection::parseDateTime(s.text(5))});
    // No table (an old read-only library) is the same as nothing ignored; a
    // table that cannot be read is not.
    if (!s.ok() && hasTable("tignored")) {
        connection_.fail(QStringLiteral("cannot read ignored occurrences"));
        all.clear();
        return all;
    }
    connection_.clearError();
    return all;
}

bool WordDatabase::hasTable(const char* name) {
    SqlStatement s(connection_.handle(),
                   "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = ?");
    s.bind(QByteArray(name));
    // Unreadable counts as there, so that its failure is not taken for absence.
    return !s.step() || s.integer(0) > 0;
}

bool WordDatabase::isIntact() {
    if (!connection_.isOpen()) return connection_.fail(QStringLiteral("library not open"));
    SqlStatement s(connection_.handle(), "PRAGMA quick_check");
    QByteArray first;
    if (s.step()) first = s.text(0);
    if (!s.ok()) return connection_.fail(QStringLiteral("cannot check the library"));
    if (first != "ok")
        return connection_.failWith(QStringLiteral("文件已损坏（") + QString::fromUtf8(first) +
                                    QStringLiteral("）"));
    connection_.clearError();
    return true;
}

qint64 WordDatabase::addIgnored(const IgnoredOccurrence& i) {
    if (!connection_.isOpen()) return connection_.fail(QStringLiteral("library not open")), 0;
    SqlStatement s(connection_.handle(),
                   "INSERT INTO tignored (tfile, terror, tright, tphrase, tdate) "
                   "VALUES (?, ?, ?, ?, ?)");
    s.bind(notNull(i.file))
        .bind(notNull(i.wrong))
        .bind(notNull(i.right))
        .bind(notNull(i.phrase))
        .bind(i.date);
    if (!s.run()) return connection_.fail(QStringLiteral("cannot store an ignored occurrence")), 0;
    connection_.clearError();
    return connection_.lastInsertId();
}

bool WordDatabase::removeIgnored(qint64 id) {
    if (!connection_.isOpen()) return connection_.fail(QStringLiteral("library not open"));
    SqlStatement s(connection_.handle(), "DELETE FROM tignored WHERE tid = ?");
    s.bind(id);
    if (!s.run()) return connection_.fail(QStringLiteral("cannot remove an ignored occurrence"));
    connection_.clearError();
    return true;
}
