#include "text/GbkTranscript.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "text/Gb18030Codec.h"
#include "text/RawBytes.h"
#include "text/UnicodeCodec.h"

namespace {

using Byte = unsigned char;
constexpr qsizetype kMarkEvery = 16;
// A step over bytes that belong to no character the view shows.
constexpr char32_t kRawBytes = 0xFFFFFFFF;

// The next character as the encoding's view reads it, LineEnding::None: its
// length in bytes and code point, or kRawBytes for bytes the view keeps raw.
int step(const Byte* d, qsizetype size, qsizetype at, TextEncoding encoding, char32_t* cp) {
    switch (encoding) {
        case TextEncoding::Utf16Le:
        case TextEncoding::Utf16Be: {
            const bool big = encoding == TextEncoding::Utf16Be;
            if (at + 1 >= size) {
                *cp = kRawBytes;
                return 1;
            }
            const char16_t unit = UnicodeCodec::utf16UnitAt(d, at, big);
            if (QChar::isHighSurrogate(unit) && at + 3 < size &&
                QChar::isLowSurrogate(UnicodeCodec::utf16UnitAt(d, at + 2, big))) {
                *cp = QChar::surrogateToUcs4(unit, UnicodeCodec::utf16UnitAt(d, at + 2, big));
                return 4;
            }
            *cp = QChar::isSurrogate(unit) || isKeptAsRawBytes(unit) ? kRawBytes : unit;
            return 2;
        }
        default: {
            const int length = encoding == TextEncoding::Utf8
                                   ? UnicodeCodec::utf8SequenceAt(d, size, at, cp)
                                   : Gb18030Codec::sequenceAt(d, size, at, cp);
            if (length > 0 && !isKeptAsRawBytes(*cp)) return length;
            *cp = kRawBytes;
            return 1;
        }
    }
}

// The GBK bytes of one step (up to four); returns how many.
int gbkBytes(char32_t cp, int length, const quint16* table, char* out) {
    if (cp == kRawBytes) {
        std::memset(out, 0xFF, static_cast<size_t>(length));
        return length;
    }
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    const quint16 pair = cp < 0x10000 ? table[cp] : 0;
    out[0] = pair ? static_cast<char>(pair >> 8) : '\xFF';
    out[1] = pair ? static_cast<char>(pair & 0xFF) : '\xFF';
    return 2;
}

uint64_t load64(const Byte* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

}  // namespace

namespace {

// The transcription loop, made once per encoding so that the common
// characters of each take no test of the encoding.
template <TextEncoding kEncoding>
char* transcribe(const Byte* d, qsizetype size, char* const begin, std::vector<quint32>& markGbk,
                 std::vector<quint32>& markSource, qsizetype markEvery) {
    const quint16* table = GbkCodec::encodeTable();
    constexpr bool kAsciiRuns =
        kEncoding == TextEncoding::Utf8 || kEncoding == TextEncoding::Gb18030;
    char* out = begin;
    qsizetype nextMark = 0;
    for (qsizetype i = 0; i < size;) {
        if (out - begin >= nextMark) {
            markGbk.push_back(static_cast<quint32>(out - begin));
            markSource.push_back(static_cast<quint32>(i));
            nextMark += markEvery;
        }
        if constexpr (kAsciiRuns) {
            if (i + 8 <= size) {
                const uint64_t w = load64(d + i);
                // ASCII runs are copied as they are.
                if ((w & 0x8080808080808080ULL) == 0 && out - begin + 8 <= nextMark) {
                    std::memcpy(out, d + i, 8);
                    out += 8;
                    i += 8;
                    continue;
                }
                // Most UTF-8 Chinese and punctuation: E1-EF but ED (no
                // overlong or surrogate there) and two continuation bytes.
                const auto w3 = static_cast<uint32_t>(w);
                if (kEncoding == TextEncoding::Utf8 && std::endian::native == std::endian::little &&
                    (w3 & 0xC0C0F0U) == 0x8080E0U && (w3 & 0xFF) != 0xE0 && (w3 & 0xFF) != 0xED) {
                    const char32_t cp =
                        (w3 & 0x0F) << 12 | (w3 & 0x3F00) >> 2 | (w3 & 0x3F0000) >> 16;
                    if (const quint16 pair = table[cp]) {
                        out[0] = static_cast<char>(pair >> 8);
                        out[1] = static_cast<char>(pair & 0xFF);
                        out += 2;
                        i += 3;
                        continue;
                    }
                }
            }
        }
        if (kAsciiRuns && d[i] < 0x80) {
            *out++ = static_cast<char>(d[i++]);
            continue;
        }
        char32_t cp;
        const int length = step(d, size, i, kEncoding, &cp);
        out += gbkBytes(cp, length, table, out);
        i += length;
    }
    return out;
}

}  // namespace

GbkTranscript::GbkTranscript(const QByteArray& bytes, TextEncoding encoding)
    : source_(bytes), encoding_(encoding) {
    const auto* d = reinterpret_cast<const Byte*>(bytes.constData());
    const qsizetype size = bytes.size();
    // No step gives more GBK bytes than it reads.
    gbk_ = QByteArray(size + 8, Qt::Uninitialized);
    markGbk_.reserve(static_cast<size_t>(size / kMarkEvery + 2));
    markSource_.reserve(static_cast<size_t>(size / kMarkEvery + 2));
    char* const begin = gbk_.data();
    char* end = begin;
    switch (encoding) {
        case TextEncoding::Utf8:
            end = transcribe<TextEncoding::Utf8>(d, size, begin, markGbk_, markSource_, kMarkEvery);
            break;
        case TextEncoding::Utf16Le:
            end = transcribe<TextEncoding::Utf16Le>(d, size, begin, markGbk_, markSource_,
                                                    kMarkEvery);
            break;
        case TextEncoding::Utf16Be:
            end = transcribe<TextEncoding::Utf16Be>(d, size, begin, markGbk_, markSource_,
                                                    kMarkEvery);
            break;
        default:
            end = transcribe<TextEncoding::Gb18030>(d, size, begin, markGbk_, markSource_,
                                                    kMarkEvery);
            break;
    }
    gbk_.resize(end - begin);
    markGbk_.push_back(static_cast<quint32>(gbk_.size()));
    markSource_.push_back(static_cast<quint32>(size));
}

qsizetype GbkTranscript::sourceOffset(qsizetype gbkOffset) const {
    gbkOffset = std::clamp<qsizetype>(gbkOffset, 0, gbk_.size());
    // The mark of the offset's block, or of the block before when the block's
    // first character starts after the offset.
    auto k = std::min(static_cast<size_t>(gbkOffset / kMarkEvery), markGbk_.size() - 1);
    if (markGbk_[k] > gbkOffset && k > 0) --k;
    qsizetype at = markSource_[k];
    qsizetype g = markGbk_[k];
    const auto* d = reinterpret_cast<const Byte*>(source_.constData());
    const quint16* table = GbkCodec::encodeTable();
    while (at < source_.size()) {
        char32_t cp;
        char scratch[4];
        const int length = step(d, source_.size(), at, encoding_, &cp);
        const int width = gbkBytes(cp, length, table, scratch);
        if (g + width > gbkOffset) break;
        g += width;
        at += length;
    }
    return at;
}
