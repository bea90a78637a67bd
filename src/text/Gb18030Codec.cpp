#include "text/Gb18030Codec.h"

#include <iconv.h>

#include <algorithm>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "text/RawBytes.h"

namespace {

constexpr char16_t kRaw = GbkCodec::kRawByteBase;
constexpr int kTrailCount = 256;
// Four-byte sequences are numbered from 81 30 81 30: the first 39,420 hold
// BMP characters, and 90 30 81 30 (number 189,000) is U+10000.
constexpr quint32 kBmpFourByteCount = 39420;
constexpr quint32 kSupplementaryFirst = 189000;

bool isLead(unsigned char b) { return b >= 0x81 && b <= 0xFE; }
bool isTrail(unsigned char b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFE); }
bool isDigit(unsigned char b) { return b >= 0x30 && b <= 0x39; }

quint32 fourByteNumber(const unsigned char* d) {
    return ((quint32(d[0] - 0x81) * 10 + (d[1] - 0x30)) * 126 + (d[2] - 0x81)) * 10 + (d[3] - 0x30);
}

void appendFourBytes(QByteArray& bytes, quint32 number) {
    const char b4 = static_cast<char>(0x30 + number % 10);
    number /= 10;
    const char b3 = static_cast<char>(0x81 + number % 126);
    number /= 126;
    const char b2 = static_cast<char>(0x30 + number % 10);
    const char b1 = static_cast<char>(0x81 + number / 10);
    bytes.append(b1).append(b2).append(b3).append(b4);
}

// Tables built once from glibc's GB18030. A sequence counts only when it
// converts to one BMP character that converts back to the same bytes.
struct Tables {
    std::vector<char16_t> twoByte = std::vector<char16_t>(126 * kTrailCount, 0);
    std::vector<char16_t> fourByte = std::vector<char16_t>(kBmpFourByteCount, 0);
    // Two-byte codes as lead << 8 | trail; four-byte ones as 0x10000 + number.
    std::vector<quint32> toGb = std::vector<quint32>(65536, 0);

    Tables() {
        iconv_t forward = iconv_open("UTF-16LE", "GB18030");
        iconv_t backward = iconv_open("GB18030", "UTF-16LE");
        if (forward == reinterpret_cast<iconv_t>(-1) || backward == reinterpret_cast<iconv_t>(-1))
            return;  // no tables: every high byte then shows as a raw byte
        auto convert = [&](const char* in, size_t length) -> char16_t {
            char inCopy[4], out[8], back[8];
            std::copy(in, in + length, inCopy);
            char* inPtr = inCopy;
            char* outPtr = out;
            size_t inLeft = length, outLeft = sizeof out;
            iconv(forward, nullptr, nullptr, nullptr, nullptr);
            if (iconv(forward, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) ||
                inLeft != 0 || sizeof out - outLeft != 2)
                return 0;
            const auto ch = static_cast<char16_t>(static_cast<unsigned char>(out[0]) |
                                                  static_cast<unsigned char>(out[1]) << 8);
            if (ch < 0x80 || (ch >= 0xD800 && ch <= 0xDFFF)) return 0;
            char* backIn = out;
            char* backOut = back;
            size_t backInLeft = 2, backOutLeft = sizeof back;
            iconv(backward, nullptr, nullptr, nullptr, nullptr);
            if (iconv(backward, &backIn, &backInLeft, &backOut, &backOutLeft) ==
                    static_cast<size_t>(-1) ||
                sizeof back - backOutLeft != length || !std::equal(in, in + length, back))
                return 0;
            return ch;
        };
        for (int lead = 0x81; lead <= 0xFE; ++lead) {
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                if (!isTrail(static_cast<unsigned char>(trail))) continue;
                const char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                if (const char16_t ch = convert(in, 2)) {
                    twoByte[(lead - 0x81) * kTrailCount + trail] = ch;
                    toGb[ch] = static_cast<quint32>(lead << 8 | trail);
                }
            }
        }
        for (quint32 number = 0; number < kBmpFourByteCount; ++number) {
            QByteArray in;
            appendFourBytes(in, number);
            if (const char16_t ch = convert(in.constData(), 4)) {
                fourByte[number] = ch;
                toGb[ch] = 0x10000 + number;
            }
        }
        iconv_close(forward);
        iconv_close(backward);
    }
};

const Tables& tables() {
    static const Tables instance;
    return instance;
}

int readSequence(const unsigned char* d, qsizetype size, qsizetype at, char32_t* cp) {
    const unsigned char b = d[at];
    if (b < 0x80) {
        *cp = b;
        return 1;
    }
    if (!isLead(b) || at + 1 >= size) return 0;
    if (isDigit(d[at + 1])) {
        if (at + 3 >= size || !isLead(d[at + 2]) || !isDigit(d[at + 3])) return 0;
        const quint32 number = fourByteNumber(d + at);
        if (number < kBmpFourByteCount) {
            *cp = tables().fourByte[number];
            return *cp ? 4 : 0;
        }
        if (number >= kSupplementaryFirst && number - kSupplementaryFirst <= 0xFFFFF) {
            *cp = 0x10000 + (number - kSupplementaryFirst);
            return 4;
        }
        return 0;
    }
    if (!isTrail(d[at + 1])) return 0;
    *cp = tables().twoByte[(b - 0x81) * kTrailCount + d[at + 1]];
    return *cp ? 2 : 0;
}

}  // namespace

