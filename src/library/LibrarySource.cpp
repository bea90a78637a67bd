#include "library/LibrarySource.h"

#include <QFile>
#include <QFileInfo>

#include "documents/DocumentFile.h"
#include "library/LibraryText.h"
#include "library/WordDatabase.h"
#include "text/GbkCodec.h"

namespace {

// The first bytes of the named file, which tell a library text from a
// library file; nullopt with the reason when there is no such file to read.
std::optional<QByteArray> headOfNamedFile(const QString& path, QString* error) {
    auto failWith = [&](const QString& why) {
        if (error) *error = why;
        return std::nullopt;
    };
    if (!QFileInfo(path).isFile()) return failWith(QStringLiteral("词库文件不存在：") + path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failWith(QStringLiteral("词库文件无法打开：") + path + QStringLiteral("（") +
                        (file.error() == QFileDevice::PermissionsError
                             ? QStringLiteral("没有权限")
                             : QStringLiteral("无法读取")) +
                        QStringLiteral("）"));
    return file.read(256);
}

// The grades a mode applies, as the library file's query for the mode selects them.
bool modeTakes(ProofreadMode mode, const QByteArray& grade) {
    switch (mode) {
        case ProofreadMode::Quick:
            return grade == gbk(QStringLiteral("基本"));
        case ProofreadMode::Fine:
            return grade == gbk(QStringLiteral("基本")) || grade == gbk(QStringLiteral("高级"));
        case ProofreadMode::Professional:
            break;
    }
    return true;
}

}  // namespace

bool openNamedLibrary(WordDatabase& db, const QString& path, QString* error) {
    if (!headOfNamedFile(path, error)) return false;
    if (db.open(path) == WordDatabase::OpenResult::Failed) {
        if (error) *error = db.openFailure();
        return false;
    }
    return true;
}

std::optional<std::vector<WordEntry>> namedLibraryEntries(const QString& path, ProofreadMode mode,
                                                          QString* error,
                                                          std::vector<IgnoredOccurrence>* ignored) {
    const std::optional<QByteArray> head = headOfNamedFile(path, error);
    if (!head) return std::nullopt;
    if (!LibraryText::looksLikeText(*head)) {
        WordDatabase db;
        if (!openNamedLibrary(db, path, error)) return std::nullopt;
        return entriesToCheck(db, mode, error, ignored);
    }
    QString why;
    const std::optional<QByteArray> bytes = DocumentFile::read(path, &why);
    std::optional<std::vector<WordEntry>> entries =
        bytes ? LibraryText::read(*bytes, &why) : std::nullopt;
    if (!entries) {
        if (error) *error = path + QStringLiteral("：") + why;
        return std::nullopt;
    }
    std::erase_if(*entries, [&](const WordEntry& e) { return !modeTakes(mode, e.tgrade); });
    return entries;
}

std::optional<std::vector<WordEntry>> entriesToCheck(WordDatabase& db, ProofreadMode mode,
                                                     QString* error,
                                                     std::vector<IgnoredOccurrence>* ignored) {
    std::vector<WordEntry> entries = db.entriesForMode(mode);
    if (db.lastError().isEmpty() && ignored) *ignored = db.ignoredOccurrences();
    if (!db.lastError().isEmpty()) {
        if (error) *error = libraryReadFailure(db.lastError());
        return std::nullopt;
    }
    return entries;
}

QString libraryReadFailure(const QString& why) { return QStringLiteral("词库读取失败：") + why; }
