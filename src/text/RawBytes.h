#pragma once

#include "text/GbkCodec.h"

// Characters the editor would alter (folded breaks, no-break spaces,
// non-characters) or that stand for raw bytes: no codec decodes bytes into
// them, so that the shown text always encodes back to the same bytes.
inline bool isKeptAsRawBytes(char32_t ch) {
    return ch == 0x00A0 || ch == 0x2028 || ch == 0x2029 || (ch >= 0xFDD0 && ch <= 0xFDEF) ||
           GbkCodec::isRawByte(ch);
}

// The loop every byte-exact encoder shares: a raw-byte character is its byte,
// the editor's '\n' is the document's line ending, and every other character
// (a surrogate pair as one code point) goes to `put(bytes, cp)`, which appends
// its bytes or returns false, appending nothing, when the encoding cannot hold
// it. A lone surrogate is held by none. What cannot be held is noted once each.
template <typename Put>
QByteArray encodeCharacters(const QString& text, GbkCodec::LineEnding lineEnding,
                            QString* unencodable, qsizetype bytesPerUnit, Put put) {
    QByteArray bytes;
    bytes.reserve(text.size() * bytesPerUnit);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t ch = text.at(i).unicode();
        if (ch == u'\n' && lineEnding == GbkCodec::LineEnding::CrLf) {
            put(bytes, U'\r');
            put(bytes, U'\n');
            continue;
        }
        if (GbkCodec::isRawByte(ch)) {
            bytes.append(static_cast<char>(ch - GbkCodec::kRawByteBase));
            continue;
        }
        const qsizetype start = i;
        char32_t cp = ch;
        if (QChar::isHighSurrogate(ch) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            cp = QChar::surrogateToUcs4(ch, text.at(++i).unicode());
        if (QChar::isSurrogate(cp) || !put(bytes, cp)) {
            const QString character = text.mid(start, i - start + 1);
            if (unencodable && !unencodable->contains(character)) unencodable->append(character);
        }
    }
    return bytes;
}
