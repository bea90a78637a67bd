// Speed of the scan engine against the per-entry search, on real prose and
// real words from Debian packages (fortunes-zh, python3-jieba); and of
// tavrel-check against grep -F on the same document and forms. Prints figures
// of this machine; everything is deterministic except the clock.
//
// scan_bench [--check PATH-TO-tavrel-check] [--size MB]

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QString>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

#include "documents/DocumentFile.h"
#include "documents/GbkCodec.h"
#include "proofread/PerEntrySearch.h"
#include "proofread/Scanner.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kMB = 1024.0 * 1024.0;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Median wall time of `runs` calls, in seconds.
double timeIt(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const Clock::time_point start = Clock::now();
        work();
        times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    return median(times);
}

double peakMemoryMB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        std::exit(2);
    }
    return file.readAll();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(2);
    }
}

// The longest prefix of at most `size` bytes that ends on a character boundary.
QByteArray cutAtCharacter(const QByteArray& text, qsizetype size) {
    qsizetype end = 0;
    while (end < text.size()) {
        const qsizetype next = end + GbkCodec::characterLength(text.constData(), text.size(), end);
        if (next > size) break;
        end = next;
    }
    return text.left(end);
}

// The fortunes' text (colour codes and separators left out) in GBK, repeated
// up to `size` bytes.
QByteArray prose(qsizetype size) {
    const QString dir = QStringLiteral("/usr/share/games/fortunes/");
    const QRegularExpression colour(QStringLiteral("\x1b\\[[0-9;]*m"));
    QByteArray once;
    for (const char* name : {"chinese", "tang300", "song100"}) {
        QString text = QString::fromUtf8(readAll(dir + QLatin1String(name)));
        text.remove(colour);
        text.replace(QStringLiteral("\n%\n"), QStringLiteral("\n"));
        QString unencodable;  // what GBK cannot hold is left out
        once += GbkCodec::encode(text, &unencodable);
    }
    QByteArray text;
    text.reserve(size + once.size());
    while (text.size() < size) text += once;
    return cutAtCharacter(text, size);
}

QString jiebaDictionary() {
    FILE* pipe = popen("dpkg -L python3-jieba 2>/dev/null", "r");
    char line[4096];
    QString found;
    while (pipe && std::fgets(line, sizeof line, pipe)) {
        const QString path = QString::fromUtf8(line).trimmed();
        if (path.endsWith(QLatin1String("/jieba/dict.txt"))) found = path;
    }
    if (pipe) pclose(pipe);
    if (found.isEmpty()) {
        std::fprintf(stderr,
                     "python3-jieba's dict.txt not found; run scripts/install-packages.sh\n");
        std::exit(2);
    }
    return found;
}

// The dictionary's words of 2 to 4 Chinese characters that GBK holds, in a
// fixed pseudo-random order.
std::vector<QByteArray> shuffledWords(const QString& dictionary) {
    std::vector<QByteArray> words;
    for (const QByteArray& line : readAll(dictionary).split('\n')) {
        const QString word = QString::fromUtf8(line.left(line.indexOf(' ')));
        if (word.size() < 2 || word.size() > 4) continue;
        if (!std::all_of(word.begin(), word.end(),
                         [](QChar c) { return c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF; }))
            continue;
        QString unencodable;
        const QByteArray bytes = GbkCodec::encode(word, &unencodable);
        if (unencodable.isEmpty()) words.push_back(bytes);
    }
    std::mt19937 random(20240601);
    for (size_t i = words.size() - 1; i > 0; --i) std::swap(words[i], words[random() % (i + 1)]);
    return words;
}

// The first n words as entries; every fifth has an exception phrase, so the
// exception test is part of the measurement.
std::vector<EntryLine> library(const std::vector<QByteArray>& words, size_t n) {
    std::vector<EntryLine> entries;
    const QByteArray right = GbkCodec::encode(QStringLiteral("正"));
    const QByteArray before = GbkCodec::encode(QStringLiteral("的"));
    for (size_t i = 0; i < n && i < words.size(); ++i)
        entries.push_back({words[i], right, i % 5 == 0 ? before + words[i] : QByteArray()});
    return entries;
}

// What a window does with the progress calls: look at a clock each time.
class TimedObserver : public ScanObserver {
  public:
    void bytesDone(qsizetype done) override {
        last = done;
        due = Clock::now() > nextPaint;
    }
    bool stopRequested() override { return false; }
    qsizetype last = 0;
    bool due = false;
    Clock::time_point nextPaint = Clock::now();
};

double run(const QString& command) {
    return timeIt(3, [&] {
        if (std::system(command.toLocal8Bit().constData()) < 0) std::exit(2);
    });
}

}  // namespace

