#include "proofread/Corrector.h"

#include <algorithm>
#include <map>

#include "text/GbkCodec.h"
#include "text/TextCodec.h"

namespace {

// Whether each row starts on a character boundary, in one walk over the text.
std::vector<bool> rowsOnBoundaries(const QByteArray& text, const std::vector<CorrectionRow>& rows) {
    std::vector<size_t> order(rows.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return rows[a].start < rows[b].start; });
    std::vector<bool> onBoundary(rows.size(), false);
    qsizetype at = 0;
    for (size_t i : order) {
        const qsizetype begin = rows[i].start - 1;
        if (begin < 0 || begin >= text.size()) continue;
        while (at < begin) at += GbkCodec::characterLength(text.constData(), text.size(), at);
        onBoundary[i] = at == begin;
    }
    return onBoundary;
}

// Whether each row's bytes are whole characters of an encoding other than GBK.
std::vector<bool> rowsOfWholeCharacters(const QByteArray& text,
                                        const std::vector<CorrectionRow>& rows,
                                        TextEncoding encoding) {
    const std::vector<quint32> starts = TextCodec::characterStarts(text, encoding);
    auto isStart = [&](qsizetype at) {
        return at >= 0 && at <= text.size() &&
               std::binary_search(starts.begin(), starts.end(), static_cast<quint32>(at));
    };
    std::vector<bool> whole(rows.size());
    for (size_t i = 0; i < rows.size(); ++i)
        whole[i] = isStart(rows[i].start - 1) && isStart(rows[i].start - 1 + rows[i].wrong.size());
    return whole;
}

}  // namespace

CorrectionResult applyCorrections(const QByteArray& text, const std::vector<CorrectionRow>& rows,
                                  TextEncoding encoding) {
    CorrectionResult result;
    const bool gbk = encoding == TextEncoding::Gbk || encoding == TextEncoding::Binary;
    const std::vector<bool> onBoundary =
        gbk ? rowsOnBoundaries(text, rows) : rowsOfWholeCharacters(text, rows, encoding);
    // The ranges taken so far, [begin, end) in bytes of `text`, keyed by begin.
    // They never overlap, so only the neighbours of a new range can touch it.
    struct Taken {
        qsizetype end;
        size_t row;
    };
    std::map<qsizetype, Taken> taken;
    for (size_t i = 0; i < rows.size(); ++i) {
        const CorrectionRow& row = rows[i];
        const qsizetype begin = row.start - 1;
        const qsizetype end = begin + row.wrong.size();
        const bool holds = !row.wrong.isEmpty() && begin >= 0 &&
                           begin <= text.size() - row.wrong.size() && onBoundary[i] &&
                           QByteArrayView(text).sliced(begin, row.wrong.size()) == row.wrong &&
                           !(gbk && GbkCodec::endsInLead(row.wrong.constData(), row.wrong.size()) &&
                             GbkCodec::startsPair(text.constData(), text.size(), end - 1));
        bool overlaps = false;
        if (holds) {
            const auto next = taken.lower_bound(begin);
            overlaps = (next != taken.end() && next->first < end) ||
                       (next != taken.begin() && std::prev(next)->second.end > begin);
        }
        if (!holds || overlaps) {
            result.skipped.push_back(i);
            continue;
        }
        taken.emplace(begin, Taken{end, i});
        result.applied.push_back(i);
    }

    // Built from left to right, so every position refers to the original text.
    qsizetype from = 0;
    for (const auto& [begin, t] : taken) {
        result.text += QByteArrayView(text).sliced(from, begin - from);
        result.text += rows[t.row].right;
        from = t.end;
    }
    result.text += QByteArrayView(text).sliced(from);
    return result;
}

std::vector<CorrectionRow> appliedRows(const std::vector<CorrectionRow>& rows,
                                       const CorrectionResult& result) {
    std::vector<CorrectionRow> applied;
    applied.reserve(result.applied.size());
    for (size_t i : result.applied) applied.push_back(rows[i]);
    std::sort(applied.begin(), applied.end(),
              [](const CorrectionRow& a, const CorrectionRow& b) { return a.start < b.start; });
    return applied;
}
