#include "text/GbkTranscript.h"

#include <algorithm>

#include "text/TextCodec.h"

GbkTranscript::GbkTranscript(const QByteArray& bytes, TextEncoding encoding) {
    // Line breaks as themselves, a byte-order mark as a character: every
    // byte of the document belongs to one unit.
    const QString text =
        TextCodec::decode(bytes, encoding, TextCodec::LineEnding::None, &sourceStarts_);
    gbk_.reserve(text.size() * 2);
    gbkStarts_.reserve(sourceStarts_.size());
    for (const QChar unit : text) {
        gbkStarts_.push_back(static_cast<quint32>(gbk_.size()));
        const char16_t ch = unit.unicode();
        if (ch < 0x80) {
            gbk_ += static_cast<char>(ch);
        } else if (GbkCodec::isRawByte(ch)) {
            gbk_ += '\xFF';
        } else if (const quint16 pair =
                       QChar::isSurrogate(ch) ? 0 : GbkCodec::encodeCharacter(ch)) {
            gbk_ += static_cast<char>(pair >> 8);
            gbk_ += static_cast<char>(pair & 0xFF);
        } else if (QChar::isSurrogate(ch)) {
            gbk_ += '\xFF';  // one of a pair's two
        } else {
            gbk_ += "\xFF\xFF";
        }
    }
    gbkStarts_.push_back(static_cast<quint32>(gbk_.size()));
}

qsizetype GbkTranscript::sourceOffset(qsizetype gbkOffset) const {
    const auto after = std::upper_bound(gbkStarts_.begin(), gbkStarts_.end(),
                                        static_cast<quint32>(std::max<qsizetype>(0, gbkOffset)));
    return sourceStarts_[static_cast<size_t>(
        std::max<qsizetype>(0, after - gbkStarts_.begin() - 1))];
}
