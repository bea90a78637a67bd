#include "online/UpdateMerger.h"

#include "library/WordDatabase.h"
#include "online/ServerProtocol.h"

UpdateMerger::Outcome UpdateMerger::mergeRecord(WordDatabase& database,
                                                const QByteArrayList& fields) {
    const std::optional<WordEntry> entry = ServerProtocol::entryFromRecord(fields);
    if (!entry) return Outcome::Malformed;
    const std::vector<WordEntry> matches = database.entriesWithForms(entry->terror, entry->tright);
    if (matches.empty())
        return database.addEntryKeepingNulls(*entry) > 0 ? Outcome::Added : Outcome::Unchanged;

    const QByteArray& phrase = fields[4];
    // Two rows for one pair are the user's to sort out; a download does not pick one.
    if (phrase.isEmpty() || matches.size() > 1) return Outcome::Unchanged;
    const QByteArray& stored = matches.front().tbut;
    if (stored.contains(phrase)) return Outcome::Unchanged;
    const QByteArray extended = stored.isEmpty() ? phrase : stored + ';' + phrase;
    return database.setExceptions(matches.front().tid, extended) ? Outcome::Extended
                                                                 : Outcome::Unchanged;
}

UpdateMerger::Result UpdateMerger::merge(WordDatabase& database,
                                         const QList<QByteArrayList>& records) {
    Result result;
    for (const QByteArrayList& fields : records) {
        switch (mergeRecord(database, fields)) {
            case Outcome::Malformed:
                result.malformed = true;
                return result;
            case Outcome::Added:
            case Outcome::Extended:
                ++result.changed;
                break;
            case Outcome::Unchanged:
                break;
        }
    }
    return result;
}