int Gb18030Codec::sequenceAt(const unsigned char* d, qsizetype size, qsizetype at, char32_t* cp) {
    return readSequence(d, size, at, cp);
}

namespace {

// Whether a byte 0x81-0xFE, a digit, another and a digit stand in a row
// somewhere: no GBK text holds that, so nearly every document is told apart
// without reading its characters.
bool mayHoldFourByteSequence(const unsigned char* d, qsizetype size) {
    auto at = [&](qsizetype i) {
        return isLead(d[i]) && isDigit(d[i + 1]) && isLead(d[i + 2]) && isDigit(d[i + 3]);
    };
    qsizetype i = 0;
#if defined(__SSE2__)
    // Signed bytes: 0x81..0xFE are -127..-2.
    const __m128i minus128 = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i minus1 = _mm_set1_epi8(-1);
    const __m128i below0 = _mm_set1_epi8(0x2F);
    const __m128i above9 = _mm_set1_epi8(0x3A);
    auto lead = [&](__m128i v) {
        return _mm_and_si128(_mm_cmplt_epi8(v, minus1), _mm_cmpgt_epi8(v, minus128));
    };
    auto digit = [&](__m128i v) {
        return _mm_and_si128(_mm_cmpgt_epi8(v, below0), _mm_cmplt_epi8(v, above9));
    };
    auto load = [&](qsizetype k) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + k));
    };
    for (; i + 19 <= size; i += 16) {
        const __m128i found = _mm_and_si128(_mm_and_si128(lead(load(i)), digit(load(i + 1))),
                                            _mm_and_si128(lead(load(i + 2)), digit(load(i + 3))));
        if (_mm_movemask_epi8(found) != 0) return true;
    }
#endif
    for (; i + 4 <= size; ++i)
        if (at(i)) return true;
    return false;
}

}  // namespace

bool Gb18030Codec::isFourByteText(const QByteArray& bytes) {
    const auto* d = reinterpret_cast<const unsigned char*>(bytes.constData());
    if (!mayHoldFourByteSequence(d, bytes.size())) return false;
    bool fourByte = false;
    for (qsizetype i = 0; i < bytes.size();) {
        char32_t cp;
        const int length = readSequence(d, bytes.size(), i, &cp);
        if (length == 0) return false;
        fourByte = fourByte || length == 4;
        i += length;
    }
    return fourByte;
}

QString Gb18030Codec::decode(const QByteArray& bytes, LineEnding lineEnding,
                             std::vector<quint32>* offsets) {
    const auto* d = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype size = bytes.size();
    QString text;
    text.reserve(size);
    if (offsets) {
        offsets->clear();
        offsets->reserve(size_t(size) + 1);
    }
    auto put = [&](char16_t ch, qsizetype at) {
        text.append(QChar(ch));
        if (offsets) offsets->push_back(static_cast<quint32>(at));
    };
    for (qsizetype i = 0; i < size;) {
        const unsigned char b = d[i];
        if (lineEnding != LineEnding::None && (b == '\r' || b == '\n')) {
            if (lineEnding == LineEnding::CrLf && b == '\r' && i + 1 < size && d[i + 1] == '\n') {
                put(u'\n', i);
                i += 2;
            } else if (lineEnding == LineEnding::Lf && b == '\n') {
                put(u'\n', i++);
            } else {
                put(static_cast<char16_t>(kRaw + b), i++);
            }
            continue;
        }
        char32_t cp;
        const int length = readSequence(d, size, i, &cp);
        if (length == 0 || isKeptAsRawBytes(cp)) {
            put(static_cast<char16_t>(kRaw + b), i++);
            continue;
        }
        if (cp < 0x10000) {
            put(static_cast<char16_t>(cp), i);
        } else {
            // Two bytes to each surrogate, so that no unit of the text has zero width.
            put(QChar::highSurrogate(cp), i);
            put(QChar::lowSurrogate(cp), i + 2);
        }
        i += length;
    }
    if (offsets) offsets->push_back(static_cast<quint32>(size));
    return text;
}

QByteArray Gb18030Codec::encode(const QString& text, LineEnding lineEnding, QString* unencodable) {
    return encodeCharacters(text, lineEnding, unencodable, 2, [](QByteArray& bytes, char32_t cp) {
        if (cp < 0x80) {
            bytes.append(static_cast<char>(cp));
        } else if (cp >= 0x10000) {
            appendFourBytes(bytes, kSupplementaryFirst + (cp - 0x10000));
        } else if (const quint32 code = tables().toGb[cp]; code >= 0x10000) {
            appendFourBytes(bytes, code - 0x10000);
        } else if (code != 0) {
            bytes.append(static_cast<char>(code >> 8)).append(static_cast<char>(code & 0xFF));
        } else {
            return false;
        }
        return true;
    });
}
