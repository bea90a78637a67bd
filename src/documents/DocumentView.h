#pragma once

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

#include "documents/GbkCodec.h"

// A document's bytes as the editor shows them. Every byte survives: encoding
// the unedited text gives the bytes back exactly. Each character remembers the
// byte offset where it starts, so byte ranges and editor ranges map both ways.
class DocumentView {
  public:
    DocumentView() = default;
    explicit DocumentView(const QByteArray& bytes);

    const QString& text() const { return text_; }
    GbkCodec::LineEnding lineEnding() const { return lineEnding_; }
    qsizetype byteSize() const { return static_cast<qsizetype>(offsets_.back()); }

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
    std::vector<quint32> offsets_ = {0};
    GbkCodec::LineEnding lineEnding_ = GbkCodec::LineEnding::Lf;
};
