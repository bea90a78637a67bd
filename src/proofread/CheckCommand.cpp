#include "proofread/CheckCommand.h"

#include <QIODevice>

#include <sys/stat.h>

#include <functional>

#include "documents/DocumentFile.h"
#include "documents/MappedDocument.h"
#include "library/LibrarySource.h"
#include "library/StarterLibrary.h"
#include "library/WordDatabase.h"
#include "proofread/CorrectionDiff.h"
#include "proofread/CorrectionJournal.h"
#include "proofread/Corrector.h"
#include "proofread/DocumentScan.h"
#include "proofread/ExceptionPhrase.h"
#include "proofread/HitPosition.h"
#include "proofread/Scanner.h"
#include "text/FileName.h"
#include "text/GbkCodec.h"
#include "text/TextCodec.h"

namespace {

constexpr char kUsage[] =
    "用法：tavrel-check [--library PATH] [--mode quick|fine|professional]\n"
    "                   [--encoding auto|gbk|gb18030|utf-8|utf-16le|utf-16be] [--no-ignored]\n"
    "                   [--fix|--diff] PATH...\n"
    "      tavrel-check --undo\n"
    "校对文档（*.fbd、*.txt、*.htm、*.html）；目录取其中的文档。\n"
    "每处错误在标准输出占一行：序号、文件名、位置、误、正，以TAB分隔。\n"
    "  --library PATH  词库文件，或首行为 tgrade tclass terror tright tbut 的UTF-8文本\n"
    "  --mode MODE     quick（默认，基本）、fine（基本、高级）、professional（全部）\n"
    "  --encoding ENC  文档的编码，auto（默认）按内容识别：字节顺序标记、HTML的charset、\n"
    "                  UTF-8、GB18030，否则GBK\n"
    "  --no-ignored    也列出在窗口中“忽略此处”的错误（默认不列出，只在标准错误输出计数）\n"
    "  --fix           改正每一处错误并保存文档（可以 --undo 撤销）\n"
    "  --diff          以统一差异格式（unified diff）显示 --fix 将作的修改，不写文件\n"
    "  --undo          撤销最近一次修改（本程序或窗口的“修改”），只恢复此后未被改动的文档\n"
    "退出码：0 无错误，1 有错误（--fix：有未改正的；--diff：有要修改的；--undo：有未能撤销的），\n"
    "2 用法错误或文件无法读取（--undo：没有可撤销的修改）。\n";

struct Options {
    QString library;
    ProofreadMode mode = ProofreadMode::Quick;
    bool fix = false;
    bool diff = false;
    bool undo = false;
    bool showIgnored = false;
    std::optional<TextEncoding> encoding;  // none: told per document
    QStringList paths;
};

enum class Parsed { Run, Help, Version, Error };

Parsed parse(const QStringList& args, Options& options, QString& error) {
    bool onlyPaths = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (onlyPaths || !a.startsWith(QLatin1Char('-')) || a == QLatin1String("-")) {
            options.paths << a;
            continue;
        }
        if (a == QLatin1String("--")) {
            onlyPaths = true;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            return Parsed::Help;
        } else if (a == QLatin1String("--version")) {
            return Parsed::Version;
        } else if (a == QLatin1String("--fix")) {
            options.fix = true;
        } else if (a == QLatin1String("--diff")) {
            options.diff = true;
        } else if (a == QLatin1String("--no-ignored")) {
            options.showIgnored = true;
        } else if (a == QLatin1String("--undo")) {
            options.undo = true;
        } else if (a == QLatin1String("--library") || a == QLatin1String("--mode") ||
                   a == QLatin1String("--encoding")) {
            if (i + 1 == args.size()) {
                error = a + QStringLiteral(" 缺少参数");
                return Parsed::Error;
            }
            const QString value = args[++i];
            if (a == QLatin1String("--library")) {
                options.library = value;
            } else if (a == QLatin1String("--encoding")) {
                if (value == QLatin1String("auto")) {
                    options.encoding.reset();
                } else if (const auto named = encodingFromName(value)) {
                    options.encoding = named;
                } else {
                    error = QStringLiteral("未知的编码：") + value;
                    return Parsed::Error;
                }
            } else if (value == QLatin1String("quick")) {
                options.mode = ProofreadMode::Quick;
            } else if (value == QLatin1String("fine")) {
                options.mode = ProofreadMode::Fine;
            } else if (value == QLatin1String("professional")) {
                options.mode = ProofreadMode::Professional;
            } else {
                error = QStringLiteral("未知的校对方式：") + value;
                return Parsed::Error;
            }
        } else {
            error = QStringLiteral("未知的选项：") + a;
            return Parsed::Error;
        }
    }
    if (int(options.fix) + int(options.diff) + int(options.undo) > 1) {
        error = QStringLiteral("--fix、--diff、--undo 只能用一个");
        return Parsed::Error;
    }
    if (options.undo != options.paths.isEmpty()) {
        error =
            options.undo ? QStringLiteral("--undo 不带文件") : QStringLiteral("没有要校对的文件");
        return Parsed::Error;
    }
    return Parsed::Run;
}

