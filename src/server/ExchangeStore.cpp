#include "server/ExchangeStore.h"

#include <sys/stat.h>

#include <QDir>
#include <QFileInfo>

#include <cerrno>

#include <utility>

#include "library/SqlStatement.h"
#include "online/ServerProtocol.h"
#include "text/SystemError.h"

namespace {

constexpr char kPending[] = "pending";
// The entry's columns first, in the order SqlStatement::entry() reads them.
constexpr char kSubmissionColumns[] =
    "id, tgrade, tclass, terror, tright, tbut, received, usid, usnm,"
    " (SELECT usemail FROM users WHERE users.usid = submissions.usid)";

// Texts that reach the download must not read back as absent.
QByteArray notNull(const QByteArray& value) { return value.isNull() ? QByteArray("") : value; }

Submission readSubmission(const SqlStatement& s) {
    Submission sub;
    sub.entry = s.entry();
    sub.id = std::exchange(sub.entry.tid, 0);
    sub.received = std::exchange(sub.entry.tdate, QDateTime());
    sub.usid = s.text(7);
    sub.usnm = s.text(8);
    sub.usemail = s.text(9);
    return sub;
}

// The submitters' names and addresses are nobody else's business: what the
// server makes on its way to the data directory is its owner's alone.
bool makePrivatePath(const QString& directory) {
    const QString path = QDir::cleanPath(QDir(directory).absolutePath());
    if (QFileInfo(path).isDir()) return true;
    if (!makePrivatePath(QFileInfo(path).path())) return false;
    return ::mkdir(QFile::encodeName(path).constData(), 0700) == 0 || errno == EEXIST;
}

}  // namespace

bool ExchangeStore::open(const QString& directory, const QByteArray& key) {
    std::lock_guard lock(mutex_);
    if (!makePrivatePath(directory))
        return connection_.fail(
            QStringLiteral("cannot create %1: %2").arg(directory, systemErrorText(errno)));
    const QString path = QDir(directory).filePath(QLatin1String(kFileName));
    const bool existed = QFileInfo::exists(path);
    if (!connection_.open(path, !existed, key, kBusyTimeoutMs)) return false;
    if (!existed) {
        if (!createSchema()) {
            const QString why = connection_.lastError();
            connection_.close();
            QFile::remove(path);  // our own half-made file
            connection_.fail(why);
            return false;
        }
    } else {
        // A wrong key or a foreign file fails on the first read, with nothing written.
        SqlStatement probe(connection_.handle(),
                           "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN "
                           "('submissions', 'published', 'users')");
        if (!probe.step() || probe.integer(0) != 3) {
            connection_.fail(QStringLiteral("%1 is not an exchange database").arg(path));
            connection_.close();
            return false;
        }
    }
    connection_.useWriteAheadLog();
    return true;
}

QString ExchangeStore::lastError() {
    std::lock_guard lock(mutex_);
    return connection_.lastError();
}

bool ExchangeStore::createSchema() {
    return connection_.inTransaction([this] {
        return connection_.execute(
                   "CREATE TABLE submissions ("
                   " id INTEGER PRIMARY KEY AUTOINCREMENT, state TEXT NOT NULL,"
                   " usid TEXT NOT NULL, usnm TEXT, tgrade TEXT, tclass TEXT, terror TEXT,"
                   " tright TEXT, tbut TEXT, received TEXT, decided TEXT)") &&
               connection_.execute(
                   "CREATE INDEX submissions_pairs ON submissions (terror, tright, usid)") &&
               connection_.execute(
                   "CREATE TABLE published ("
                   " id INTEGER PRIMARY KEY AUTOINCREMENT, tgrade TEXT, tclass TEXT,"
                   " terror TEXT NOT NULL, tright TEXT NOT NULL, tbut TEXT, tdate TEXT NOT NULL,"
                   " UNIQUE (terror, tright))") &&
               connection_.execute("CREATE INDEX published_dates ON published (tdate, id)") &&
               connection_.execute(
                   "CREATE TABLE users (usid TEXT PRIMARY KEY, usnm TEXT, usemail TEXT,"
                   " updated TEXT)") &&
               connection_.execute("PRAGMA user_version = 1");
    });
}

QString ExchangeStore::unpublishable(const WordEntry& e) {
    const QByteArray br(ServerProtocol::kRecordSeparator);
    if (e.terror.isEmpty() || e.tright.isEmpty()) return QStringLiteral("错误词和正确词不能为空");
    for (const QByteArray* field : {&e.tgrade, &e.tclass, &e.terror, &e.tright}) {
        if (field->contains(ServerProtocol::kFieldSeparator))
            return QStringLiteral("级别、类别、错误词和正确词不能含有“;”");
    }
    for (const QByteArray* field : {&e.tgrade, &e.tclass, &e.terror, &e.tright, &e.tbut}) {
        if (field->contains(br)) return QStringLiteral("词条不能含有“<br>”");
    }
    return QString();
}

