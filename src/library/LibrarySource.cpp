#include "library/LibrarySource.h"

#include <QFile>
#include <QFileInfo>

#include "documents/DocumentFile.h"
#include "library/LibraryText.h"
#include "library/WordDatabase.h"

bool openNamedLibrary(WordDatabase& db, const QString& path, bool acceptText, QString* error) {
    auto failWith = [&](const QString& why) {
        if (error) *error = why;
        return false;
    };
    if (!QFileInfo(path).isFile()) return failWith(QStringLiteral("词库文件不存在：") + path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failWith(QStringLiteral("词库文件无法打开：") + path + QStringLiteral("（") +
                        file.errorString() + QStringLiteral("）"));
    const QByteArray head = file.read(256);
    file.close();
    if (acceptText && LibraryText::looksLikeText(head)) {
        const std::optional<QByteArray> bytes = DocumentFile::read(path);
        QString why;
        const std::optional<std::vector<WordEntry>> entries =
            bytes ? LibraryText::read(*bytes, &why) : std::nullopt;
        if (!entries) return failWith(path + QStringLiteral("：") + why);
        if (db.open(QStringLiteral(":memory:")) != WordDatabase::OpenResult::Created)
            return failWith(db.lastError());
        return db.addEntries(*entries) || failWith(db.lastError());
    }
    if (db.open(path) == WordDatabase::OpenResult::Failed)
        return failWith(QStringLiteral("词库文件无法打开：") + path);
    return true;
}
