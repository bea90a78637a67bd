#pragma once

#include <QByteArray>
#include <QDateTime>

#include "library/WordEntry.h"

struct sqlite3;
struct sqlite3_stmt;

// One prepared statement, finalized when it goes out of scope. Texts are bound
// with their byte length, so GBK bytes go in and come out exactly.
class SqlStatement {
  public:
    SqlStatement(sqlite3* db, const char* sql);
    ~SqlStatement();
    SqlStatement(const SqlStatement&) = delete;
    SqlStatement& operator=(const SqlStatement&) = delete;

    bool ok() const { return stmt_ != nullptr && !failed_; }

    // Binds in order; a null QByteArray or QDateTime becomes NULL, a date-time
    // the ISO text that compares in order.
    SqlStatement& bind(const QByteArray& value);
    SqlStatement& bind(qint64 value);
    SqlStatement& bind(const QDateTime& value);

    // True while a row is current; false at the end or on an error (see ok()).
    bool step();
    bool run() {
        step();
        return ok();
    }

    // NULL reads as a null QByteArray, an empty text as an empty one.
    QByteArray text(int column) const;
    qint64 integer(int column) const;
    // The entry in the columns tid, tgrade, tclass, terror, tright, tbut, tdate.
    WordEntry entry() const;

  private:
    sqlite3_stmt* stmt_ = nullptr;
    int bound_ = 0;
    bool failed_ = false;
};
