#pragma once

#include <QString>

#include <optional>

// Where a hit stands: 1-based byte positions, end inclusive, written "start;end".
struct HitPosition {
    qsizetype start = 0;
    qsizetype end = 0;

    QString text() const { return QString::fromLatin1(bytes()); }
    QByteArray bytes() const { return QByteArray::number(start) + ';' + QByteArray::number(end); }
    // Accepts only "start;end" with 1 <= start <= end.
    static std::optional<HitPosition> parse(const QString& text);
    bool operator==(const HitPosition&) const = default;
};
