#include "library/SqlStatement.h"

#include <sqlite3.h>

#include "library/SqlConnection.h"

SqlStatement::SqlStatement(sqlite3* db, const char* sql) {
    if (!db || sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) stmt_ = nullptr;
}

SqlStatement::~SqlStatement() { sqlite3_finalize(stmt_); }

SqlStatement& SqlStatement::bind(const QByteArray& value) {
    const int index = ++bound_;
    if (!stmt_) return *this;
    const int rc = value.isNull()
                       ? sqlite3_bind_null(stmt_, index)
                       : sqlite3_bind_text(stmt_, index, value.constData(),
                                           static_cast<int>(value.size()), SQLITE_TRANSIENT);
    failed_ = failed_ || rc != SQLITE_OK;
    return *this;
}

SqlStatement& SqlStatement::bind(qint64 value) {
    const int index = ++bound_;
    if (stmt_) failed_ = failed_ || sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK;
    return *this;
}

SqlStatement& SqlStatement::bind(const QDateTime& value) {
    return bind(value.isValid() ? SqlConnection::formatDateTime(value) : QByteArray());
}

bool SqlStatement::step() {
    if (!ok()) return false;
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    failed_ = rc != SQLITE_DONE;
    return false;
}

QByteArray SqlStatement::text(int column) const {
    if (sqlite3_column_type(stmt_, column) == SQLITE_NULL) return QByteArray();
    const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
    const int size = sqlite3_column_bytes(stmt_, column);
    return data ? QByteArray(data, size) : QByteArray("");
}

qint64 SqlStatement::integer(int column) const { return sqlite3_column_int64(stmt_, column); }

WordEntry SqlStatement::entry() const {
    WordEntry e;
    e.tid = integer(0);
    e.tgrade = text(1);
    e.tclass = text(2);
    e.terror = text(3);
    e.tright = text(4);
    e.tbut = text(5);
    e.tdate = SqlConnection::parseDateTime(text(6));
    return e;
}
