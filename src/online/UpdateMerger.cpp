#include "online/UpdateMerger.h"

#include "library/WordDatabase.h"
#include "online/ServerProtocol.h"
#include "text/GbkCodec.h"

bool UpdateMerger::containsPhrase(const QByteArray& stored, const QByteArray& phrase) {
    // Decoding is byte-exact, so comparing characters compares the bytes, cut
    // where the characters are cut.
    return GbkCodec::decode(stored).contains(GbkCodec::decode(phrase));
}

UpdateMerger::Outcome UpdateMerger::mergeRecord(WordDatabase& database,
                                                const QByteArrayList& fields) {
    const std::optional<WordEntry> entry = ServerProtocol::entryFromRecord(fields);
    if (!entry) return Outcome::Malformed;
    if (!GbkCodec::isWholeCharacters(entry->terror)) return Outcome::Refused;
    const std::vector<WordEntry> matches = database.entriesWithForms(entry->terror, entry->tright);
    if (matches.empty() && !database.lastError().isEmpty()) return Outcome::ReadFailed;
    if (matches.empty())
        return database.addEntryKeepingNulls(*entry) > 0 ? Outcome::Added : Outcome::WriteFailed;

    const QByteArray& phrase = fields[4];
    // Two rows for one pair are the user's to sort out; a download does not pick one.
    if (phrase.isEmpty() || matches.size() > 1) return Outcome::Unchanged;
    const QByteArray& stored = matches.front().tbut;
    if (containsPhrase(stored, phrase)) return Outcome::Unchanged;
    const QByteArray extended = stored.isEmpty() ? phrase : stored + ';' + phrase;
    return database.setExceptions(matches.front().tid, extended) ? Outcome::Extended
                                                                 : Outcome::WriteFailed;
}

UpdateMerger::Result UpdateMerger::merge(WordDatabase& database,
                                         const QList<QByteArrayList>& records,
                                         const std::function<bool()>& stop) {
    Result result;
    for (const QByteArrayList& fields : records) {
        if (stop && stop()) {
            result.stopped = true;
            return result;
        }
        switch (mergeRecord(database, fields)) {
            case Outcome::Malformed:
                result.malformed = true;
                return result;
            case Outcome::ReadFailed:
                result.readFailed = true;
                result.error = database.lastError();
                return result;
            case Outcome::WriteFailed:
                result.writeFailed = true;
                result.error = database.lastError();
                return result;
            case Outcome::Refused:
                result.refused.append(fields[2]);
                break;
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
