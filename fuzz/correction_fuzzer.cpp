// The correction changes exactly the rows it applies: the result is the
// original with those replacements, and everything else keeps its bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "FuzzCheck.h"
#include "FuzzText.h"
#include "proofread/Corrector.h"

namespace {

bool onBoundary(const QByteArray& text, qsizetype at) {
    qsizetype i = 0;
    while (i < at) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const auto trail = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        i += (lead >= 0x81 && lead <= 0xFE && i + 1 < text.size() &&
              ((trail >= 0x40 && trail <= 0x7E) || (trail >= 0x80 && trail <= 0xFE)))
                 ? 2
                 : 1;
    }
    return i == at;
}

bool holds(const QByteArray& text, const CorrectionRow& row) {
    const qsizetype begin = row.start - 1;
    return !row.wrong.isEmpty() && begin >= 0 && begin + row.wrong.size() <= text.size() &&
           text.mid(begin, row.wrong.size()) == row.wrong && onBoundary(text, begin) &&
           onBoundary(text, begin + row.wrong.size());
}

bool overlap(const CorrectionRow& a, const CorrectionRow& b) {
    return a.start < b.start + b.wrong.size() && b.start < a.start + a.wrong.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const QByteArray text = takeText(in, 64);
    std::vector<CorrectionRow> rows(in.ConsumeIntegralInRange<size_t>(0, 12));
    for (CorrectionRow& row : rows) {
        row.start = in.ConsumeIntegralInRange<qsizetype>(-1, text.size() + 2);
        // Mostly the bytes that stand there, as a scan would report them.
        if (in.ConsumeBool() && row.start >= 1)
            row.wrong = text.mid(row.start - 1, in.ConsumeIntegralInRange<qsizetype>(0, 4));
        else
            row.wrong = takeText(in, 2);
        row.right = takeText(in, 3);
    }

    const CorrectionResult result = applyCorrections(text, rows);

    // Every row is either applied or skipped, once, in the order given.
    std::vector<size_t> all = result.applied;
    all.insert(all.end(), result.skipped.begin(), result.skipped.end());
    std::sort(all.begin(), all.end());
    FUZZ_CHECK(all.size() == rows.size());
    for (size_t i = 0; i < all.size(); ++i) FUZZ_CHECK(all[i] == i);
    FUZZ_CHECK(std::is_sorted(result.applied.begin(), result.applied.end()));
    FUZZ_CHECK(std::is_sorted(result.skipped.begin(), result.skipped.end()));

    // A row is applied exactly when it holds and no row applied before it overlaps it.
    std::vector<size_t> applied;
    for (size_t i = 0; i < rows.size(); ++i) {
        bool take = holds(text, rows[i]);
        for (size_t j : applied) take = take && !overlap(rows[i], rows[j]);
        if (take) applied.push_back(i);
    }
    FUZZ_CHECK(applied == result.applied);

    // The original with exactly those replacements.
    std::sort(applied.begin(), applied.end(),
              [&](size_t a, size_t b) { return rows[a].start < rows[b].start; });
    QByteArray expected;
    qsizetype from = 0;
    for (size_t i : applied) {
        expected += text.mid(from, rows[i].start - 1 - from);
        expected += rows[i].right;
        from = rows[i].start - 1 + rows[i].wrong.size();
    }
    expected += text.mid(from);
    FUZZ_CHECK(result.text == expected);
    return 0;
}
