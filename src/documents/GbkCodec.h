#pragma once

#include <QByteArray>
#include <QString>

// The one place where GBK bytes become characters and back.
//
// Decoding is byte-exact: a byte that is not part of a valid, round-tripping
// GBK pair becomes U+F700 + byte, so encode(decode(bytes)) == bytes for any
// input. Nothing is dropped or re-cut, whatever the file holds.
class GbkCodec {
  public:
    static constexpr char16_t kRawByteBase = 0xF700;

    // A byte 0x81-0xFE followed by 0x40-0x7E or 0x80-0xFE starts a two-byte
    // character; every other byte is a character by itself.
    static bool startsPair(const char* bytes, qsizetype size, qsizetype at);
    static qsizetype characterLength(const char* bytes, qsizetype size, qsizetype at) {
        return startsPair(bytes, size, at) ? 2 : 1;
    }
    // True when `at` is the first byte of a character, counting from the start.
    static bool isCharacterBoundary(const QByteArray& bytes, qsizetype at);

    static QString decode(const QByteArray& bytes);
    // Characters GBK cannot hold are collected (once each, in order of first
    // appearance) into `unencodable` and left out of the result; callers that
    // must not lose them check that list before writing anything.
    static QByteArray encode(const QString& text, QString* unencodable = nullptr);

    // The character of a defined GBK pair, or 0 when the pair has none.
    static char16_t decodePair(unsigned char lead, unsigned char trail);
    // The GBK pair for a character (lead << 8 | trail), or 0 when it has none.
    static quint16 encodeCharacter(char16_t ch);
};

// Shorthand for the program's own constant texts, which are written in UTF-8 source.
inline QByteArray gbk(const QString& text) { return GbkCodec::encode(text); }
inline QString fromGbk(const QByteArray& bytes) { return GbkCodec::decode(bytes); }
