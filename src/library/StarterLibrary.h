#pragma once

#include <QString>

class WordDatabase;

// The entries a new installation starts with, compiled into the program.
namespace StarterLibrary {

// The five-column library text (UTF-8).
QByteArray text();

// Opens the library at `path` into `db`. A missing file is created and receives
// the starter entries, without tdate, in one transaction; an existing one is
// opened as it is. False when the library cannot be opened or seeded.
bool openOrCreate(WordDatabase& db, const QString& path);

}  // namespace StarterLibrary
