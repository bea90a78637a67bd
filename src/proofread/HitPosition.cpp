#include "proofread/HitPosition.h"

std::optional<HitPosition> HitPosition::parse(const QString& text) {
    const qsizetype separator = text.indexOf(QLatin1Char(';'));
    if (separator < 0) return std::nullopt;
    bool startOk = false, endOk = false;
    const qlonglong start = text.left(separator).toLongLong(&startOk);
    const qlonglong end = text.mid(separator + 1).toLongLong(&endOk);
    if (!startOk || !endOk || start < 1 || end < start) return std::nullopt;
    return HitPosition{static_cast<qsizetype>(start), static_cast<qsizetype>(end)};
}