constexpr qsizetype kOutputPiece = 64 * 1024;

QByteArray utf8(const QByteArray& gbkText) { return GbkCodec::decode(gbkText).toUtf8(); }

// Undoes the most recent correction run: 0 all restored, 1 some left alone
// (each named), 2 nothing to undo or no journal to read.
int undoLastRun(const QString& journalDirectory, const std::function<void(const QString&)>& say) {
    const CorrectionJournal journal(journalDirectory);
    QString error;
    const std::optional<CorrectionJournal::RunRecord> run = journal.lastRun(&error);
    if (!run) {
        say(QStringLiteral("tavrel-check：") +
            (error.isEmpty() ? QStringLiteral("没有可撤销的修改") : error));
        return 2;
    }
    const CorrectionJournal::UndoResult result = journal.undo(*run);
    for (const QString& path : result.leftAlone)
        say(QStringLiteral("未能撤销 ") + displayName(path) +
            QStringLiteral("：文档在修改后已被改动或无法读写"));
    say(QStringLiteral("撤销完毕：恢复 %1 个文件，未能撤销 %2 个")
            .arg(result.restored.size())
            .arg(result.leftAlone.size()));
    return result.leftAlone.isEmpty() ? 0 : 1;
}

}  // namespace

int runCheckCommand(const QStringList& arguments, const QString& defaultLibraryPath,
                    const QString& journalDirectory, QIODevice& out, QIODevice& err) {
    auto say = [&](const QString& line) { err.write(line.toUtf8() + '\n'); };
    Options options;
    QString error;
    switch (parse(arguments, options, error)) {
        case Parsed::Help:
            out.write(kUsage);
            return 0;
        case Parsed::Version:
            out.write("tavrel-check " TAVREL_VERSION "\n");
            return 0;
        case Parsed::Error:
            say(QStringLiteral("tavrel-check：") + error);
            err.write(kUsage);
            return 2;
        case Parsed::Run:
            break;
    }
    if (options.undo) return undoLastRun(journalDirectory, say);

    std::optional<std::vector<WordEntry>> entries;
    std::vector<IgnoredOccurrence> ignored;
    if (options.library.isEmpty()) {
        // The program's own library is found, and on a new installation made,
        // as the window does it.
        WordDatabase db;
        if (StarterLibrary::openOrCreate(db, defaultLibraryPath)) {
            entries = db.entriesForMode(options.mode);
            ignored = db.ignoredOccurrences();
        } else {
            error = db.openFailure();
        }
    } else {
        entries = namedLibraryEntries(options.library, options.mode, &error, &ignored);
    }
    if (options.showIgnored) ignored.clear();
    if (!entries) {
        say(QStringLiteral("tavrel-check：") + error);
        return 2;
    }
    std::vector<EntryLine> lines;
    lines.reserve(entries->size());
    for (const WordEntry& entry : *entries) lines.push_back(EntryLine::fromEntry(entry));
    entries.reset();
    const Scanner scanner(std::move(lines));

    bool problem = false;
    QStringList documents;
    for (const QString& path : options.paths) {
        struct stat info {};
        if (::stat(pathBytes(path).constData(), &info) == 0 && S_ISDIR(info.st_mode)) {
            for (const QString& name : documentNames(path)) documents << documentPath(path, name);
        } else {
            documents << path;
        }
    }

    qsizetype number = 0;
    qsizetype ignoredHits = 0;
    size_t skipped = 0;
    bool changes = false;  // --diff: something to change
    const CorrectionJournal journal(journalDirectory);
    CorrectionJournal::Run run = journal.startRun("tavrel-check");
    // Each entry's forms in UTF-8 and its rows' common tail, made when first needed.
    std::vector<QByteArray> rowTails(scanner.entries().size());
    for (const QString& path : documents) {
        QString why;
        MappedDocument document;
        const QString shown = displayName(path);
        if (!document.open(path, &why)) {
            say(QStringLiteral("tavrel-check：无法读取 ") + shown + QStringLiteral("：") + why);
            problem = true;
            continue;
        }
        const QByteArray& text = document.bytes();
        const TextEncoding encoding = options.encoding.value_or(detectDocumentEncoding(text, path));
        if (encoding == TextEncoding::Binary) {
            say(QStringLiteral("tavrel-check：无法读取 ") + shown + QStringLiteral("：不是文本"));
            problem = true;
            continue;
        }
        const QString ownName = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
        const QByteArray name = displayName(ownName).toUtf8();
        std::vector<CorrectionRow> rows;
        // Written a piece at a time through one reused buffer.
        QByteArray lines;
        lines.reserve(kOutputPiece + 256);
        const bool correcting = options.fix || options.diff;
        qsizetype left = 0;
        const std::vector<Hit> hits =
            withoutIgnored(scanDocument(scanner, text, encoding), scanner.entries(),
                           ignoredIn(ignored, ownName), text, encoding, &left);
        ignoredHits += left;
        for (const Hit& hit : hits) {
            const EntryLine& entry = scanner.entries()[static_cast<size_t>(hit.entry)];
            QByteArray& tail = rowTails[static_cast<size_t>(hit.entry)];
            if (tail.isEmpty()) tail = '\t' + utf8(entry.wrong) + '\t' + utf8(entry.right) + '\n';
            appendDecimal(lines, ++number);
            lines += '\t';
            lines += name;
            lines += '\t';
            HitPosition{hit.start, hit.start + hit.length - 1}.appendTo(lines);
            lines += tail;
            if (lines.size() >= kOutputPiece) {
                if (!options.diff) out.write(lines);
                lines.resize(0);  // keeps its room
            }
            if (correcting)
                rows.push_back({hit.start, TextCodec::recodeGbk(entry.wrong, encoding),
                                TextCodec::recodeGbk(entry.right, encoding)});
        }
        if (!options.diff) out.write(lines);
        if (rows.empty()) continue;
        // As the window's correction with every row ticked.
        const CorrectionResult result = applyCorrections(text, rows, encoding);
        skipped += result.skipped.size();
        const std::vector<CorrectionRow> applied = appliedRows(rows, result);
        if (options.diff) {
            out.write(unifiedDiff(shown, text, applied, encoding));
            changes = changes || !applied.empty();
        } else if (result.applied.empty()) {
            say(QStringLiteral("未修改 %1：跳过 %2 处").arg(shown).arg(result.skipped.size()));
        } else if (!run.record(path, text, result.text, applied, &why) ||
                   !DocumentFile::write(path, result.text, &why, &document.version())) {
            // Another program's change since the read is left alone.
            say(QStringLiteral("tavrel-check：无法写入 ") + shown + QStringLiteral("：") + why);
            problem = true;
        } else {
            say(QStringLiteral("已修改 %1：改正 %2 处，跳过 %3 处")
                    .arg(shown)
                    .arg(result.applied.size())
                    .arg(result.skipped.size()));
        }
    }
    say(QStringLiteral("%1 处, %2 个文件").arg(number).arg(documents.size()));
    if (ignoredHits > 0) say(QStringLiteral("已忽略 %1 处（--no-ignored 列出）").arg(ignoredHits));
    if (problem) return 2;
    if (options.fix) return skipped > 0 ? 1 : 0;
    if (options.diff) return changes ? 1 : 0;
    return number > 0 ? 1 : 0;
}
