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

    static EntryLine fromEntry(const WordEntry& entry) {
        return {entry.terror, entry.tright, entry.tbut};
    }
};
