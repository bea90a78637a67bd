#pragma once

#include <QByteArrayList>
#include <QList>

class WordDatabase;

// Merges the records of a download answer into the library. Each record is
// stored on its own, so a record that breaks off the answer leaves the
// earlier ones in place.
class UpdateMerger {
  public:
    enum class Outcome { Added, Extended, Unchanged, Malformed };

    struct Result {
        int changed = 0;         // rows added and exception lists extended
        bool malformed = false;  // stopped at a record of fewer than six fields
    };

    // Looks the record up by wrong and correct form: adds it when no row
    // matches, appends its exception phrase to a single matching row that
    // does not already contain it, and leaves everything else alone.
    static Outcome mergeRecord(WordDatabase& database, const QByteArrayList& fields);
    // The records in answer order, up to the first malformed one.
    static Result merge(WordDatabase& database, const QList<QByteArrayList>& records);
};
