#include <gtest/gtest.h>

#include "text/EncodingDetection.h"

namespace {

// 按装说明，错别字。 in each encoding, and many times over for a long text.
const QByteArray kGbk("\xB0\xB4\xD7\xB0\xCB\xB5\xC3\xF7\xA3\xAC\xB4\xED\xB1\xF0\xD7\xD6\xA1\xA3");
const QByteArray kUtf8(
    "\xE6\x8C\x89\xE8\xA3\x85\xE8\xAF\xB4\xE6\x98\x8E\xEF\xBC\x8C\xE9\x94\x99\xE5\x88\xAB\xE5\xAD"
    "\x97\xE3\x80\x82");
const QByteArray kUtf16Le(
    "\x09\x63\xC5\x88\xF4\x8B\x0E\x66\x0C\xFF\x19\x95\x2B\x52\x57\x5B\x02\x30"
    "a\0\r\0\n\0",
    24);
// 한 and 😀: a BMP and a supplementary four-byte character.
const QByteArray kGb18030Four("\x83\x36\x84\x33\x94\x39\xFC\x36");

QByteArray times(const QByteArray& bytes, int count) { return bytes.repeated(count); }

QByteArray swapped(const QByteArray& utf16) {
    QByteArray out = utf16;
    for (qsizetype i = 0; i + 1 < out.size(); i += 2) std::swap(out[i], out[i + 1]);
    return out;
}

QByteArray html(const QByteArray& meta, const QByteArray& body) {
    return "<html><head>" + meta + "</head><body>" + body + "</body></html>";
}

TEST(EncodingDetection, EachRuleInItsOrder) {
    const struct {
        const char* what;
        QByteArray bytes;
        bool isHtml;
        TextEncoding expected;
    } rows[] = {
        {"empty", "", false, TextEncoding::Gbk},
        {"ASCII only", "plain text\r\n", false, TextEncoding::Gbk},
        {"short GBK", kGbk, false, TextEncoding::Gbk},
        {"long GBK", times(kGbk + "\r\n", 500), false, TextEncoding::Gbk},
        {"short UTF-8", kUtf8, false, TextEncoding::Utf8},
        {"long UTF-8", times(kUtf8 + "\n", 500), false, TextEncoding::Utf8},
        {"UTF-8 mark before ASCII", "\xEF\xBB\xBFplain", false, TextEncoding::Utf8},
        {"UTF-8 mark before GBK", "\xEF\xBB\xBF" + kGbk, false, TextEncoding::Utf8},
        {"short UTF-16LE", "\xFF\xFE" + kUtf16Le, false, TextEncoding::Utf16Le},
        {"long UTF-16LE", "\xFF\xFE" + times(kUtf16Le, 500), false, TextEncoding::Utf16Le},
        {"short UTF-16BE", "\xFE\xFF" + swapped(kUtf16Le), false, TextEncoding::Utf16Be},
        {"long UTF-16BE", "\xFE\xFF" + swapped(times(kUtf16Le, 500)), false, TextEncoding::Utf16Be},
        {"UTF-16 without a mark holds NUL bytes", kUtf16Le, false, TextEncoding::Binary},
        {"short GB18030", kGb18030Four, false, TextEncoding::Gb18030},
        {"long GB18030", times(kGbk + kGb18030Four + "\n", 500), false, TextEncoding::Gb18030},
        {"GB18030 with a byte it cannot place", kGbk + kGb18030Four + "\x80", false,
         TextEncoding::Gbk},
        {"a four-byte form outside GB18030's ranges", kGb18030Four + "\x84\x31\xA5\x30", false,
         TextEncoding::Gbk},
        // 录毛 (C2 BC C3 AB) is also "¼ë" in UTF-8, and UTF-8 comes first.
        {"two GBK characters that are valid UTF-8", "\xC2\xBC\xC3\xAB", false, TextEncoding::Utf8},
        {"NUL bytes in GBK", kGbk + QByteArray(1, '\0') + kGbk, false, TextEncoding::Binary},
        {"NUL bytes after a UTF-8 mark", QByteArray("\xEF\xBB\xBF\0x", 5), false,
         TextEncoding::Binary},
        {"meta charset gb2312 over UTF-8 bytes", html("<meta charset=\"GB2312\">", kUtf8), true,
         TextEncoding::Gbk},
        {"the same page read as text", html("<meta charset=\"GB2312\">", kUtf8), false,
         TextEncoding::Utf8},
        {"meta charset gbk without quotes", html("<META CHARSET=gbk>", kUtf8), true,
         TextEncoding::Gbk},
        {"http-equiv charset gb18030",
         html("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=GB18030\">", kGbk),
         true, TextEncoding::Gb18030},
        {"http-equiv charset utf-8",
         html("<meta http-equiv='content-type' content='text/html; charset=utf-8'>", kGbk), true,
         TextEncoding::Utf8},
        {"an unread charset leaves the bytes to decide", html("<meta charset=big5>", kGbk), true,
         TextEncoding::Gbk},
        {"a mark wins over the meta charset",
         "\xEF\xBB\xBF" + html("<meta charset=\"gbk\">", kUtf8), true, TextEncoding::Utf8},
        {"meta charset after the first 1024 bytes",
         "<html>" + QByteArray(1024, ' ') + "<meta charset=\"gbk\">" + kUtf8, true,
         TextEncoding::Utf8},
    };
    for (const auto& row : rows)
        EXPECT_EQ(detectEncoding(row.bytes, row.isHtml), row.expected) << row.what;

    for (const auto e : {TextEncoding::Gbk, TextEncoding::Gb18030, TextEncoding::Utf8,
                         TextEncoding::Utf16Le, TextEncoding::Utf16Be})
        EXPECT_EQ(encodingFromName(encodingName(e).toLower()), e) << encodingName(e).toStdString();
    EXPECT_FALSE(encodingFromName(u"big5").has_value());
}

}  // namespace
