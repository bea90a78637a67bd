#include "library/LibraryCommand.h"

#include <QIODevice>

#include "documents/DocumentFile.h"
#include "library/LibrarySource.h"
#include "library/LibraryText.h"
#include "library/StarterLibrary.h"
#include "library/WordDatabase.h"
#include "library/WritableLibrary.h"
#include "platform/ToolMain.h"

namespace {

constexpr char kUsage[] =
    "用法：tavrel-library export [--library PATH]\n"
    "      tavrel-library import FILE [--library PATH]\n"
    "export 把词库以UTF-8文本（TAB分隔）写到标准输出；import 加入文本文件中的词汇，\n"
    "首行为 tgrade tclass terror tright tbut，或 export 的首行。\n";

}  // namespace

int runLibraryCommand(const QStringList& arguments, const QString& defaultLibraryPath,
                      QIODevice& out, QIODevice& err) {
    auto fail = [&](const QString& why) {
        err.write((QStringLiteral("tavrel-library：") + why).toUtf8() + '\n');
        return 2;
    };
    QString command, file, library;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (const std::optional<int> status = answerCommonOption(a, "tavrel-library", kUsage, out))
            return *status;
        if (a == QLatin1String("--library")) {
            if (i + 1 == arguments.size()) return fail(QStringLiteral("--library 缺少参数"));
            library = arguments[++i];
        } else if (a.startsWith(QLatin1Char('-'))) {
            return fail(QStringLiteral("未知的选项：") + a);
        } else if (command.isEmpty()) {
            command = a;
        } else if (command == QLatin1String("import") && file.isEmpty()) {
            file = a;
        } else {
            return fail(QStringLiteral("多余的参数：") + a);
        }
    }
    const bool exporting = command == QLatin1String("export");
    if (!exporting && !(command == QLatin1String("import") && !file.isEmpty())) {
        err.write(kUsage);
        return 2;
    }

    // Read the text before the library is touched: a refused file changes nothing.
    std::vector<WordEntry> entries;
    if (!exporting) {
        QString why;
        const std::optional<QByteArray> bytes = DocumentFile::read(file, &why);
        if (!bytes) return fail(QStringLiteral("无法读取 ") + file + QStringLiteral("：") + why);
        std::optional<std::vector<WordEntry>> read = LibraryText::read(*bytes, &why);
        if (!read)
            return fail(file + QStringLiteral("：") + why + QStringLiteral("；未导入任何词汇"));
        entries = std::move(*read);
    }

    WordDatabase db;
    QString why;
    const bool open = library.isEmpty() ? StarterLibrary::openOrCreate(db, defaultLibraryPath)
                                        : openNamedLibrary(db, library, &why);
    if (!open) return fail(why.isEmpty() ? db.openFailure() : why);

    if (exporting) {
        const std::vector<WordEntry> all = db.allEntries();
        if (!db.lastError().isEmpty()) return fail(libraryReadFailure(db.lastError()));
        out.write(LibraryText::write(all));
        return 0;
    }
    if (db.isReadOnly()) return fail(QString::fromUtf8(kReadOnlyLibrary));
    // A page that cannot be read is one the import might write beside.
    if (!db.isIntact())
        return fail(libraryReadFailure(db.lastError()) + QStringLiteral("；未导入任何词汇"));
    if (!db.addEntries(entries)) return fail(db.lastError() + QStringLiteral("；未导入任何词汇"));
    err.write(QStringLiteral("已导入 %1 组词汇\n").arg(entries.size()).toUtf8());
    return 0;
}
