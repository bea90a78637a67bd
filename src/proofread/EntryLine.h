#pragma once

#include <QByteArray>

#include "library/WordEntry.h"

// The three texts of an entry that a scan works with, used verbatim. Kept as
// separate fields: joined into one line, a ';' or '[' inside a form would cut
// the entry apart differently.
struct EntryLine {
    QByteArray wrong;
    QByteArray right;
    QByteArray exceptions;  // phrases separated by ';'
    qint64 tid = 0;         // the library entry's, so that a decision on a hit reaches it

    static EntryLine fromEntry(const WordEntry& entry) {
        return {entry.terror, entry.tright, entry.tbut, entry.tid};
    }
};
