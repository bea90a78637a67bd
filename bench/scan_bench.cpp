// Speed of the scan engine against the per-entry search, on real prose and
// real words from Debian packages (fortunes-zh, python3-jieba); of many small
// documents read from disk; of the main window's proofreading pass; and of
// tavrel-check against grep -F on the same document and forms. Prints the
// figures of this machine next to their targets; everything is deterministic
// except the clock.
//
// scan_bench [--check PATH-TO-tavrel-check] [--size MB] [--part 1|2|3|4|5|6|7]

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QString>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "BenchCorpus.h"
#include "documents/DocumentFile.h"
#include "gui/MainWindow.h"
#include "gui/ProgramState.h"
#include "gui/documents/DirectoryBox.h"
#include "library/WordDatabase.h"
#include "platform/Prompter.h"
#include "platform/SystemPlatform.h"
#include "proofread/DocumentScan.h"
#include "proofread/PerEntrySearch.h"
#include "proofread/Scanner.h"
#include "text/GbkCodec.h"
#include "text/GbkTranscript.h"
#include "text/TextCodec.h"

namespace {

using namespace bench;

const char* verdict(bool met) { return met ? "met" : "MISSED"; }

// A figure of /proc/self/status ("VmRSS", "VmHWM") in MB.
double statusMB(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(line.indexOf(':') + 1).trimmed().split(' ').first().toDouble() / 1024;
    return 0;
}

// Starts a new peak-memory window: freed memory goes back to the system, so
// that what comes next shows as growth, and the peak becomes what is resident now.
bool resetPeak() {
    malloc_trim(0);
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

double processPeakMB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(2);
    }
}

// `count` pieces of `size` bytes or a little less, cut from `text` one after
// the other at character boundaries.
std::vector<QByteArray> pieces(const QByteArray& text, int count, qsizetype size) {
    std::vector<QByteArray> out;
    qsizetype at = 0;
    for (int i = 0; i < count; ++i) {
        out.push_back(cutAtCharacter(text.mid(at, size + 1), size));
        at += out.back().size();
    }
    return out;
}

void engineTable(const QByteArray& document, const std::vector<QByteArray>& words) {
    std::printf(
        "1. The engine's one pass against one search per entry (engine: median of 5, the others "
        "of 3)\n");
    std::printf("%8s %9s %10s %10s %11s %8s %9s %9s %8s %5s\n", "entries", "prepare", "engine",
                "portable", "per-entry", "(slice)", "ratio", "hits", "memory", "same");
    // The per-entry search takes time in proportion to the library, so it reads a slice.
    struct Row {
        size_t entries;
        qsizetype slice;
        double target;
    };
    const Row rows[] = {{1000, 2 << 20, 900}, {10000, 1 << 20, 900}, {50000, 256 << 10, 400}};
    std::vector<QString> verdicts;
    const char* filterName = "";
    for (const Row& row : rows) {
        const std::vector<EntryLine> entries = lines(library(words, row.entries));
        const bool peakKnown = resetPeak();
        const double before = statusMB("VmRSS");
        const double prepare = timeIt(3, [&] { Scanner scanner(entries); });
        const Scanner scanner(entries);
        filterName = scanner.filterName();
        std::vector<Hit> hits;
        const double engine = timeIt(5, [&] { hits = scanner.scan(document); });
        const double memory = peakKnown ? statusMB("VmHWM") - before : processPeakMB();
        const Scanner portable(entries, Scanner::Filter::Portable);
        std::vector<Hit> portableHits;
        const double plainFilter = timeIt(3, [&] { portableHits = portable.scan(document); });
        const QByteArray part = cutAtCharacter(document, row.slice);
        const PerEntrySearch plain(entries);
        const double perEntry = timeIt(3, [&] { plain.scan(part); });
        const bool same = plain.scan(part) == scanner.scan(part) && portableHits == hits;
        const double rate = mbPerSecond(document.size(), engine);
        const double ratio = rate / mbPerSecond(part.size(), perEntry);
        std::printf(
            "%8zu %6.1f ms %5.0f MB/s %5.0f MB/s %6.2f MB/s %5.2f MB %8.0fx %9zu %5.1f MB %5s\n",
            row.entries, prepare * 1000, rate, mbPerSecond(document.size(), plainFilter),
            mbPerSecond(part.size(), perEntry), static_cast<double>(part.size()) / kMB, ratio,
            hits.size(), memory, same ? "yes" : "NO");
        verdicts.push_back(QStringLiteral("%1 entries: %2 MB/s (target %3): %4")
                               .arg(row.entries)
                               .arg(rate, 0, 'f', 0)
                               .arg(row.target)
                               .arg(QLatin1String(verdict(rate >= row.target))));
        if (row.entries == 10000)
            verdicts.push_back(QStringLiteral("10000 entries: %1x the per-entry search (target "
                                              "200x): %2")
                                   .arg(ratio, 0, 'f', 0)
                                   .arg(QLatin1String(verdict(ratio >= 200))));
        if (row.entries == 50000)
            verdicts.push_back(QStringLiteral("50000 entries: prepared in %1 ms (target < 100): %2")
                                   .arg(prepare * 1000, 0, 'f', 1)
                                   .arg(QLatin1String(verdict(prepare < 0.1))));
    }
    std::printf(
        "(engine: %s; portable: the same engine without vector instructions; per-entry search "
        "measured on the slice shown; memory: peak resident growth while the engine was built "
        "and used; same: all three give the same hits)\n",
        filterName);
    for (const QString& v : verdicts) std::printf("  %s\n", qPrintable(v));
    std::printf("\n");
}

