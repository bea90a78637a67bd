#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

#include "text/GbkCodec.h"

// UTF-8 and UTF-16 read and written byte-exactly, by the raw-byte convention
// of GbkCodec: a byte outside a valid sequence becomes U+F700 + byte. In
// UTF-16 a lone surrogate, a line-break unit the editor would fold, or any
// unit for a character that must stay raw becomes its two bytes as raw bytes,
// in file order; an odd last byte becomes one.
//
// Offsets (as GbkCodec::decode) give every UTF-16 unit of the text its start
// byte: a character beyond the BMP gives its first two bytes to the high
// surrogate and the rest to the low one, so that no unit has zero width.
namespace UnicodeCodec {

using LineEnding = GbkCodec::LineEnding;

// True when the bytes are well-formed UTF-8; `multiByte` says whether any
// character takes more than one byte.
bool isValidUtf8(const QByteArray& bytes, bool* multiByte);
// The length of the well-formed UTF-8 sequence at `at` and its character, or 0.
int utf8SequenceAt(const unsigned char* d, qsizetype size, qsizetype at, char32_t* cp);

QString decodeUtf8(const QByteArray& bytes, LineEnding lineEnding, std::vector<quint32>* offsets);
QByteArray encodeUtf8(const QString& text, LineEnding lineEnding, QString* unencodable);

// The UTF-16 unit at byte `at` (two bytes must be there).
char16_t utf16UnitAt(const unsigned char* d, qsizetype at, bool bigEndian);
LineEnding dominantUtf16LineEnding(const QByteArray& bytes, bool bigEndian);
QString decodeUtf16(const QByteArray& bytes, bool bigEndian, LineEnding lineEnding,
                    std::vector<quint32>* offsets);
QByteArray encodeUtf16(const QString& text, bool bigEndian, LineEnding lineEnding,
                       QString* unencodable);

}  // namespace UnicodeCodec
