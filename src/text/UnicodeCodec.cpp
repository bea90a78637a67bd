#include "text/UnicodeCodec.h"

#include <cstring>

#include "text/RawBytes.h"

namespace UnicodeCodec {

namespace {

constexpr char16_t kRaw = GbkCodec::kRawByteBase;

bool isContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// The length of the well-formed UTF-8 sequence at `at` (no overlong forms,
// no surrogates, nothing beyond U+10FFFF), or 0.
int sequenceLength(const unsigned char* d, qsizetype size, qsizetype at, char32_t* cp) {
    const unsigned char b = d[at];
    if (b < 0x80) {
        *cp = b;
        return 1;
    }
    int length;
    char32_t value;
    char32_t least;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2, value = b & 0x1F, least = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3, value = b & 0x0F, least = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4, value = b & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (at + length > size) return 0;
    for (int k = 1; k < length; ++k) {
        if (!isContinuation(d[at + k])) return 0;
        value = value << 6 | (d[at + k] & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    *cp = value;
    return length;
}

// Collects decoded units and, when asked, their start offsets.
struct Sink {
    QString text;
    std::vector<quint32>* offsets;

    Sink(qsizetype size, std::vector<quint32>* o) : offsets(o) {
        text.reserve(size);
        if (offsets) {
            offsets->clear();
            offsets->reserve(size_t(size) + 1);
        }
    }
    void put(char16_t ch, qsizetype at) {
        text.append(QChar(ch));
        if (offsets) offsets->push_back(static_cast<quint32>(at));
    }
    void putRaw(unsigned char b, qsizetype at) { put(static_cast<char16_t>(kRaw + b), at); }
    // A character beyond the BMP: its first two bytes go to the high surrogate.
    void putCodePoint(char32_t cp, qsizetype at) {
        if (cp < 0x10000) {
            put(static_cast<char16_t>(cp), at);
            return;
        }
        put(QChar::highSurrogate(cp), at);
        put(QChar::lowSurrogate(cp), at + 2);
    }
    QString finish(qsizetype size) {
        if (offsets) offsets->push_back(static_cast<quint32>(size));
        return std::move(text);
    }
};

}  // namespace

int utf8SequenceAt(const unsigned char* d, qsizetype size, qsizetype at, char32_t* cp) {
    return sequenceLength(d, size, at, cp);
}

bool isValidUtf8(const QByteArray& bytes, bool* multiByte) {
    const auto* d = reinterpret_cast<const unsigned char*>(bytes.constData());
    *multiByte = false;
    for (qsizetype i = 0; i < bytes.size();) {
        // Runs of ASCII eight bytes at a time.
        if (i + 8 <= bytes.size()) {
            quint64 word;
            std::memcpy(&word, d + i, sizeof word);
            if ((word & 0x8080808080808080ULL) == 0) {
                i += 8;
                continue;
            }
        }
        // Three-byte characters that need no range check: most Chinese text.
        if (i + 3 <= bytes.size() && d[i] >= 0xE1 && d[i] <= 0xEF && d[i] != 0xED &&
            isContinuation(d[i + 1]) && isContinuation(d[i + 2])) {
            *multiByte = true;
            i += 3;
            continue;
        }
        char32_t cp;
        const int length = sequenceLength(d, bytes.size(), i, &cp);
        if (length == 0) return false;
        if (length > 1) *multiByte = true;
        i += length;
    }
    return true;
}

QString decodeUtf8(const QByteArray& bytes, LineEnding lineEnding, std::vector<quint32>* offsets) {
    const auto* d = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype size = bytes.size();
    Sink sink(size, offsets);
    for (qsizetype i = 0; i < size;) {
        const unsigned char b = d[i];
        if (lineEnding != LineEnding::None && (b == '\r' || b == '\n')) {
            if (lineEnding == LineEnding::CrLf && b == '\r' && i + 1 < size && d[i + 1] == '\n') {
                sink.put(u'\n', i);
                i += 2;
            } else if (lineEnding == LineEnding::Lf && b == '\n') {
                sink.put(u'\n', i++);
            } else {
                sink.putRaw(b, i++);
            }
            continue;
        }
        char32_t cp;
        const int length = sequenceLength(d, size, i, &cp);
        if (length == 0 || isKeptAsRawBytes(cp)) {
            sink.putRaw(b, i++);
            continue;
        }
        sink.putCodePoint(cp, i);
        i += length;
    }
    return sink.finish(size);
}

QByteArray encodeUtf8(const QString& text, LineEnding lineEnding, QString* unencodable) {
    return encodeCharacters(text, lineEnding, unencodable, 3, [](QByteArray& bytes, char32_t cp) {
        if (cp < 0x80) {
            bytes.append(static_cast<char>(cp));
        } else if (cp < 0x800) {
            bytes.append(static_cast<char>(0xC0 | cp >> 6));
            bytes.append(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            bytes.append(static_cast<char>(0xE0 | cp >> 12));
            bytes.append(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
            bytes.append(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            bytes.append(static_cast<char>(0xF0 | cp >> 18));
            bytes.append(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
            bytes.append(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
            bytes.append(static_cast<char>(0x80 | (cp & 0x3F)));
        }
        return true;
    });
}

char16_t utf16UnitAt(const unsigned char* d, qsizetype at, bool bigEndian) {
    return bigEndian ? static_cast<char16_t>(d[at] << 8 | d[at + 1])
                     : static_cast<char16_t>(d[at] | d[at + 1] << 8);
}

namespace {

void appendUnit(QByteArray& bytes, char16_t unit, bool bigEndian) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    bytes.append(bigEndian ? high : low);
    bytes.append(bigEndian ? low : high);
}

}  // namespace

LineEnding dominantUtf16LineEnding(const QByteArray& bytes, bool bigEndian) {
    const auto* d = reinterpret_cast<const unsigned char*>(bytes.constData());
    qsizetype crlf = 0, lf = 0;
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
        if (utf16UnitAt(d, i, bigEndian) != u'\n') continue;
        if (i >= 2 && utf16UnitAt(d, i - 2, bigEndian) == u'\r')
            ++crlf;
        else
            ++lf;
    }
    return crlf >= 1 && crlf >= lf ? LineEnding::CrLf : LineEnding::Lf;
}

QString decodeUtf16(const QByteArray& bytes, bool bigEndian, LineEnding lineEnding,
                    std::vector<quint32>* offsets) {
    const auto* d = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype size = bytes.size();
    Sink sink(size / 2 + 1, offsets);
    auto putRawUnit = [&](qsizetype at) {
        sink.putRaw(d[at], at);
        sink.putRaw(d[at + 1], at + 1);
    };
    for (qsizetype i = 0; i < size;) {
        if (i + 1 >= size) {
            sink.putRaw(d[i], i);
            ++i;
            continue;
        }
        const char16_t unit = utf16UnitAt(d, i, bigEndian);
        if (lineEnding != LineEnding::None && (unit == u'\r' || unit == u'\n')) {
            if (lineEnding == LineEnding::CrLf && unit == u'\r' && i + 3 < size &&
                utf16UnitAt(d, i + 2, bigEndian) == u'\n') {
                sink.put(u'\n', i);
                i += 4;
            } else if (lineEnding == LineEnding::Lf && unit == u'\n') {
                sink.put(u'\n', i);
                i += 2;
            } else {
                putRawUnit(i);
                i += 2;
            }
            continue;
        }
        if (QChar::isHighSurrogate(unit) && i + 3 < size &&
            QChar::isLowSurrogate(utf16UnitAt(d, i + 2, bigEndian))) {
            sink.put(unit, i);
            sink.put(utf16UnitAt(d, i + 2, bigEndian), i + 2);
            i += 4;
        } else if (QChar::isSurrogate(unit) || isKeptAsRawBytes(unit)) {
            putRawUnit(i);
            i += 2;
        } else {
            sink.put(unit, i);
            i += 2;
        }
    }
    return sink.finish(size);
}

QByteArray encodeUtf16(const QString& text, bool bigEndian, LineEnding lineEnding,
                       QString* unencodable) {
    return encodeCharacters(text, lineEnding, unencodable, 2,
                            [bigEndian](QByteArray& bytes, char32_t cp) {
                                if (cp < 0x10000) {
                                    appendUnit(bytes, static_cast<char16_t>(cp), bigEndian);
                                } else {
                                    appendUnit(bytes, QChar::highSurrogate(cp), bigEndian);
                                    appendUnit(bytes, QChar::lowSurrogate(cp), bigEndian);
                                }
                                return true;
                            });
}

}  // namespace UnicodeCodec