void smallDocuments(const QByteArray& document, const std::vector<EntryLine>& entries,
                    const QString& dir) {
    std::vector<QString> paths;
    int i = 0;
    for (const QByteArray& piece : pieces(document, 2000, 10 * 1024)) {
        paths.push_back(QDir(dir).filePath(QStringLiteral("d%1.txt").arg(i++)));
        writeAll(paths.back(), piece);
    }
    const Scanner scanner(entries);
    qsizetype bytes = 0;
    size_t hits = 0;
    const double seconds = timeIt(5, [&] {
        bytes = 0;
        hits = 0;
        for (const QString& path : paths) {
            const QByteArray text = DocumentFile::read(path).value_or(QByteArray());
            bytes += text.size();
            hits += scanner.scan(text).size();
        }
    });
    const double rate = mbPerSecond(bytes, seconds);
    std::printf("2. 2,000 documents of 10 KB read from disk, 10,000 entries (median of 5)\n");
    std::printf("  read and scan: %.0f MB/s, %zu hits (target 400 MB/s): %s\n\n", rate, hits,
                verdict(rate >= 400));
}

// The computer of the window's pass: this one, with the program directory
// where the benchmark put its library.
class BenchPlatform : public SystemPlatform {
  public:
    explicit BenchPlatform(const QString& dir) : dir(dir + QLatin1Char('/')) {}
    QString programDirectory() override { return dir; }
    QString appDataDirectory() override { return dir + QStringLiteral("appdata"); }
    bool isOnline() override { return false; }

  private:
    QString dir;
};

// Answers every box with OK and remembers the last text.
class QuietPrompter : public Prompter {
  public:
    QString last;
    Answer message(Icon, const QString&, const QString& text, Buttons buttons) override {
        last = text;
        // Yes to 修改's question; a document's unsaved edits are kept.
        if (buttons == Buttons::YesNo) return Answer::Yes;
        return buttons == Buttons::SaveDiscardCancel ? Answer::Discard : Answer::Ok;
    }
    QStringList openFiles(const FileDialog&) override { return {}; }
    QString saveFile(const FileDialog&) override { return {}; }
};

// A library of `entries` made in `program`, which is returned.
QString withLibrary(const QString& program, const std::vector<WordEntry>& entries) {
    WordDatabase db;
    if (db.open(QDir(program).filePath(QStringLiteral("jdck.mdb"))) !=
            WordDatabase::OpenResult::Created ||
        !db.addEntries(entries)) {
        std::fprintf(stderr, "cannot build the library: %s\n", qPrintable(db.lastError()));
        std::exit(2);
    }
    return program;
}