QByteArrayList ExchangeStore::phrasesOf(const QByteArray& tbut) {
    QByteArrayList phrases;
    for (const QByteArray& phrase : tbut.split(ServerProtocol::kFieldSeparator))
        if (!phrase.isEmpty() && !phrases.contains(phrase)) phrases.append(phrase);
    return phrases;
}

std::optional<WordEntry> ExchangeStore::publishedWithForms(const QByteArray& wrong,
                                                           const QByteArray& right) {
    SqlStatement s(connection_.handle(),
                   "SELECT id, tgrade, tclass, terror, tright, tbut, tdate FROM published"
                   " WHERE terror = ? AND tright = ?");
    s.bind(notNull(wrong)).bind(notNull(right));
    if (!s.step()) return std::nullopt;
    return s.entry();
}

ExchangeStore::SubmitResult ExchangeStore::submit(const Submission& sub) {
    std::lock_guard lock(mutex_);
    const WordEntry& e = sub.entry;
    // The program sends back what it downloaded, its phrases perhaps joined in
    // another order or some of them left out by its merge.
    if (const auto published = publishedWithForms(e.terror, e.tright);
        published && published->tgrade == e.tgrade && published->tclass == e.tclass) {
        const QByteArrayList known = phrasesOf(published->tbut);
        bool contained = true;
        for (const QByteArray& phrase : phrasesOf(e.tbut)) contained &= known.contains(phrase);
        if (contained) return SubmitResult::AlreadyPublished;
    }
    const bool stored = connection_.inTransaction([&] {
        SqlStatement update(connection_.handle(),
                            "UPDATE submissions SET usnm = ?, tgrade = ?, tclass = ?, tbut = ?,"
                            " received = ? WHERE terror = ? AND tright = ? AND usid = ?"
                            " AND state = 'pending'");
        update.bind(sub.usnm)
            .bind(notNull(e.tgrade))
            .bind(notNull(e.tclass))
            .bind(notNull(e.tbut))
            .bind(sub.received)
            .bind(notNull(e.terror))
            .bind(notNull(e.tright))
            .bind(notNull(sub.usid));
        if (!update.run()) return connection_.fail(QStringLiteral("cannot store a submission"));
        if (connection_.changes() > 0) return true;
        SqlStatement insert(connection_.handle(),
                            "INSERT INTO submissions (state, usid, usnm, tgrade, tclass, terror,"
                            " tright, tbut, received) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
        insert.bind(QByteArray(kPending))
            .bind(notNull(sub.usid))
            .bind(sub.usnm)
            .bind(notNull(e.tgrade))
            .bind(notNull(e.tclass))
            .bind(notNull(e.terror))
            .bind(notNull(e.tright))
            .bind(notNull(e.tbut))
            .bind(sub.received);
        return insert.run() || connection_.fail(QStringLiteral("cannot store a submission"));
    });
    return stored ? SubmitResult::Queued : SubmitResult::Failed;
}

bool ExchangeStore::saveUser(const QByteArray& usid, const QByteArray& usnm,
                             const QByteArray& usemail, const QDateTime& now) {
    std::lock_guard lock(mutex_);
    // No UPSERT in this SQLite; REPLACE is one statement and so one commit.
    SqlStatement s(
        connection_.handle(),
        "INSERT OR REPLACE INTO users (usid, usnm, usemail, updated) VALUES (?, ?, ?, ?)");
    s.bind(notNull(usid)).bind(usnm).bind(usemail).bind(now);
    return s.run() || connection_.fail(QStringLiteral("cannot store a user"));
}

std::vector<Submission> ExchangeStore::pending() {
    std::lock_guard lock(mutex_);
    connection_.clearError();
    std::vector<Submission> subs;
    SqlStatement s(connection_.handle(), (QByteArray("SELECT ") + kSubmissionColumns +
                                          " FROM submissions WHERE state = 'pending' ORDER BY id")
                                             .constData());
    while (s.step()) subs.push_back(readSubmission(s));
    if (!s.ok()) connection_.fail(QStringLiteral("cannot read submissions"));
    return subs;
}

std::optional<Submission> ExchangeStore::pendingSubmission(qint64 id) {
    SqlStatement s(connection_.handle(), (QByteArray("SELECT ") + kSubmissionColumns +
                                          " FROM submissions WHERE state = 'pending' AND id = ?")
                                             .constData());
    s.bind(id);
    if (!s.step()) return std::nullopt;
    return readSubmission(s);
}

bool ExchangeStore::approve(const std::vector<qint64>& ids, const QDateTime& now, QString* error) {
    return decide(ids, now, true, error);
}

bool ExchangeStore::reject(const std::vector<qint64>& ids, const QDateTime& now, QString* error) {
    return decide(ids, now, false, error);
}

bool ExchangeStore::decide(const std::vector<qint64>& ids, const QDateTime& now, bool approved,
                           QString* error) {
    std::lock_guard lock(mutex_);
    QString why;
    const bool done = connection_.inTransaction([&] {
        for (const qint64 id : ids) {
            const std::optional<Submission> sub = pendingSubmission(id);
            if (!sub) {
                why = QStringLiteral("没有待审核的 %1").arg(id);
                return false;
            }
            if (approved) {
                if (why = unpublishable(sub->entry); !why.isEmpty()) {
                    why = QStringLiteral("%1：%2").arg(id).arg(why);
                    return false;
                }
                if (!publishLocked(sub->entry, now)) return false;
            }
            SqlStatement s(connection_.handle(),
                           "UPDATE submissions SET state = ?, decided = ? WHERE id = ?");
            s.bind(QByteArray(approved ? "approved" : "rejected")).bind(now).bind(id);
            if (!s.run()) return connection_.fail(QStringLiteral("cannot record the decision"));
        }
        return true;
    });
    if (!done && error) *error = why.isEmpty() ? connection_.lastError() : why;
    decisions_ += done;
    return done;
}

bool ExchangeStore::publish(const std::vector<WordEntry>& entries, const QDateTime& now,
                            QString* error) {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (const QString why = unpublishable(entries[i]); !why.isEmpty()) {
            if (error) *error = QStringLiteral("第 %1 组词汇：%2").arg(i + 1).arg(why);
            return false;
        }
    }
    const bool done = connection_.inTransaction([&] {
        for (const WordEntry& e : entries)
            if (!publishLocked(e, now)) return false;
        return true;
    });
    if (!done && error) *error = connection_.lastError();
    decisions_ += done;
    return done;
}

