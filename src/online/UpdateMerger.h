#pragma once

#include <QByteArrayList>
#include <QList>
#include <QString>

#include <functional>

class WordDatabase;

// Merges the records of a download answer into the library. Each record is
// stored on its own, so a record that breaks off the answer leaves the
// earlier ones in place.
class UpdateMerger {
  public:
    enum class Outcome { Added, Extended, Unchanged, Malformed, Refused, ReadFailed, WriteFailed };

    struct Result {
        int changed = 0;         // rows added and exception lists extended
        bool malformed = false;  // stopped at a record of fewer than six fields
        bool stopped = false;    // the stop check ended it between records
        // The library failed a read or a write; `error` says why.
        bool readFailed = false;
        bool writeFailed = false;
        QString error;
        // Wrong forms that are not whole characters, each refused and left out.
        QByteArrayList refused;

        // Every record was taken into the library or found there already.
        bool complete() const {
            return !malformed && !stopped && !readFailed && !writeFailed && refused.isEmpty();
        }
    };

    // Looks the record up by wrong and correct form: adds it when no row
    // matches, appends its exception phrase to a single matching row that
    // does not already contain it, and leaves everything else alone. A wrong
    // form that is not whole GBK characters is refused: it would match half
    // of a character.
    static Outcome mergeRecord(WordDatabase& database, const QByteArrayList& fields);
    // The records in answer order, up to the first malformed one or the first
    // failure of the library. `stop`, when given, is asked before each record.
    static Result merge(WordDatabase& database, const QList<QByteArrayList>& records,
                        const std::function<bool()>& stop = {});
    // A phrase is present when it occurs in the stored list on character
    // boundaries: 形 is not inside 中文, though its bytes are.
    static bool containsPhrase(const QByteArray& stored, const QByteArray& phrase);
};