// The main window, shown offscreen over a new library of `entries` in
// `program`, with the documents of `documents` listed.
struct BenchWindow {
    ProgramState state;
    BenchPlatform platform;
    QuietPrompter prompter;
    MainWindow window;

    BenchWindow(const QString& program, const QString& documents,
                const std::vector<WordEntry>& entries)
        : platform(withLibrary(program, entries)), window(state, platform, prompter) {
        window.show();
        window.findChild<DirectoryBox*>(QStringLiteral("directoryBox"))->setDirectory(documents);
        window.fillFileList();
        QCoreApplication::processEvents();
    }
};

void windowPass(const QByteArray& document, const std::vector<WordEntry>& entries,
                const QString& dir) {
    const QString program = QDir(dir).filePath(QStringLiteral("program"));
    const QString documents = QDir(dir).filePath(QStringLiteral("window"));
    QDir().mkpath(program);
    QDir().mkpath(documents);
    const std::vector<QByteArray> texts = pieces(document, 100, 100 * 1024);
    for (size_t i = 0; i < texts.size(); ++i)
        writeAll(
            QDir(documents).filePath(QStringLiteral("w%1.txt").arg(i, 3, 10, QLatin1Char('0'))),
            texts[i]);
    BenchWindow bench(program, documents, entries);
    MainWindow& window = bench.window;
    QuietPrompter& prompter = bench.prompter;
    auto* grid = window.findChild<QTableView*>(QStringLiteral("resultGrid"))->model();
    int rows = 0;
    const double seconds = timeIt(3, [&] {
        prompter.last.clear();
        window.runProofread();
        rows = grid->rowCount();
    });
    if (prompter.last != QStringLiteral("校对完毕！")) {
        std::fprintf(stderr, "the pass ended with: %s\n", qPrintable(prompter.last));
        std::exit(2);
    }
    // What the engine does of it: prepare the entries and scan the documents.
    const std::vector<EntryLine> scanned = lines(entries);
    const double engine = timeIt(5, [&] {
        const Scanner scanner(scanned);
        for (const QByteArray& text : texts) scanner.scan(text);
    });
    std::printf(
        "3. The window's 校对 over 100 documents of 100 KB, 10,000 entries, offscreen "
        "(median of 3)\n");
    std::printf("  %.0f ms for %d rows (target < 2000 ms): %s\n", seconds * 1000, rows,
                verdict(seconds < 2));
    std::printf(
        "  the engine's share: %.1f ms (%.0f%%) to prepare the entries and scan the same "
        "documents\n\n",
        engine * 1000, 100 * engine / seconds);
}

// The longest time between two turns of the event loop while it runs: how
// long a click would wait to be answered. A timer asks for a turn every few
// milliseconds; a loop that sleeps for want of events is not counted, as a
// click would wake it at once.
class EventLoopGaps {
  public:
    EventLoopGaps() {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(2);
        QObject::connect(&timer, &QTimer::timeout, [this] { turn(); });
    }
    void start() {
        longest = 0;
        clock.start();
        timer.start();
    }
    double stop() {
        turn();
        timer.stop();
        return longest;
    }

  private:
    void turn() {
        longest = std::max(longest, clock.nsecsElapsed() / 1e6);
        clock.restart();
    }
    QTimer timer;
    QElapsedTimer clock;
    double longest = 0;
};

