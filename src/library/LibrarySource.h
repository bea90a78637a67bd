#pragma once

#include <QString>

#include <optional>
#include <vector>

#include "library/IgnoredOccurrence.h"
#include "library/ProofreadMode.h"
#include "library/WordEntry.h"

class WordDatabase;

// Opens the library file a command-line user names. It must already exist: a
// typing error must not create an empty one. False with the reason in
// `error`.
bool openNamedLibrary(WordDatabase& db, const QString& path, QString* error);

// The entries of `mode` from the library a command-line user names, in the
// order a scan takes them: a library file, or a library text file, whose
// entries are taken in the order of its lines. Nullopt with the reason in
// `error` when neither works. A library file's ignored occurrences go to
// `ignored` (a text has none).
std::optional<std::vector<WordEntry>> namedLibraryEntries(
    const QString& path, ProofreadMode mode, QString* error,
    std::vector<IgnoredOccurrence>* ignored = nullptr);

// What a pass reads from an open library: the entries of `mode` and, when
// asked, every ignored occurrence. Nullopt with "词库读取失败：" and the reason
// when a read fails, so that a damaged library is never taken for an empty one.
std::optional<std::vector<WordEntry>> entriesToCheck(WordDatabase& db, ProofreadMode mode,
                                                     QString* error,
                                                     std::vector<IgnoredOccurrence>* ignored);

// "词库读取失败：" and the reason.
QString libraryReadFailure(const QString& why);
