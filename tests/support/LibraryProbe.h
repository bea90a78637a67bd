#pragma once

#define SQLITE_HAS_CODEC 1
#include <sqlite3.h>

#include <QByteArray>
#include <QFile>
#include <QString>

#include "library/WordDatabase.h"

// Looks into a library file over a connection of its own, read-only, so that
// a test can watch another process write it and check it afterwards.
class LibraryProbe {
  public:
    explicit LibraryProbe(const QString& path) {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db_, SQLITE_OPEN_READONLY,
                            nullptr) != SQLITE_OK ||
            sqlite3_key(db_, WordDatabase::kPassword, int(sizeof WordDatabase::kPassword - 1)) !=
                SQLITE_OK) {
            sqlite3_close(db_);
            db_ = nullptr;
        }
        if (db_) sqlite3_busy_timeout(db_, 2000);
    }
    ~LibraryProbe() { sqlite3_close(db_); }
    LibraryProbe(const LibraryProbe&) = delete;
    LibraryProbe& operator=(const LibraryProbe&) = delete;

    // The rows of `words`, or -1 when they cannot be counted.
    qint64 rowCount() { return number("SELECT count(*) FROM words"); }
    // "ok" for a sound file, else what is wrong with it.
    QByteArray integrity() { return text("PRAGMA integrity_check"); }

  private:
    qint64 number(const char* sql) {
        const QByteArray value = text(sql);
        bool ok = false;
        const qint64 n = value.toLongLong(&ok);
        return ok ? n : -1;
    }
    QByteArray text(const char* sql) {
        if (!db_) return "cannot open";
        sqlite3_stmt* stmt = nullptr;
        QByteArray result = "cannot read";
        if (sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW)
            result = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        sqlite3_finalize(stmt);
        return result;
    }

    sqlite3* db_ = nullptr;
};