// The window with one 20 MB document: loading it, 校对 and 修改, and the
// longest stretch during each in which the window could not answer a click.
void windowOnALargeDocument(const QByteArray& document, std::vector<WordEntry> entries,
                            const QString& dir) {
    // Real libraries hold entries of the commonest characters (的/地, 在/再),
    // which a long text holds hundreds of thousands of times: the hit list
    // of such a document is the window's heaviest load.
    for (const auto& [wrong, right] : {std::pair{"的", "地"}, std::pair{"在", "再"}}) {
        WordEntry e;
        e.tgrade = gbk(QStringLiteral("基本"));
        e.tclass = gbk(QStringLiteral("词语"));
        e.terror = gbk(QString::fromUtf8(wrong));
        e.tright = gbk(QString::fromUtf8(right));
        entries.push_back(e);
    }
    const QString program = QDir(dir).filePath(QStringLiteral("program-large"));
    const QString documents = QDir(dir).filePath(QStringLiteral("large"));
    QDir().mkpath(program);
    QDir().mkpath(documents);
    writeAll(QDir(documents).filePath(QStringLiteral("large.txt")), document);
    BenchWindow bench(program, documents, entries);
    MainWindow& window = bench.window;
    EventLoopGaps gaps;

    QElapsedTimer clock;
    clock.start();
    gaps.start();
    window.findChild<QListWidget*>(QStringLiteral("fileCheckList"))->setCurrentRow(0);
    QCoreApplication::processEvents();
    const double load = clock.nsecsElapsed() / 1e9;
    const double loadGap = gaps.stop();

    clock.restart();
    gaps.start();
    window.runProofread();
    const double passGap = gaps.stop();
    const double pass = clock.nsecsElapsed() / 1e9;
    const int rows =
        window.findChild<QTableView*>(QStringLiteral("resultGrid"))->model()->rowCount();

    clock.restart();
    gaps.start();
    window.runCorrection();
    const double correctionGap = gaps.stop();
    const double correction = clock.nsecsElapsed() / 1e9;

    std::printf(
        "7. The window with one %.0f MB document, 10,000 entries and 的→地, 在→再, offscreen: how "
        "long the window "
        "cannot answer a click\n",
        static_cast<double>(document.size()) / kMB);
    std::printf(
        "  loading it: %.0f ms (aim < 1000 ms): %s; longest gap: %.0f ms (aim < 100 ms): %s\n",
        load * 1000, verdict(load < 1), loadGap, verdict(loadGap < 100));
    std::printf(
        "  校对: %.0f ms, %d rows; longest gap between two turns of the event loop: %.0f ms "
        "(aim < 100 ms): %s\n",
        pass * 1000, rows, passGap, verdict(passGap < 100));
    std::printf("  修改: %.0f ms; longest gap: %.0f ms (aim < 100 ms): %s\n\n", correction * 1000,
                correctionGap, verdict(correctionGap < 100));
}

// The library as the text tavrel-check --library reads.
void writeLibraryText(const QString& path, const std::vector<WordEntry>& entries) {
    QByteArray text = "tgrade\ttclass\tterror\ttright\ttbut\n";
    for (const WordEntry& e : entries)
        text += QStringLiteral("%1\t%2\t%3\t%4\t%5\n")
                    .arg(fromGbk(e.tgrade), fromGbk(e.tclass), fromGbk(e.terror), fromGbk(e.tright),
                         fromGbk(e.tbut))
                    .toUtf8();
    writeAll(path, text);
}

double runCommand(const QString& command) {
    return timeIt(5, [&] {
        if (std::system(command.toLocal8Bit().constData()) == -1) std::exit(2);
    });
}

void checkAgainstGrep(const QString& check, const QByteArray& document,
                      const std::vector<WordEntry>& entries, const QString& dir) {
    std::printf(
        "4. tavrel-check against grep -F -c -f: 20 MB document, 10,000 entries, whole program "
        "runs with their output (median of 5)\n");
    if (!QFileInfo(check).isExecutable()) {
        std::printf("  tavrel-check not found at %s (give --check PATH)\n\n", qPrintable(check));
        return;
    }
    const QString doc = QDir(dir).filePath(QStringLiteral("document.txt"));
    const QString tsv = QDir(dir).filePath(QStringLiteral("library.tsv"));
    const QString patterns = QDir(dir).filePath(QStringLiteral("patterns.gbk"));
    const QString out = QDir(dir).filePath(QStringLiteral("out"));
    writeAll(doc, document);
    QByteArray patternText;
    for (const WordEntry& e : entries) patternText += e.terror + '\n';
    writeLibraryText(tsv, entries);
    writeAll(patterns, patternText);

    const double checkTime =
        runCommand(QStringLiteral("'%1' --library '%2' --mode quick '%3' > '%4' 2>/dev/null")
                       .arg(check, tsv, doc, out));
    const qsizetype rows = readAll(out).count('\n');
    const double grepTime = runCommand(
        QStringLiteral("LC_ALL=C grep -F -c -f '%1' '%2' > '%3'").arg(patterns, doc, out));
    std::printf("  tavrel-check --mode quick (TSV library, %lld rows written): %7.3f s\n",
                static_cast<long long>(rows), checkTime);
    std::printf("  grep -F -c -f (same forms, GBK bytes, LC_ALL=C; %s lines):     %7.3f s\n",
                readAll(out).trimmed().constData(), grepTime);
    std::printf("  tavrel-check is %.1fx as fast as grep (target 5x): %s\n\n", grepTime / checkTime,
                verdict(grepTime / checkTime >= 5));
}

