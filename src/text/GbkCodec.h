#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// The one place where GBK bytes become characters and back.
//
// Decoding is byte-exact: a byte that is not part of a valid, round-tripping
// GBK pair becomes U+F700 + byte, so encode(decode(bytes)) == bytes for any
// input. Nothing is dropped or re-cut, whatever the file holds.
class GbkCodec {
  public:
    static constexpr char16_t kRawByteBase = 0xF700;
    // True for a character that stands for one raw byte.
    static constexpr bool isRawByte(char32_t ch) {
        return ch >= kRawByteBase && ch <= kRawByteBase + 0xFF;
    }

    // A byte 0x81-0xFE followed by 0x40-0x7E or 0x80-0xFE starts a two-byte
    // character; every other byte is a character by itself.
    static bool startsPair(const char* bytes, qsizetype size, qsizetype at);
    static qsizetype characterLength(const char* bytes, qsizetype size, qsizetype at) {
        return startsPair(bytes, size, at) ? 2 : 1;
    }
    // True when `at` is the first byte of a character, counting from the start.
    static bool isCharacterBoundary(const QByteArray& bytes, qsizetype at);
    // True when every byte is ASCII or part of a defined GBK pair: text that
    // can only match whole characters (a lone lead byte would match half of one).
    static bool isWholeCharacters(const QByteArray& bytes);
    // True when the bytes, read from their start, end in a lone lead byte: in a
    // text where a trail byte follows, they end inside a character.
    static bool endsInLead(const char* bytes, qsizetype size);

    // How line breaks appear to the editor. None keeps CR and LF as themselves
    // (database fields, requests); Lf and CrLf turn the document's own line
    // ending into '\n' and keep every other CR or LF byte as a raw byte.
    enum class LineEnding { None, Lf, CrLf };

    // CrLf when the bytes hold at least one CRLF and at least as many CRLFs as lone LFs.
    static LineEnding dominantLineEnding(const QByteArray& bytes);

    // `offsets`, when given, receives the byte offset at which each character
    // starts, plus one last entry equal to bytes.size().
    static QString decode(const QByteArray& bytes, LineEnding lineEnding = LineEnding::None,
                          std::vector<quint32>* offsets = nullptr);
    // Characters GBK cannot hold are collected (once each, in order of first
    // appearance) into `unencodable` and left out of the result; callers that
    // must not lose them check that list before writing anything.
    static QByteArray encode(const QString& text, QString* unencodable = nullptr) {
        return encode(text, LineEnding::None, unencodable);
    }
    static QByteArray encode(const QString& text, LineEnding lineEnding, QString* unencodable);

    // The bytes encode() writes for a character that decode() gave: a
    // document's byte offsets follow from its text without a table.
    static int encodedLength(char16_t ch, LineEnding lineEnding) {
        if (ch == u'\n') return lineEnding == LineEnding::CrLf ? 2 : 1;
        return ch < 0x80 || isRawByte(ch) ? 1 : 2;
    }

    // The character of a defined GBK pair, or 0 when the pair has none.
    static char16_t decodePair(unsigned char lead, unsigned char trail);
    // The GBK pair for a character (lead << 8 | trail), or 0 when it has none.
    static quint16 encodeCharacter(char16_t ch);
    // The same for every BMP character at once, indexed by the character.
    static const quint16* encodeTable();
};

// Shorthand for the program's own constant texts, which are written in UTF-8 source.
inline QByteArray gbk(const QString& text) { return GbkCodec::encode(text); }
inline QString fromGbk(const QByteArray& bytes) { return GbkCodec::decode(bytes); }
