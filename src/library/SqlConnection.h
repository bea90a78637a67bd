#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

struct sqlite3;

// An open SQLCipher file: the one place that opens, keys and configures a
// connection, shared by the program's library and the exchange server's store.
class SqlConnection {
  public:
    SqlConnection() = default;
    ~SqlConnection();
    SqlConnection(const SqlConnection&) = delete;
    SqlConnection& operator=(const SqlConnection&) = delete;

    // Opens `path` read-write, creating it only when `create` is set, so that
    // a failure never makes a new file in place of an existing one. An empty
    // key leaves the file unencrypted. A wrong key is not noticed here but by
    // the first statement. A new file is readable by its owner alone, and so
    // are the journal and log files SQLite makes beside it.
    bool open(const QString& path, bool create, QByteArrayView key, int busyTimeoutMs);
    // Opens an existing file for reading only, leaving nothing beside it that
    // a later read-write open could not use.
    bool openReadOnly(const QString& path, QByteArrayView key, int busyTimeoutMs);
    void close();
    bool isOpen() const { return db_ != nullptr; }
    bool isReadOnly() const { return readOnly_; }
    // Whether this user can change the file and make its journal beside it.
    static bool isWritable(const QString& path);
    sqlite3* handle() const { return db_; }

    bool execute(const char* sql);
    // Runs `work` in one transaction: everything it stored, or nothing.
    template <typename Work>
    bool inTransaction(Work&& work) {
        if (!execute("BEGIN IMMEDIATE")) return false;
        if (work() && execute("COMMIT")) return true;
        rollBack();
        return false;
    }
    // Readers do not wait for a writer, and a commit syncs only at checkpoints
    // while the file still survives a crash whole.
    void useWriteAheadLog();

    qint64 lastInsertId() const;
    // Rows changed by the last statement.
    int changes() const;
    // Records `what` with the connection's own reason; always false.
    bool fail(const QString& what);
    // Records `why` as the whole reason; always false.
    bool failWith(const QString& why) {
        lastError_ = why;
        diskFull_ = false;
        return false;
    }
    const QString& lastError() const { return lastError_; }
    // The last failure came from a full disk.
    bool diskFull() const { return diskFull_; }
    void clearError() {
        lastError_.clear();
        diskFull_ = false;
    }

    // Date-times are stored as "YYYY-MM-DD HH:MM:SS", which compares in order.
    static QByteArray formatDateTime(const QDateTime& value);
    static QDateTime parseDateTime(const QByteArray& text);

  private:
    // Ends a failed transaction, keeping the reason it failed.
    void rollBack();
    bool openWith(const QString& path, const QByteArray& name, int flags, QByteArrayView key,
                  int busyTimeoutMs);
    // The user's words for the connection's last error.
    QString reason(const char* message);

    sqlite3* db_ = nullptr;
    bool readOnly_ = false;
    bool diskFull_ = false;
    QString lastError_;
};
