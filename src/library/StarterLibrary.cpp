#include "library/StarterLibrary.h"

#include <QFile>

#include "library/LibraryText.h"
#include "library/WordDatabase.h"

extern const unsigned char starterLibraryTsv[];
extern const long long starterLibraryTsv_size;

namespace StarterLibrary {

QByteArray text() {
    return QByteArray::fromRawData(reinterpret_cast<const char*>(starterLibraryTsv),
                                   static_cast<qsizetype>(starterLibraryTsv_size));
}

bool openOrCreate(WordDatabase& db, const QString& path) {
    const WordDatabase::OpenResult opened = db.open(path);
    if (opened != WordDatabase::OpenResult::Created)
        return opened == WordDatabase::OpenResult::Opened;
    const std::optional<std::vector<WordEntry>> entries = LibraryText::read(text(), nullptr);
    if (entries && db.addEntries(*entries)) return true;
    // Our own half-made file: the next start tries again.
    db.close();
    QFile::remove(path);
    return false;
}

}  // namespace StarterLibrary
