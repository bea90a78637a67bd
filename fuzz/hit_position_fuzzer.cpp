// The position text of a hit: what is accepted is a valid range that reads
// back the same from its own text.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "FuzzCheck.h"
#include "proofread/HitPosition.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const QString& text : {QString::fromUtf8(bytes), QString::fromLatin1(bytes)}) {
        const std::optional<HitPosition> position = HitPosition::parse(text);
        if (!position) continue;
        FUZZ_CHECK(position->start >= 1 && position->start <= position->end);
        FUZZ_CHECK(text.contains(QLatin1Char(';')));
        FUZZ_CHECK(HitPosition::parse(position->text()) == position);
    }

    // Two numbers written as the hit list writes them parse back exactly when
    // they make a range.
    if (size >= 16) {
        qint64 start = 0, end = 0;
        std::memcpy(&start, data, 8);
        std::memcpy(&end, data + 8, 8);
        const HitPosition written{start, end};
        const std::optional<HitPosition> read = HitPosition::parse(written.text());
        FUZZ_CHECK(read.has_value() == (start >= 1 && start <= end));
        if (read) FUZZ_CHECK(*read == written);
    }
    return 0;
}
