#include "text/EncodingDetection.h"

#include <array>

#include "text/Gb18030Codec.h"
#include "text/UnicodeCodec.h"

namespace {

constexpr qsizetype kHtmlHeadBytes = 1024;

bool startsWith(const QByteArray& bytes, std::initializer_list<unsigned char> prefix) {
    if (bytes.size() < qsizetype(prefix.size())) return false;
    qsizetype i = 0;
    for (const unsigned char b : prefix)
        if (static_cast<unsigned char>(bytes[i++]) != b) return false;
    return true;
}

bool isNameByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

// The first charset a <meta> tag in the head names that we read. Both
// <meta charset=...> and the http-equiv form's content="...; charset=..." put
// the name right after "charset", so one search within each tag covers both.
std::optional<TextEncoding> metaCharset(const QByteArray& bytes) {
    const QByteArray head = bytes.left(kHtmlHeadBytes).toLower();
    for (qsizetype tag = head.indexOf("<meta"); tag >= 0; tag = head.indexOf("<meta", tag + 1)) {
        qsizetype end = head.indexOf('>', tag);
        if (end < 0) end = head.size();
        for (qsizetype at = head.indexOf("charset", tag); at >= 0 && at < end;
             at = head.indexOf("charset", at + 1)) {
            qsizetype i = at + 7;
            while (i < end && (head[i] == ' ' || head[i] == '\t')) ++i;
            if (i >= end || head[i] != '=') continue;
            ++i;
            while (i < end &&
                   (head[i] == ' ' || head[i] == '\t' || head[i] == '"' || head[i] == '\''))
                ++i;
            qsizetype nameEnd = i;
            while (nameEnd < end && isNameByte(head[nameEnd])) ++nameEnd;
            const QByteArray name = head.mid(i, nameEnd - i);
            if (name == "utf-8") return TextEncoding::Utf8;
            if (name == "gbk" || name == "gb2312") return TextEncoding::Gbk;
            if (name == "gb18030") return TextEncoding::Gb18030;
        }
    }
    return std::nullopt;
}

}  // namespace

// A GBK text can happen to be valid UTF-8: two characters such as 录毛 (C2 BC
// C3 AB) read as "¼ë". The UTF-8 rule takes it, and that is accepted: each
// further GBK character halves the odds at best, so only a few characters
// long text is ever at risk, the status bar names the encoding that was taken
// and the command line can be told the encoding outright.
TextEncoding detectEncoding(const QByteArray& bytes, bool isHtml) {
    if (startsWith(bytes, {0xFF, 0xFE})) return TextEncoding::Utf16Le;
    if (startsWith(bytes, {0xFE, 0xFF})) return TextEncoding::Utf16Be;
    if (bytes.contains('\0')) return TextEncoding::Binary;
    if (startsWith(bytes, {0xEF, 0xBB, 0xBF})) return TextEncoding::Utf8;
    if (isHtml)
        if (const auto named = metaCharset(bytes)) return *named;
    bool multiByte = false;
    if (UnicodeCodec::isValidUtf8(bytes, &multiByte) && multiByte) return TextEncoding::Utf8;
    if (Gb18030Codec::isFourByteText(bytes)) return TextEncoding::Gb18030;
    return TextEncoding::Gbk;
}

namespace {
struct Named {
    TextEncoding encoding;
    const char* name;
};
constexpr std::array<Named, 5> kNames = {{{TextEncoding::Gbk, "GBK"},
                                          {TextEncoding::Gb18030, "GB18030"},
                                          {TextEncoding::Utf8, "UTF-8"},
                                          {TextEncoding::Utf16Le, "UTF-16LE"},
                                          {TextEncoding::Utf16Be, "UTF-16BE"}}};
}  // namespace

QString encodingName(TextEncoding encoding) {
    for (const Named& n : kNames)
        if (n.encoding == encoding) return QString::fromLatin1(n.name);
    return {};
}

std::optional<TextEncoding> encodingFromName(QStringView name) {
    for (const Named& n : kNames)
        if (name.compare(QLatin1String(n.name), Qt::CaseInsensitive) == 0) return n.encoding;
    return std::nullopt;
}
