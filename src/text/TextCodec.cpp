#include "text/TextCodec.h"

#include "text/Gb18030Codec.h"
#include "text/UnicodeCodec.h"

namespace TextCodec {

QByteArray byteOrderMark(const QByteArray& bytes, TextEncoding encoding) {
    QByteArray mark;
    switch (encoding) {
        case TextEncoding::Utf8:
            mark = QByteArray("\xEF\xBB\xBF");
            break;
        case TextEncoding::Utf16Le:
            mark = QByteArray("\xFF\xFE");
            break;
        case TextEncoding::Utf16Be:
            mark = QByteArray("\xFE\xFF");
            break;
        default:
            return {};
    }
    return bytes.startsWith(mark) ? mark : QByteArray();
}

LineEnding dominantLineEnding(const QByteArray& bytes, TextEncoding encoding) {
    if (encoding == TextEncoding::Utf16Le || encoding == TextEncoding::Utf16Be)
        return UnicodeCodec::dominantUtf16LineEnding(bytes, encoding == TextEncoding::Utf16Be);
    return GbkCodec::dominantLineEnding(bytes);
}

QString decode(const QByteArray& bytes, TextEncoding encoding, LineEnding lineEnding,
               std::vector<quint32>* offsets) {
    switch (encoding) {
        case TextEncoding::Utf8:
            return UnicodeCodec::decodeUtf8(bytes, lineEnding, offsets);
        case TextEncoding::Utf16Le:
        case TextEncoding::Utf16Be:
            return UnicodeCodec::decodeUtf16(bytes, encoding == TextEncoding::Utf16Be, lineEnding,
                                             offsets);
        case TextEncoding::Gb18030:
            return Gb18030Codec::decode(bytes, lineEnding, offsets);
        case TextEncoding::Gbk:
        case TextEncoding::Binary:
            break;
    }
    return GbkCodec::decode(bytes, lineEnding, offsets);
}

QByteArray encode(const QString& text, TextEncoding encoding, LineEnding lineEnding,
                  QString* unencodable) {
    switch (encoding) {
        case TextEncoding::Utf8:
            return UnicodeCodec::encodeUtf8(text, lineEnding, unencodable);
        case TextEncoding::Utf16Le:
        case TextEncoding::Utf16Be:
            return UnicodeCodec::encodeUtf16(text, encoding == TextEncoding::Utf16Be, lineEnding,
                                             unencodable);
        case TextEncoding::Gb18030:
            return Gb18030Codec::encode(text, lineEnding, unencodable);
        case TextEncoding::Gbk:
        case TextEncoding::Binary:
            break;
    }
    return GbkCodec::encode(text, lineEnding, unencodable);
}

QByteArray recodeGbk(const QByteArray& gbkBytes, TextEncoding encoding) {
    if (encoding == TextEncoding::Gbk || encoding == TextEncoding::Binary) return gbkBytes;
    return encode(GbkCodec::decode(gbkBytes), encoding, LineEnding::None, nullptr);
}

std::vector<quint32> characterStarts(const QByteArray& bytes, TextEncoding encoding) {
    std::vector<quint32> starts;
    const QString text = decode(bytes, encoding, LineEnding::None, &starts);
    // The low half of a surrogate pair starts inside its character.
    qsizetype kept = 0;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (!(text.at(i).isLowSurrogate() && i > 0 && text.at(i - 1).isHighSurrogate()))
            starts[size_t(kept++)] = starts[size_t(i)];
    starts[size_t(kept++)] = starts.back();
    starts.resize(size_t(kept));
    return starts;
}

}  // namespace TextCodec
