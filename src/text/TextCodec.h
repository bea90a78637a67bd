#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

#include "text/EncodingDetection.h"
#include "text/GbkCodec.h"

// Bytes to characters and back in any encoding a document can have, with the
// guarantees of GbkCodec: byte-exact (encode(decode(x)) == x for any bytes,
// by the raw-byte convention), the same line-ending handling, start offsets
// per unit of the text, and characters the encoding cannot hold collected
// into `unencodable`. Binary documents are read as GBK would read them.
namespace TextCodec {

using LineEnding = GbkCodec::LineEnding;

// The byte-order mark `bytes` start with, when it is the one of `encoding`.
QByteArray byteOrderMark(const QByteArray& bytes, TextEncoding encoding);
// As GbkCodec::dominantLineEnding, counting UTF-16 line breaks by units.
LineEnding dominantLineEnding(const QByteArray& bytes, TextEncoding encoding);

QString decode(const QByteArray& bytes, TextEncoding encoding, LineEnding lineEnding,
               std::vector<quint32>* offsets = nullptr);
QByteArray encode(const QString& text, TextEncoding encoding, LineEnding lineEnding,
                  QString* unencodable);

// GBK text (a library form) in `encoding`, without a byte-order mark.
QByteArray recodeGbk(const QByteArray& gbkBytes, TextEncoding encoding);
// The byte offsets where the characters of `bytes` start, ascending, with
// bytes.size() last.
std::vector<quint32> characterStarts(const QByteArray& bytes, TextEncoding encoding);

}  // namespace TextCodec
