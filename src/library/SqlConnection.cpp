#include "library/SqlConnection.h"

#define SQLITE_HAS_CODEC 1
#include <sqlite3.h>

#include <QFile>

namespace {

constexpr char kDateTimeFormat[] = "yyyy-MM-dd HH:mm:ss";

}  // namespace

SqlConnection::~SqlConnection() { close(); }

bool SqlConnection::open(const QString& path, bool create, QByteArrayView key, int busyTimeoutMs) {
    close();
    lastError_.clear();
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    const QByteArray nativePath = QFile::encodeName(path);
    if (sqlite3_open_v2(nativePath.constData(), &db_, flags, nullptr) != SQLITE_OK) {
        fail(QStringLiteral("cannot open %1").arg(path));
        close();
        return false;
    }
    sqlite3_busy_timeout(db_, busyTimeoutMs);
    if (!key.isEmpty() && sqlite3_key(db_, key.data(), static_cast<int>(key.size())) != SQLITE_OK) {
        fail(QStringLiteral("cannot key %1").arg(path));
        close();
        return false;
    }
    return true;
}

void SqlConnection::close() {
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
}

bool SqlConnection::execute(const char* sql) {
    if (!db_) return fail(QStringLiteral("database not open"));
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        lastError_ = QString::fromUtf8(message ? message : "error");
        sqlite3_free(message);
        return false;
    }
    return true;
}

void SqlConnection::useWriteAheadLog() {
    execute("PRAGMA journal_mode = WAL");
    execute("PRAGMA synchronous = NORMAL");
}

qint64 SqlConnection::lastInsertId() const { return db_ ? sqlite3_last_insert_rowid(db_) : 0; }

int SqlConnection::changes() const { return db_ ? sqlite3_changes(db_) : 0; }

bool SqlConnection::fail(const QString& what) {
    lastError_ = what;
    if (db_) lastError_ += QStringLiteral(": ") + QString::fromUtf8(sqlite3_errmsg(db_));
    return false;
}

QByteArray SqlConnection::formatDateTime(const QDateTime& value) {
    return value.toString(QLatin1String(kDateTimeFormat)).toLatin1();
}

QDateTime SqlConnection::parseDateTime(const QByteArray& text) {
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
