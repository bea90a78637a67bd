#pragma once

#include <QString>

class WordDatabase;

// Opens the library a command-line user names: a library file that must
// already exist (a typing error must not create an empty one), or, where
// `acceptText` allows it, a library text file, which is read into a library
// in memory. False with the reason in `error` when neither works.
bool openNamedLibrary(WordDatabase& db, const QString& path, bool acceptText, QString* error);
