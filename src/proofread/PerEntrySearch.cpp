#include "proofread/PerEntrySearch.h"

#include <algorithm>
#include <cstdlib>

#include "text/GbkCodec.h"

std::vector<bool> characterStarts(const QByteArray& document) {
    std::vector<bool> starts(static_cast<size_t>(document.size()), false);
    const char* data = document.constData();
    for (qsizetype i = 0; i < document.size();) {
        starts[static_cast<size_t>(i)] = true;
        i += GbkCodec::characterLength(data, document.size(), i);
    }
    return starts;
}

PerEntrySearch::PerEntrySearch(std::vector<EntryLine> entries) : entries_(std::move(entries)) {
    phrases_.reserve(entries_.size());
    for (const EntryLine& line : entries_) {
        std::vector<QByteArray> phrases;
        for (const QByteArray& phrase : line.exceptions.split(';'))
            if (!phrase.isEmpty()) phrases.push_back(phrase);
        phrases_.push_back(std::move(phrases));
    }
}

std::vector<Hit> PerEntrySearch::scan(const QByteArray& document) const {
    std::vector<Hit> hits;
    const std::vector<bool> starts = characterStarts(document);
    const qsizetype size = document.size();
    for (size_t k = 0; k < entries_.size(); ++k) {
        const QByteArray& wrong = entries_[k].wrong;
        const qsizetype w = wrong.size();
        if (w == 0) continue;
        for (qsizetype from = 0;;) {
            const qsizetype p = document.indexOf(wrong, from);
            if (p < 0) break;
            if (!starts[static_cast<size_t>(p)] ||
                (p + w < size && !starts[static_cast<size_t>(p + w)])) {
                from = p + 1;
                continue;
            }
            bool excused = false;
            for (const QByteArray& phrase : phrases_[k]) {
                const qsizetype d = std::abs(phrase.size() - w);
                const qsizetype begin = std::max<qsizetype>(0, p - d);
                const qsizetype end = std::min(size, p + w + d);
                if (end - begin < phrase.size()) continue;
                if (QByteArrayView(document.constData() + begin, end - begin).indexOf(phrase) >=
                    0) {
                    excused = true;
                    break;
                }
            }
            if (!excused) hits.push_back({static_cast<qsizetype>(k), p + 1, w});
            from = p + w;
        }
    }
    return hits;
}