bool ExchangeStore::publishLocked(const WordEntry& e, const QDateTime& now) {
    const std::optional<WordEntry> old = publishedWithForms(e.terror, e.tright);
    if (!old) {
        SqlStatement s(connection_.handle(),
                       "INSERT INTO published (tgrade, tclass, terror, tright, tbut, tdate)"
                       " VALUES (?, ?, ?, ?, ?, ?)");
        s.bind(notNull(e.tgrade))
            .bind(notNull(e.tclass))
            .bind(e.terror)
            .bind(e.tright)
            .bind(phrasesOf(e.tbut).join(ServerProtocol::kFieldSeparator))
            .bind(now);
        return s.run() || connection_.fail(QStringLiteral("cannot publish"));
    }
    QByteArrayList phrases = phrasesOf(old->tbut);
    for (const QByteArray& phrase : phrasesOf(e.tbut))
        if (!phrases.contains(phrase)) phrases.append(phrase);
    const QByteArray tbut = phrases.join(ServerProtocol::kFieldSeparator);
    if (tbut == old->tbut && e.tgrade == old->tgrade && e.tclass == old->tclass) return true;
    // A new date sends the entry again, so that programs that hold it gain the new phrases.
    SqlStatement s(connection_.handle(),
                   "UPDATE published SET tgrade = ?, tclass = ?, tbut = ?, tdate = ? WHERE id = ?");
    s.bind(notNull(e.tgrade)).bind(notNull(e.tclass)).bind(tbut).bind(now).bind(old->tid);
    return s.run() || connection_.fail(QStringLiteral("cannot publish"));
}

std::optional<std::vector<WordEntry>> ExchangeStore::published() {
    std::lock_guard lock(mutex_);
    std::vector<WordEntry> entries;
    SqlStatement s(connection_.handle(),
                   "SELECT id, tgrade, tclass, terror, tright, tbut, tdate FROM published"
                   " ORDER BY tdate, id");
    while (s.step()) entries.push_back(s.entry());
    if (!s.ok()) {
        connection_.fail(QStringLiteral("cannot read the published entries"));
        return std::nullopt;
    }
    return entries;
}

std::pair<qint64, qint64> ExchangeStore::publishedVersion() {
    std::lock_guard lock(mutex_);
    SqlStatement s(connection_.handle(), "PRAGMA data_version");
    return {s.step() ? s.integer(0) : -1, decisions_};
}
