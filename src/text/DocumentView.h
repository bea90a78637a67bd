#pragma once

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

#include "text/EncodingDetection.h"
#include "text/GbkCodec.h"

// A document's bytes as the editor shows them. Every byte survives: encoding
// the unedited text gives the bytes back exactly. Each character remembers the
// byte offset where it starts, so byte ranges and editor ranges map both ways.
// A byte-order mark is kept out of the text and written back in front of it;
// offsets count it.
class DocumentView {
  public:
    DocumentView() = default;
    explicit DocumentView(const QByteArray& bytes, TextEncoding encoding = TextEncoding::Gbk);

    const QString& text() const { return text_; }
    // The text, handed on where it is to live (the editor), so that a large
    // document is not held twice; the offsets stay and text() is empty after.
    QString takeText();
    qsizetype characterCount() const { return characters_; }
    TextEncoding encoding() const { return encoding_; }
    GbkCodec::LineEnding lineEnding() const { return lineEnding_; }
    qsizetype byteSize() const { return byteSize_; }

    // Byte offset (0-based) where character `index` starts; characterCount() gives byteSize().
    qsizetype byteOffsetOf(qsizetype charIndex) const;
    // The character that holds byte `offset` (0-based); byteSize() and beyond give text().size().
    qsizetype charIndexOf(qsizetype byteOffset) const;
    // Editor range [first, last) that covers bytes [start, start + length), clamped to the text.
    std::pair<qsizetype, qsizetype> charRange(qsizetype byteStart, qsizetype byteLength) const;

    // The bytes of an edited text, written in this document's encoding, with
    // its byte-order mark and line ending.
    QByteArray encode(const QString& editedText, QString* unencodable) const;
    // The bytes of a piece of the text, without the byte-order mark.
    QByteArray encodePiece(const QString& piece, QString* unencodable) const;

  private:
    QString text_;
    TextEncoding encoding_ = TextEncoding::Gbk;
    QByteArray byteOrderMark_;
    // GBK: every character takes one byte or two: one bit a character says
    // which, and the byte offset of every 64th character is kept, so that a
    // large document's map costs a sixteenth of an offset per character.
    std::vector<quint64> wide_;
    std::vector<qsizetype> blockStart_ = {0};
    // Other encodings, whose characters take one to four bytes: the start of
    // every unit of the text, and byteSize() last.
    std::vector<quint32> offsets_;
    qsizetype byteSize_ = 0;
    qsizetype characters_ = 0;
    GbkCodec::LineEnding lineEnding_ = GbkCodec::LineEnding::Lf;
};
