// The text, the word list and the libraries that the scan benchmarks share,
// so that their figures are measured on the same bytes and entries.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QRegularExpression>
#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

#include "library/WordEntry.h"
#include "proofread/EntryLine.h"
#include "text/GbkCodec.h"

namespace bench {

using Clock = std::chrono::steady_clock;
constexpr double kMB = 1024.0 * 1024.0;

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Median wall time of `runs` calls, in seconds.
inline double timeIt(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const Clock::time_point start = Clock::now();
        work();
        times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    return median(times);
}

inline double mbPerSecond(qsizetype bytes, double seconds) {
    return static_cast<double>(bytes) / kMB / seconds;
}

inline QByteArray readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
        std::exit(2);
    }
    return file.readAll();
}

// The longest prefix of at most `size` bytes that ends on a character boundary.
inline QByteArray cutAtCharacter(const QByteArray& text, qsizetype size) {
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
inline QByteArray prose(qsizetype size) {
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

inline QString jiebaDictionary() {
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
inline std::vector<QByteArray> shuffledWords(const QString& dictionary) {
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
inline std::vector<WordEntry> library(const std::vector<QByteArray>& words, size_t n) {
    std::vector<WordEntry> entries;
    for (size_t i = 0; i < n && i < words.size(); ++i) {
        WordEntry e;
        e.tgrade = gbk(QStringLiteral("基本"));
        e.tclass = gbk(QStringLiteral("词语"));
        e.terror = words[i];
        e.tright = gbk(QStringLiteral("正"));
        if (i % 5 == 0) e.tbut = gbk(QStringLiteral("的")) + words[i];
        entries.push_back(e);
    }
    return entries;
}

inline std::vector<EntryLine> lines(const std::vector<WordEntry>& entries) {
    std::vector<EntryLine> out;
    for (const WordEntry& e : entries) out.push_back(EntryLine::fromEntry(e));
    return out;
}

}  // namespace bench
