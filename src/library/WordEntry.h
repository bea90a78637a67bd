#pragma once

#include <QByteArray>
#include <QDateTime>

// One correction entry (a row of `words`). Texts are GBK bytes.
struct WordEntry {
    qint64 tid = 0;     // assigned by the database; 0 for an entry not stored yet
    QByteArray tgrade;  // "基本", "高级" or "专业"
    QByteArray tclass;  // subject category
    QByteArray terror;  // wrong form
    QByteArray tright;  // correct form
    QByteArray tbut;    // exception phrases, separated by ";"
    QDateTime tdate;    // last save, or the server's date; null when unknown

    bool operator==(const WordEntry&) const = default;
};
