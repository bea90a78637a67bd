#include "library/SqlConnection.h"

#define SQLITE_HAS_CODEC 1
#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include "text/SystemError.h"

namespace {

constexpr char kDateTimeFormat[] = "yyyy-MM-dd HH:mm:ss";

// SQLite gives the journal, log and shared-memory files it makes the mode of
// the database file, so a file made private before SQLite opens it keeps all
// of them private, whatever the umask.
bool createPrivateFile(const QByteArray& path, int* error) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 || ::fchmod(fd, 0600) != 0) {
        *error = errno;
        if (fd >= 0) {
            ::close(fd);
            ::unlink(path.constData());
        }
        return false;
    }
    ::close(fd);
    return true;
}

// A log or shared-memory file of ours that we cannot write, as a read-only
// open of a WAL file leaves behind, would keep the file from opening at all;
// it gets the mode SQLite would have given it.
void makeCompanionsUsable(const QByteArray& path) {
    struct stat database {};
    if (::stat(path.constData(), &database) != 0) return;
    for (const char* suffix : {"-wal", "-shm"}) {
        const QByteArray companion = path + suffix;
        struct stat st {};
        if (::stat(companion.constData(), &st) == 0 && st.st_uid == ::geteuid() &&
            ::access(companion.constData(), W_OK) != 0)
            ::chmod(companion.constData(), (database.st_mode & 0666) | S_IRUSR | S_IWUSR);
    }
}

}  // namespace

SqlConnection::~SqlConnection() { close(); }

bool SqlConnection::isWritable(const QString& path) {
    const QByteArray directory = QFile::encodeName(QFileInfo(path).absolutePath());
    return ::access(QFile::encodeName(path).constData(), W_OK) == 0 &&
           ::access(directory.constData(), W_OK | X_OK) == 0;
}

bool SqlConnection::open(const QString& path, bool create, QByteArrayView key, int busyTimeoutMs) {
    close();
    clearError();
    const QByteArray nativePath = QFile::encodeName(path);
    bool made = false;
    if (create && !QFileInfo::exists(path)) {
        int error = 0;
        if (!createPrivateFile(nativePath, &error)) {
            diskFull_ = error == ENOSPC;
            lastError_ = systemErrorText(error);
            return false;
        }
        made = true;
    } else {
        makeCompanionsUsable(nativePath);
    }
    if (openWith(path, nativePath, SQLITE_OPEN_READWRITE, key, busyTimeoutMs)) return true;
    if (made) ::unlink(nativePath.constData());
    return false;
}

bool SqlConnection::openReadOnly(const QString& path, QByteArrayView key, int busyTimeoutMs) {
    close();
    clearError();
    const QByteArray nativePath = QFile::encodeName(path);
    // A reader of a WAL file makes the log and shared-memory files when they
    // are missing, with the database file's own mode, and cannot remove them
    // when it closes: beside a read-only file they would stay read-only and
    // keep the file from opening once it is writable again. Where both are
    // there (another program has the file open, or did not close it) they are
    // read as they are; otherwise the file holds everything, and opened as
    // immutable it is read alone, with nothing made beside it.
    if (QFileInfo::exists(path + QStringLiteral("-wal")) &&
        QFileInfo::exists(path + QStringLiteral("-shm")) &&
        openWith(path, nativePath, SQLITE_OPEN_READONLY, key, busyTimeoutMs) &&
        execute("SELECT count(*) FROM sqlite_master")) {
        readOnly_ = true;
        return true;
    }
    const QByteArray uri = "file:" + nativePath.toPercentEncoding("/") + "?immutable=1";
    if (!openWith(path, uri, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, key, busyTimeoutMs))
        return false;
    readOnly_ = true;
    return true;
}

bool SqlConnection::openWith(const QString& path, const QByteArray& name, int flags,
                             QByteArrayView key, int busyTimeoutMs) {
    close();
    if (sqlite3_open_v2(name.constData(), &db_, flags, nullptr) != SQLITE_OK) {
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
    readOnly_ = false;
}

bool SqlConnection::execute(const char* sql) {
    if (!db_) return fail(QStringLiteral("database not open"));
    char* message = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        lastError_ = reason(message ? message : "error");
        sqlite3_free(message);
        return false;
    }
    return true;
}

void SqlConnection::rollBack() {
    const QString why = lastError_;
    const bool full = diskFull_;
    // A failed commit may have ended the transaction already.
    if (db_ && !sqlite3_get_autocommit(db_)) execute("ROLLBACK");
    lastError_ = why;
    diskFull_ = full;
}

QString SqlConnection::reason(const char* message) {
    const int code = sqlite3_extended_errcode(db_) & 0xFF;
    diskFull_ = code == SQLITE_FULL || ((code == SQLITE_IOERR || code == SQLITE_CANTOPEN) &&
                                        sqlite3_system_errno(db_) == ENOSPC);
    if (diskFull_) return systemErrorText(ENOSPC);
    // The user reads the reason; SQLite's own words stay for whoever helps them.
    const char* said = nullptr;
    switch (code) {
        case SQLITE_CORRUPT:
            said = "文件已损坏";
            break;
        case SQLITE_NOTADB:
            said = "不是词库文件，或密钥不符";
            break;
        case SQLITE_IOERR:
            said = "读写出错";
            break;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            said = "正被其他程序占用";
            break;
        case SQLITE_READONLY:
            said = "文件为只读";
            break;
        case SQLITE_PERM:
        case SQLITE_AUTH:
            said = "没有权限";
            break;
        case SQLITE_CANTOPEN:
            said = "无法打开文件";
            break;
        default:
            return QString::fromUtf8(message);
    }
    return QString::fromUtf8(said) + QStringLiteral("（") + QString::fromUtf8(message) +
           QStringLiteral("）");
}

void SqlConnection::useWriteAheadLog() {
    execute("PRAGMA journal_mode = WAL");
    execute("PRAGMA synchronous = NORMAL");
}

qint64 SqlConnection::lastInsertId() const { return db_ ? sqlite3_last_insert_rowid(db_) : 0; }

int SqlConnection::changes() const { return db_ ? sqlite3_changes(db_) : 0; }

bool SqlConnection::fail(const QString& what) {
    lastError_ = what;
    diskFull_ = false;
    if (db_) lastError_ += QStringLiteral(": ") + reason(sqlite3_errmsg(db_));
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