int main(int argc, char** argv) {
    QString check =
        QFileInfo(QString::fromLocal8Bit(argv[0])).absolutePath() + QStringLiteral("/tavrel-check");
    qsizetype size = 20 * 1024 * 1024;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (QByteArray(argv[i]) == "--check") check = QString::fromLocal8Bit(argv[i + 1]);
        if (QByteArray(argv[i]) == "--size") size = QByteArray(argv[i + 1]).toLongLong() << 20;
    }

    const QByteArray document = prose(size);
    const std::vector<QByteArray> words = shuffledWords(jiebaDictionary());
    std::printf(
        "Document: %.1f MB of fortunes-zh prose in GBK, repeated; %zu dictionary words "
        "of 2-4 characters from python3-jieba\n",
        static_cast<double>(document.size()) / kMB, words.size());
    std::printf("One core; medians of 5 runs (engine) and 3 runs (per-entry search).\n\n");
    std::printf("%8s %10s %12s %14s %10s %9s %10s %9s\n", "entries", "prepare", "engine",
                "per-entry", "(slice)", "ratio", "hits", "same");

    // The per-entry search takes time in proportion to the library, so it reads a slice.
    const std::pair<size_t, qsizetype> sizes[] = {
        {1000, 2 << 20}, {10000, 1 << 20}, {50000, 256 << 10}};
    for (const auto& [n, slice] : sizes) {
        const std::vector<EntryLine> entries = library(words, n);
        const double prepare = timeIt(3, [&] { Scanner scanner(entries); });
        const Scanner scanner(entries);
        size_t hits = 0;
        const double engine = timeIt(5, [&] { hits = scanner.scan(document).size(); });
        const QByteArray part = cutAtCharacter(document, slice);
        const PerEntrySearch plain(entries);
        const double perEntry = timeIt(3, [&] { plain.scan(part); });
        const bool same = plain.scan(part) == scanner.scan(part);
        const double engineRate = static_cast<double>(document.size()) / kMB / engine;
        const double plainRate = static_cast<double>(part.size()) / kMB / perEntry;
        std::printf("%8zu %7.1f ms %7.0f MB/s %9.2f MB/s %7.2f MB %8.0fx %10zu %9s\n", n,
                    prepare * 1000, engineRate, plainRate, static_cast<double>(part.size()) / kMB,
                    engineRate / plainRate, hits, same ? "yes" : "NO");
    }
    std::printf(
        "(per-entry search measured on the slice shown, the engine on the whole document;"
        " 'same': both give the same hits on the slice)\n\n");

    const std::vector<EntryLine> tenThousand = library(words, 10000);
    const Scanner scanner(tenThousand);

    QTemporaryDir dir;
    std::vector<QString> paths;
    {
        qsizetype at = 0;
        for (int i = 0; i < 2000; ++i) {
            const QByteArray piece = cutAtCharacter(document.mid(at, 10 * 1024 + 1), 10 * 1024);
            at += piece.size();
            paths.push_back(dir.filePath(QStringLiteral("d%1.txt").arg(i)));
            writeAll(paths.back(), piece);
        }
    }
    qsizetype smallBytes = 0;
    const double small = timeIt(5, [&] {
        smallBytes = 0;
        for (const QString& path : paths) {
            const QByteArray text = DocumentFile::read(path).value_or(QByteArray());
            smallBytes += text.size();
            scanner.scan(text);
        }
    });
    std::printf(
        "2,000 documents of 10 KB read from disk, 10,000 entries: %.0f MB/s "
        "(read and scan)\n",
        static_cast<double>(smallBytes) / kMB / small);

    std::vector<QByteArray> hundred;
    for (int i = 0; i < 100; ++i) hundred.push_back(document.mid(i * 100 * 1024, 100 * 1024));
    TimedObserver observer;
    const double window = timeIt(5, [&] {
        for (const QByteArray& text : hundred) scanner.scan(text, &observer);
    });
    std::printf(
        "100 documents of 100 KB, 10,000 entries, with progress calls: engine %.1f ms "
        "(its share of the window's pass)\n\n",
        window * 1000);

    // The command-line tool against grep -F, same document, same forms.
    const QString doc = dir.filePath(QStringLiteral("document.txt"));
    const QString tsv = dir.filePath(QStringLiteral("library.tsv"));
    const QString patterns = dir.filePath(QStringLiteral("patterns.gbk"));
    writeAll(doc, document);
    QByteArray tsvText = "tgrade\ttclass\tterror\ttright\ttbut\n";
    QByteArray patternText;
    for (const EntryLine& entry : tenThousand) {
        tsvText += QStringLiteral("基本\t词语\t%1\t%2\t%3\n")
                       .arg(GbkCodec::decode(entry.wrong), GbkCodec::decode(entry.right),
                            GbkCodec::decode(entry.exceptions))
                       .toUtf8();
        patternText += entry.wrong + '\n';
    }
    writeAll(tsv, tsvText);
    writeAll(patterns, patternText);
    if (!QFileInfo(check).isExecutable()) {
        std::printf("tavrel-check not found at %s (give --check PATH)\n", qPrintable(check));
        return 0;
    }
    const QString out = dir.filePath(QStringLiteral("out"));
    const QString checkCommand =
        QStringLiteral("'%1' --library '%2' --mode quick '%3' > '%4' 2>/dev/null")
            .arg(check, tsv, doc, out);
    const double checkTime = run(checkCommand);
    const qsizetype rows = readAll(out).count('\n');
    const QString grepCommand =
        QStringLiteral("LC_ALL=C grep -F -c -f '%1' '%2' > '%3'").arg(patterns, doc, out);
    const double grepTime = run(grepCommand);
    std::printf("20 MB document, 10,000 entries, whole program runs (median of 3):\n");
    std::printf("  tavrel-check --mode quick (TSV library, %lld rows written): %7.3f s\n",
                static_cast<long long>(rows), checkTime);
    std::printf("  grep -F -c -f (same forms, GBK, LC_ALL=C; %s lines):         %7.3f s\n",
                readAll(out).trimmed().constData(), grepTime);
    std::printf("  tavrel-check is %.1fx as fast as grep\n\n", grepTime / checkTime);
    std::printf("Peak memory (getrusage): %.0f MB\n", peakMemoryMB());
    return 0;
}
