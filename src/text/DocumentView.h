#pragma once

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

#include "text/GbkCodec.h"

// A document's bytes as the editor shows them. Every byte survives: encoding
// the unedited text gives the bytes back exactly. Each character remembers the
// byte offset where it starts, so byte ranges and editor ranges map both ways.
class DocumentView {
  public:
    DocumentView() = default;
    explicit DocumentView(const QByteArray& bytes);

    const QString& text() const { return text_; }
    GbkCodec::LineEnding lineEnding() const { return lineEnding_; }
    qsizetype byteSize() const { return byteSize_; }

    // Byte offset (0-based) where character `index` starts; text().size() gives byteSize().
    qsizetype byteOffsetOf(qsizetype charIndex) const;
    // The character that holds byte `offset` (0-based); byteSize() and beyond give text().size().
    qsizetype charIndexOf(qsizetype byteOffset) const;
    // Editor range [first, last) that covers bytes [start, start + length), clamped to the text.
    std::pair<qsizetype, qsizetype> charRange(qsizetype byteStart, qsizetype byteLength) const;

    // The bytes of an edited text, written with this document's line ending.
    QByteArray encode(const QString& editedText, QString* unencodable) const {
        return GbkCodec::encode(editedText, lineEnding_, unencodable);
    }

  private:
    QString text_;
    // Every character takes one byte or two: one bit a character says which,
    // and the byte offset of every 64th character is kept, so that a large
    // document's map costs a sixteenth of an offset per character.
    std::vector<quint64> wide_;
    std::vector<qsizetype> blockStart_ = {0};
    qsizetype byteSize_ = 0;
    GbkCodec::LineEnding lineEnding_ = GbkCodec::LineEnding::Lf;
};
