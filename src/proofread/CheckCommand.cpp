#include "proofread/CheckCommand.h"

#include <QDateTime>
#include <QFile>
#include <QIODevice>

#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <future>
#include <memory>
#include <thread>

#include "documents/DocumentFile.h"
#include "library/LibrarySource.h"
#include "library/StarterLibrary.h"
#include "library/WordDatabase.h"
#include "proofread/CorrectionJournal.h"
#include "proofread/HitPosition.h"
#include "proofread/HitReport.h"
#include "proofread/OrderedJobs.h"
#include "proofread/ProofreadPass.h"
#include "text/FileName.h"
#include "text/GbkCodec.h"
#include "text/TerminalText.h"

namespace {

constexpr char kUsage[] =
    "用法：tavrel-check [--library PATH] [--mode quick|fine|professional]\n"
    "                   [--encoding auto|gbk|gb18030|utf-8|utf-16le|utf-16be] [--no-ignored]\n"
    "                   [--format text|jsonl|csv|sarif|html] [--stats] [--jobs N]\n"
    "                   [--fix|--diff] [--files-from FILE] PATH...\n"
    "      tavrel-check --undo\n"
    "校对文档（*.fbd、*.txt、*.htm、*.html）；目录取其中的文档。\n"
    "每处错误在标准输出占一行：序号、文件名、位置、误、正，以TAB分隔。\n"
    "  --library PATH  词库文件，或首行为 tgrade tclass terror tright tbut 的UTF-8文本\n"
    "  --mode MODE     quick（默认，基本）、fine（基本、高级）、professional（全部）\n"
    "  --encoding ENC  文档的编码，auto（默认）按内容识别：字节顺序标记、HTML的charset、\n"
    "                  UTF-8、GB18030，否则GBK\n"
    "  --format FMT    输出格式：text（默认，见上）、jsonl（每处一个JSON对象）、\n"
    "                  csv（带BOM的UTF-8，可用电子表格打开）、sarif（SARIF 2.1.0）、\n"
    "                  html（一页报告：每个文档的字数、差错率和带上下文的错误）\n"
    "  --stats         在标准错误输出每个文档的字数和差错率（每万字）；jsonl 末尾另加汇总对象\n"
    "  --files-from F  从文件 F 读取要校对的路径，每行一个（F 为 - 时读标准输入）\n"
    "  --jobs N        用 N 个线程校对（默认为处理器核数），输出与单线程完全相同\n"
    "  --no-ignored    也列出在窗口中“忽略此处”的错误（默认不列出，只在标准错误输出计数）\n"
    "  --fix           改正每一处错误并保存文档（可以 --undo 撤销）\n"
    "  --diff          以统一差异格式（unified diff）显示 --fix 将作的修改，不写文件\n"
    "  --undo          撤销最近一次修改（本程序或窗口的“修改”），只恢复此后未被改动的文档\n"
    "退出码：0 无错误，1 有错误（--fix：有未改正的；--diff：有要修改的；--undo：有未能撤销的），\n"
    "2 用法错误或文件无法读取（--undo：没有可撤销的修改）。\n";

enum class Format { Text, Jsonl, Csv, Sarif, Html };

struct Options {
    QString library;
    Format format = Format::Text;
    bool stats = false;
    int jobs = 0;  // 0: one per processor
    QString filesFrom;
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
        } else if (a == QLatin1String("--stats")) {
            options.stats = true;
        } else if (a == QLatin1String("--no-ignored")) {
            options.showIgnored = true;
        } else if (a == QLatin1String("--undo")) {
            options.undo = true;
        } else if (a == QLatin1String("--library") || a == QLatin1String("--mode") ||
                   a == QLatin1String("--encoding") || a == QLatin1String("--format") ||
                   a == QLatin1String("--files-from") || a == QLatin1String("--jobs")) {
            if (i + 1 == args.size()) {
                error = a + QStringLiteral(" 缺少参数");
                return Parsed::Error;
            }
            const QString value = args[++i];
            if (a == QLatin1String("--library")) {
                options.library = value;
            } else if (a == QLatin1String("--files-from")) {
                options.filesFrom = value;
            } else if (a == QLatin1String("--jobs")) {
                bool number = false;
                options.jobs = value.toInt(&number);
                if (!number || options.jobs < 1 || options.jobs > 1024) {
                    error = QStringLiteral("--jobs 须为 1 到 1024 的整数：") + value;
                    return Parsed::Error;
                }
            } else if (a == QLatin1String("--format")) {
                const QStringList names = {QStringLiteral("text"), QStringLiteral("jsonl"),
                                           QStringLiteral("csv"), QStringLiteral("sarif"),
                                           QStringLiteral("html")};
                if (!names.contains(value)) {
                    error = QStringLiteral("未知的输出格式：") + value;
                    return Parsed::Error;
                }
                options.format = static_cast<Format>(names.indexOf(value));
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
    if (options.diff && options.format != Format::Text) {
        error = QStringLiteral("--diff 不与 --format 同用");
        return Parsed::Error;
    }
    if (options.undo != (options.paths.isEmpty() && options.filesFrom.isEmpty())) {
        error =
            options.undo ? QStringLiteral("--undo 不带文件") : QStringLiteral("没有要校对的文件");
        return Parsed::Error;
    }
    return Parsed::Run;
}

constexpr qsizetype kOutputPiece = 64 * 1024;

QByteArray utf8(const QByteArray& gbkText) { return GbkCodec::decode(gbkText).toUtf8(); }

QString onTerminal(const QString& text) { return QString::fromUtf8(terminalText(text)); }

// Undoes the most recent correction run: 0 all restored, 1 some left alone
// (each named) or a record that may not name every document, 2 nothing to
// undo, no journal to read, or one that cannot be marked.
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
        say(QStringLiteral("未能撤销 ") + onTerminal(displayName(path)) +
            QStringLiteral("：文档在修改后已被改动"));
    for (const QString& path : result.failed)
        say(QStringLiteral("未能撤销 ") + onTerminal(displayName(path)) +
            QStringLiteral("：文档无法读写，可以再次撤销"));
    if (!run->damage.isEmpty()) say(QStringLiteral("tavrel-check：") + run->damage);
    say(QStringLiteral("撤销完毕：恢复 %1 个文件，未能撤销 %2 个")
            .arg(result.restored.size())
            .arg(result.leftAlone.size() + result.failed.size()));
    if (!result.markError.isEmpty()) {
        say(QStringLiteral("tavrel-check：") + result.markError);
        return 2;
    }
    return result.leftAlone.isEmpty() && result.failed.isEmpty() && run->damage.isEmpty() ? 0 : 1;
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
    // A rewrite in place that a kill interrupted is finished before anything is read.
    DocumentFile::keepRewritesIn(journalDirectory);
    for (const QString& path : DocumentFile::finishInterruptedRewrites())
        say(QStringLiteral("tavrel-check：已完成中断的改写：") + onTerminal(displayName(path)));
    if (options.undo) return undoLastRun(journalDirectory, say);

    struct Library {
        std::optional<ProofreadPass> pass;
        QString error;
    };
    // Prepared on a thread of its own while the documents are listed and the
    // first of them read: on a large library it is the longest step that no
    // number of threads shortens.
    std::shared_future<Library> library =
        std::async(std::launch::async, [&] {
            Library l;
            std::optional<std::vector<WordEntry>> entries;
            std::vector<IgnoredOccurrence> ignored;
            if (options.library.isEmpty()) {
                // The program's own library is found, and on a new installation
                // made, as the window does it.
                WordDatabase db;
                if (StarterLibrary::openOrCreate(db, defaultLibraryPath)) {
                    entries = entriesToCheck(db, options.mode, &l.error, &ignored);
                } else {
                    l.error = db.openFailure();
                }
            } else {
                entries = namedLibraryEntries(options.library, options.mode, &l.error, &ignored);
            }
            if (options.showIgnored) ignored.clear();
            if (!entries) return l;
            std::vector<EntryLine> lines;
            lines.reserve(entries->size());
            for (const WordEntry& entry : *entries) lines.push_back(EntryLine::fromEntry(entry));
            entries.reset();
            l.pass.emplace(std::move(lines), std::move(ignored));
            return l;
        }).share();
    auto libraryFailed = [&] {
        if (library.get().pass) return false;
        say(QStringLiteral("tavrel-check：") + library.get().error);
        return true;
    };

    bool problem = false;
    QStringList paths = options.paths;
    if (!options.filesFrom.isEmpty()) {
        // One path per line, as find(1) or a task runner writes them.
        QFile list;
        const bool opened =
            options.filesFrom == QLatin1String("-")
                ? list.open(stdin, QIODevice::ReadOnly)
                : (list.setFileName(options.filesFrom), list.open(QIODevice::ReadOnly));
        if (!opened) {
            if (!libraryFailed())
                say(QStringLiteral("tavrel-check：无法读取 ") + options.filesFrom);
            return 2;
        }
        for (QByteArray line : list.readAll().split('\n')) {
            if (line.endsWith('\r')) line.chop(1);
            if (!line.isEmpty()) paths << pathFromBytes(line);
        }
    }
    QStringList documents;
    for (const QString& path : paths) {
        struct stat info {};
        if (::stat(pathBytes(path).constData(), &info) == 0 && S_ISDIR(info.st_mode)) {
            for (const QString& name : documentNames(path, documentSuffixes()))
                documents << documentPath(path, name);
        } else {
            documents << path;
        }
    }

    const bool correcting = options.fix || options.diff;
    const bool reporting = options.format != Format::Text || options.stats;
    // Read, scanned and measured on the worker threads; everything that
    // counts, prints or writes happens in order on this one.
    struct Checked {
        PassDocument document;
        ProofreadPass::Found found;
    };
    auto check = [&](std::size_t i) {
        Checked c;
        c.document = ProofreadPass::read(documents[static_cast<qsizetype>(i)],
                                         {options.encoding, /*mapped=*/true});
        if (!c.document.problem.isEmpty()) return c;
        const Library& l = library.get();
        if (!l.pass) return c;
        c.found =
            l.pass->check(c.document, nullptr,
                          reporting ? ProofreadPass::Detail::Report : ProofreadPass::Detail::Hits);
        return c;
    };

    qsizetype number = 0;
    qsizetype ignoredHits = 0;
    qsizetype left = 0;    // --fix: hits the corrected documents still have
    bool changes = false;  // --diff: something to change
    const CorrectionJournal journal(journalDirectory);
    CorrectionJournal::Run run = journal.startRun("tavrel-check");
    // Each entry's forms in UTF-8 and its rows' common tail, made when first needed.
    std::vector<QByteArray> rowTails;
    std::vector<HitReport::Hit> reportHits;  // csv and sarif are written whole at the end
    std::vector<HitReport::Document> measured;
    auto consume = [&](std::size_t i, Checked c) {
        if (!library.get().pass) return;  // said once, at the end
        const ProofreadPass& pass = *library.get().pass;
        if (rowTails.empty()) rowTails.resize(static_cast<size_t>(pass.formCount()));
        const QString& path = documents[static_cast<qsizetype>(i)];
        const QString shown = displayName(path);
        const QString said = onTerminal(shown);  // in what goes to a terminal
        if (!c.document.problem.isEmpty()) {
            say(QStringLiteral("tavrel-check：无法读取 ") + said + QStringLiteral("：") +
                c.document.problem);
            problem = true;
            return;
        }
        const ProofreadPass::Found& found = c.found;
        ignoredHits += found.ignored;
        const QByteArray name =
            terminalText(displayName(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1)));
        std::vector<CorrectionRow> rows;
        // Written a piece at a time through one reused buffer.
        QByteArray lines;
        lines.reserve(kOutputPiece + 256);
        for (size_t h = 0; h < found.hits.size(); ++h) {
            const Hit& hit = found.hits[h];
            const EntryLine& entry = pass.form(hit.entry);
            ++number;
            if (options.format == Format::Text) {
                QByteArray& tail = rowTails[static_cast<size_t>(hit.entry)];
                if (tail.isEmpty())
                    tail = '\t' + utf8(entry.wrong) + '\t' + utf8(entry.right) + '\n';
                appendDecimal(lines, number);
                lines += '\t';
                lines += name;
                lines += '\t';
                HitPosition{hit.start, hit.start + hit.length - 1}.appendTo(lines);
                lines += tail;
            } else {
                const HitReport::Measure::Place& at = found.measure.places[h];
                HitReport::Hit r{number,
                                 shown,
                                 hit.start,
                                 hit.start + hit.length - 1,
                                 at.line,
                                 at.column,
                                 at.endLine,
                                 at.endColumn,
                                 fromGbk(entry.wrong),
                                 fromGbk(entry.right),
                                 found.contexts[h],
                                 true,
                                 encodingName(c.document.text.encoding)};
                if (options.format == Format::Jsonl)
                    lines += HitReport::jsonLine(r);
                else
                    reportHits.push_back(std::move(r));
            }
            if (lines.size() >= kOutputPiece) {
                if (!options.diff) out.write(lines);
                lines.resize(0);  // keeps its room
            }
            if (correcting) rows.push_back({hit.start, entry.wrong, entry.right});
        }
        if (!options.diff) out.write(lines);
        if (options.stats || options.format == Format::Html)
            measured.push_back({shown, found.measure.characters, qsizetype(found.hits.size())});
        if (options.stats) {
            say(QStringLiteral("%1：字数 %2，错误 %3 处，差错率 %4（每万字）")
                    .arg(said)
                    .arg(found.measure.characters)
                    .arg(found.hits.size())
                    .arg(HitReport::errorRate(qsizetype(found.hits.size()),
                                              found.measure.characters),
                         0, 'f', 2));
        }
        if (rows.empty()) return;
        // As the window's correction with every row ticked.
        const ProofreadPass::Correction correction = ProofreadPass::correct(c.document, rows);
        const CorrectionResult& result = correction.file.result;
        QString why;
        if (options.diff) {
            out.write(ProofreadPass::diff(said, c.document, correction));
            changes = changes || !correction.applied.empty();
        } else if (result.applied.empty()) {
            left += qsizetype(found.hits.size());
            say(QStringLiteral("未修改 %1：跳过 %2 处").arg(said).arg(result.skipped.size()));
        } else if (ProofreadPass::write(c.document, correction, run, &why) !=
                   ProofreadPass::Written::Yes) {
            say(QStringLiteral("tavrel-check：无法写入 ") + said + QStringLiteral("：") + why);
            problem = true;
        } else {
            // A row skipped for overlapping one corrected before it may have
            // gone with it, and a right form may be another entry's wrong one:
            // only the corrected text tells what is left.
            left += qsizetype(pass.check(ProofreadPass::after(c.document, correction)).hits.size());
            say(QStringLiteral("已修改 %1：改正 %2 处，跳过 %3 处")
                    .arg(said)
                    .arg(result.applied.size())
                    .arg(result.skipped.size()));
        }
    };
    const int jobs =
        options.jobs > 0 ? options.jobs : std::max(1, int(std::thread::hardware_concurrency()));
    runInOrder<Checked>(static_cast<std::size_t>(documents.size()), jobs, check, consume);
    if (libraryFailed()) return 2;

    if (options.format == Format::Csv) out.write(HitReport::csv(reportHits));
    if (options.format == Format::Sarif) out.write(HitReport::sarif(reportHits, TAVREL_VERSION));
    if (options.format == Format::Html)
        out.write(HitReport::html(measured, reportHits, QDateTime::currentDateTime()));
    if (options.stats) {
        qsizetype characters = 0;
        for (const HitReport::Document& d : measured) characters += d.characters;
        say(QStringLiteral("合计：字数 %1，错误 %2 处，差错率 %3（每万字）")
                .arg(characters)
                .arg(number)
                .arg(HitReport::errorRate(number, characters), 0, 'f', 2));
        if (options.format == Format::Jsonl) out.write(HitReport::jsonSummary(measured));
    }
    say(QStringLiteral("%1 处, %2 个文件").arg(number).arg(documents.size()));
    if (ignoredHits > 0) say(QStringLiteral("已忽略 %1 处（--no-ignored 列出）").arg(ignoredHits));
    if (problem) return 2;
    if (options.fix) return left > 0 ? 1 : 0;
    if (options.diff) return changes ? 1 : 0;
    return number > 0 ? 1 : 0;
}
