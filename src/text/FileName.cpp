#include "text/FileName.h"

#include "text/GbkCodec.h"

namespace {

bool hasRawByte(QStringView text) {
    for (QChar ch : text)
        if (GbkCodec::isRawByte(ch.unicode())) return true;
    return false;
}

QString componentFromBytes(const QByteArray& bytes) {
    // Decoding that does not give the bytes back (invalid UTF-8), or that
    // gives characters of the raw-byte range, would make the name ambiguous.
    const QString text = QString::fromUtf8(bytes);
    if (text.toUtf8() == bytes && !hasRawByte(text)) return text;
    QString raw;
    raw.reserve(bytes.size());
    for (char b : bytes) {
        const auto u = static_cast<unsigned char>(b);
        raw += u < 0x80 ? QChar(u) : QChar(char16_t(GbkCodec::kRawByteBase + u));
    }
    return raw;
}

}  // namespace

QString pathFromBytes(const QByteArray& bytes) {
    QString path;
    qsizetype from = 0;
    for (;;) {
        const qsizetype slash = bytes.indexOf('/', from);
        path += componentFromBytes(bytes.mid(from, slash < 0 ? -1 : slash - from));
        if (slash < 0) return path;
        path += QLatin1Char('/');
        from = slash + 1;
    }
}

QByteArray pathBytes(const QString& path) {
    if (!hasRawByte(path)) return path.toUtf8();
    QByteArray bytes;
    bytes.reserve(path.size());
    qsizetype run = 0;  // start of the characters not yet converted
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (!GbkCodec::isRawByte(path[i].unicode())) continue;
        bytes += QStringView(path).mid(run, i - run).toUtf8();
        bytes += static_cast<char>(path[i].unicode() - GbkCodec::kRawByteBase);
        run = i + 1;
    }
    bytes += QStringView(path).mid(run).toUtf8();
    return bytes;
}

QString displayName(const QString& path) {
    if (!hasRawByte(path)) return path;
    QString shown;
    qsizetype from = 0;
    for (;;) {
        const qsizetype slash = path.indexOf(QLatin1Char('/'), from);
        const QString part = path.mid(from, slash < 0 ? -1 : slash - from);
        shown += hasRawByte(part) ? GbkCodec::decode(pathBytes(part)) : part;
        if (slash < 0) return shown;
        shown += QLatin1Char('/');
        from = slash + 1;
    }
}
