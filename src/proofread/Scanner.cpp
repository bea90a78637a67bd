#include "proofread/Scanner.h"

#include <algorithm>
#include <cstdlib>

#include "documents/GbkCodec.h"

std::vector<bool> characterStarts(const QByteArray& document) {
    std::vector<bool> starts(static_cast<size_t>(document.size()), false);
    const char* data = document.constData();
    for (qsizetype i = 0; i < document.size();) {
        starts[static_cast<size_t>(i)] = true;
        i += GbkCodec::characterLength(data, document.size(), i);
    }
    return starts;
}

Scanner::Scanner(std::vector<EntryLine> entries) : entries_(std::move(entries)) {
    prepared_.reserve(entries_.size());
    for (const EntryLine& line : entries_) {
        Prepared p;
        for (const QByteArray& phrase : line.exceptions.split(';'))
            if (!phrase.isEmpty()) p.phrases.push_back(phrase);
        prepared_.push_back(std::move(p));
    }
}

std::vector<Hit> Scanner::scan(const QByteArray& document, ScanObserver* observer) const {
    std::vector<Hit> hits;
    const std::vector<bool> starts = characterStarts(document);
    const qsizetype size = document.size();
    for (size_t k = 0; k < entries_.size(); ++k) {
        if (observer && observer->stopRequested()) break;
        const QByteArray& wrong = entries_[k].wrong;
        const qsizetype w = wrong.size();
        if (w > 0) {
            for (qsizetype from = 0;;) {
                const qsizetype p = document.indexOf(wrong, from);
                if (p < 0) break;
                if (!starts[static_cast<size_t>(p)]) {
                    from = p + 1;
                    continue;
                }
                if (observer) observer->occurrenceFound(p + 1, w);
                bool excused = false;
                for (const QByteArray& phrase : prepared_[k].phrases) {
                    const qsizetype d = std::abs(phrase.size() - w);
                    const qsizetype begin = std::max<qsizetype>(0, p - d);
                    const qsizetype end = std::min(size, p + w + d);
                    if (end - begin < phrase.size()) continue;
                    const QByteArrayView window(document.constData() + begin, end - begin);
                    if (window.indexOf(phrase) >= 0) {
                        excused = true;
                        break;
                    }
                }
                if (!excused) hits.push_back({static_cast<qsizetype>(k), p + 1, w});
                from = p + w;
                if (observer && observer->stopRequested()) return hits;
            }
        }
        if (observer) observer->entryDone(static_cast<qsizetype>(k) + 1);
    }
    return hits;
}
