#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Appends the decimal digits of n >= 0, without a temporary text: rows are
// written by the ten thousand.
inline void appendDecimal(QByteArray& out, qsizetype n) {
    char digits[24];
    int first = sizeof digits;
    do {
        digits[--first] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n > 0);
    out.append(digits + first, static_cast<qsizetype>(sizeof digits) - first);
}

// Where a hit stands: 1-based byte positions, end inclusive, written "start;end".
struct HitPosition {
    qsizetype start = 0;
    qsizetype end = 0;

    QString text() const { return QString::fromLatin1(bytes()); }
    QByteArray bytes() const {
        QByteArray out;
        appendTo(out);
        return out;
    }
    void appendTo(QByteArray& out) const {
        appendDecimal(out, start);
        out += ';';
        appendDecimal(out, end);
    }
    // Accepts only "start;end" with 1 <= start <= end.
    static std::optional<HitPosition> parse(const QString& text);
    bool operator==(const HitPosition&) const = default;
};