// tavrel-check on many small documents, on one thread and on two.
void checkJobs(const QString& check, const QByteArray& document,
               const std::vector<WordEntry>& entries, const QString& dir) {
    std::printf(
        "6. tavrel-check --jobs: 2,000 documents of 10 KB from disk, 10,000 entries, whole program "
        "runs with their output (median of 5)\n");
    if (!QFileInfo(check).isExecutable()) {
        std::printf("  tavrel-check not found at %s (give --check PATH)\n\n", qPrintable(check));
        return;
    }
    const QString docs = QDir(dir).filePath(QStringLiteral("jobs"));
    QDir().mkpath(docs);
    int n = 0;
    for (const QByteArray& piece : pieces(document, 2000, 10 * 1024))
        writeAll(QDir(docs).filePath(QStringLiteral("%1.txt").arg(n++, 4, 10, QLatin1Char('0'))),
                 piece);
    const QString tsv = QDir(dir).filePath(QStringLiteral("jobs.tsv"));
    writeLibraryText(tsv, entries);
    double seconds[2] = {};
    QByteArray output[2];
    for (int jobs : {1, 2}) {
        const QString out = QDir(dir).filePath(QStringLiteral("jobs%1.out").arg(jobs));
        seconds[jobs - 1] =
            runCommand(QStringLiteral("'%1' --library '%2' --jobs %3 '%4' > '%5' 2>/dev/null")
                           .arg(check, tsv, QString::number(jobs), docs, out));
        output[jobs - 1] = readAll(out);
        std::printf("  --jobs %d: %7.3f s (%lld hit lines)\n", jobs, seconds[jobs - 1],
                    static_cast<long long>(output[jobs - 1].count('\n')));
    }
    // What no thread count shortens: starting the program and preparing the library.
    const QString empty = QDir(dir).filePath(QStringLiteral("nothing"));
    QDir().mkpath(empty);
    const double fixed = runCommand(
        QStringLiteral("'%1' --library '%2' '%3' > /dev/null 2>&1").arg(check, tsv, empty));
    const double speedUp = seconds[0] / seconds[1];
    std::printf("  start-up and library alone (no document): %7.3f s\n", fixed);
    std::printf("  the documents alone: --jobs 2 is %.2fx as fast as --jobs 1\n",
                (seconds[0] - fixed) / (seconds[1] - fixed));
    std::printf("  the same output: %s; --jobs 2 is %.2fx as fast as --jobs 1 (aim 1.7x): %s\n\n",
                output[0] == output[1] ? "yes" : "NO", speedUp, verdict(speedUp >= 1.7));
}

