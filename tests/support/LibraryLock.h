#pragma once

#define SQLITE_HAS_CODEC 1
#include <sqlite3.h>

#include <gtest/gtest.h>

#include <QFile>
#include <QString>

#include <vector>

#include "library/WordDatabase.h"

// Another program's connection to a library file: it runs its statements at
// once and keeps whatever transaction they leave open until it goes.
class LibraryLock {
  public:
    LibraryLock(const QString& path, const std::vector<const char*>& statements) {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db_, SQLITE_OPEN_READWRITE,
                            nullptr) != SQLITE_OK ||
            sqlite3_key(db_, WordDatabase::kPassword, int(sizeof WordDatabase::kPassword - 1)) !=
                SQLITE_OK)
            ADD_FAILURE() << "cannot open " << path.toStdString();
        for (const char* sql : statements)
            if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
                ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db_);
    }
    ~LibraryLock() { sqlite3_close_v2(db_); }
    LibraryLock(const LibraryLock&) = delete;
    LibraryLock& operator=(const LibraryLock&) = delete;

  private:
    sqlite3* db_ = nullptr;
};