// The same text in each encoding, detected and scanned as the window and
// tavrel-check do it; "of GBK" compares the time with that of the GBK text.
// UTF-16 carries its byte-order mark, as it must to be told; GB18030 text
// without a four-byte character is GBK, and read as such.
void otherEncodings(const QByteArray& document, const std::vector<EntryLine>& entries) {
    std::printf(
        "5. The same text in other encodings, detected and scanned, 10000 entries "
        "(median of 5)\n");
    const Scanner scanner(entries);
    const QString text = GbkCodec::decode(document);
    double gbkTime = 0;
    std::vector<Hit> gbkHits;
    struct Row {
        TextEncoding encoding;
        const char* mark;
        TextEncoding detected;
    };
    for (const Row& row : {Row{TextEncoding::Gbk, "", TextEncoding::Gbk},
                           Row{TextEncoding::Utf8, "", TextEncoding::Utf8},
                           Row{TextEncoding::Utf16Le, "\xFF\xFE", TextEncoding::Utf16Le},
                           Row{TextEncoding::Gb18030, "", TextEncoding::Gbk}}) {
        const QByteArray bytes =
            row.encoding == TextEncoding::Gbk
                ? document
                : row.mark +
                      TextCodec::encode(text, row.encoding, TextCodec::LineEnding::None, nullptr);
        std::vector<Hit> hits;
        TextEncoding detected = TextEncoding::Binary;
        const double time = timeIt(5, [&] {
            detected = detectEncoding(bytes, false);
            hits = scanDocument(scanner, bytes, detected);
        });
        const double detect = timeIt(5, [&] { detectEncoding(bytes, false); });
        const double transcript =
            detected == TextEncoding::Gbk ? 0 : timeIt(5, [&] { GbkTranscript(bytes, detected); });
        if (row.encoding == TextEncoding::Gbk) {
            gbkTime = time;
            gbkHits = hits;
        }
        const bool same = detected == row.detected &&
                          std::equal(hits.begin(), hits.end(), gbkHits.begin(), gbkHits.end(),
                                     [](const Hit& a, const Hit& b) { return a.entry == b.entry; });
        const double share = gbkTime / time * 100;
        std::printf(
            "  %-8s %5.1f MB %5.0f MB/s, %5.1f ms (detect %4.1f, transcript %4.1f): %3.0f%% of "
            "GBK%s, %zu hits%s\n",
            qPrintable(encodingName(row.encoding)), static_cast<double>(bytes.size()) / kMB,
            mbPerSecond(bytes.size(), time), time * 1000, detect * 1000, transcript * 1000, share,
            row.encoding == TextEncoding::Utf8
                ? (share >= 70 ? " (aim 70%: met)" : " (aim 70%: NOT met)")
                : "",
            hits.size(), same ? "" : " (NOT THE HITS OF GBK)");
    }
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QString check = QCoreApplication::applicationDirPath() + QStringLiteral("/tavrel-check");
    qsizetype size = 20 * 1024 * 1024;
    QString part;  // all of them
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--check")) check = args[i + 1];
        if (args[i] == QLatin1String("--size")) size = args[i + 1].toLongLong() << 20;
        if (args[i] == QLatin1String("--part")) part = args[i + 1];
    }
    auto wanted = [&](const char* number) {
        return part.isEmpty() || part == QLatin1String(number);
    };

    const QByteArray document = prose(size);
    const std::vector<QByteArray> words = shuffledWords(jiebaDictionary());
    std::printf(
        "Document: %.1f MB of fortunes-zh prose in GBK, repeated; libraries drawn from %zu "
        "python3-jieba words of 2-4 characters (every fifth entry with an exception phrase).\n"
        "One core; figures are medians, MB/s of document bytes.\n\n",
        static_cast<double>(document.size()) / kMB, words.size());

    if (wanted("1")) engineTable(document, words);
    // TAVREL_BENCH_DIR keeps the generated files for a closer look.
    QTemporaryDir temporary;
    const QString keep = qEnvironmentVariable("TAVREL_BENCH_DIR");
    const QString workDir = keep.isEmpty() ? temporary.path() : keep;
    const std::vector<WordEntry> tenThousand = library(words, 10000);
    if (wanted("2")) smallDocuments(document, lines(tenThousand), workDir);
    if (wanted("3")) windowPass(document, tenThousand, workDir);
    if (wanted("4")) checkAgainstGrep(check, document, tenThousand, workDir);
    if (wanted("5")) otherEncodings(document, lines(tenThousand));
    if (wanted("6")) checkJobs(check, document, tenThousand, workDir);
    if (wanted("7")) windowOnALargeDocument(document, tenThousand, workDir);
    std::printf("Peak memory of the whole benchmark (getrusage): %.0f MB\n", processPeakMB());
    return 0;
}
