#include <gtest/gtest.h>

#include <vector>

#include "text/DocumentView.h"
#include "text/TextCodec.h"

namespace {

QString raw(std::initializer_list<int> bytes) {
    QString text;
    for (const int b : bytes) text.append(QChar(char16_t(GbkCodec::kRawByteBase + b)));
    return text;
}

TEST(TextCodec, EveryEncodingComesBackByteForByteWithItsOffsets) {
    const QString grin = QStringLiteral("😀");
    const struct {
        const char* what;
        TextEncoding encoding;
        QByteArray bytes;
        QString text;
        std::vector<int> starts;  // the byte each unit of the text starts at
    } rows[] = {
        {"UTF-8 mark and CRLF",
         TextEncoding::Utf8,
         "\xEF\xBB\xBF\xE9\x94\x99\r\n\xE5\xAD\x97",
         QStringLiteral("错\n字"),
         {3, 6, 8}},
        {"UTF-8 cut, stray and overlong bytes",
         TextEncoding::Utf8,
         "a\xE9\x94\xFF\xC0\xAF"
         "b",
         "a" + raw({0xE9, 0x94, 0xFF, 0xC0, 0xAF}) + "b",
         {0, 1, 2, 3, 4, 5, 6}},
        {"UTF-8 beyond the BMP", TextEncoding::Utf8, "\xF0\x9F\x98\x80x", grin + "x", {0, 2, 4}},
        {"UTF-8 for a raw-byte character and a surrogate",
         TextEncoding::Utf8,
         "\xEF\x9C\x80\xED\xA0\x80",
         raw({0xEF, 0x9C, 0x80, 0xED, 0xA0, 0x80}),
         {0, 1, 2, 3, 4, 5}},
        {"UTF-8 minority line ending",
         TextEncoding::Utf8,
         "a\nb\r\nc\r\n",
         "a" + raw({'\n'}) + "b\nc\n",
         {0, 1, 2, 3, 5, 6}},
        {"UTF-16LE mark and CRLF",
         TextEncoding::Utf16Le,
         QByteArray("\xFF\xFE\x19\x95\r\0\n\0", 8),
         QStringLiteral("错\n"),
         {2, 4}},
        {"UTF-16LE lone surrogate and odd last byte",
         TextEncoding::Utf16Le,
         QByteArray("a\0\x00\xDC\x41", 5),
         "a" + raw({0x00, 0xDC, 0x41}),
         {0, 2, 3, 4}},
        {"UTF-16LE beyond the BMP",
         TextEncoding::Utf16Le,
         QByteArray("\x3D\xD8\x00\xDE", 4),
         grin,
         {0, 2}},
        {"UTF-16LE stray CR",
         TextEncoding::Utf16Le,
         QByteArray("\r\0a\0\n\0", 6),
         raw({'\r', 0}) + "a\n",
         {0, 1, 2, 4}},
        {"UTF-16BE mark and a lone high surrogate",
         TextEncoding::Utf16Be,
         "\xFE\xFF\x95\x19\xD8\x3D",
         "错" + raw({0xD8, 0x3D}),
         {2, 4, 5}},
        {"UTF-16BE without a mark",
         TextEncoding::Utf16Be,
         QByteArray("\0a\x95\x19", 4),
         QStringLiteral("a错"),
         {0, 2}},
        {"GB18030 two and four bytes",
         TextEncoding::Gb18030,
         "\xB4\xED\x83\x36\x84\x33\x94\x39\xFC\x36\r\n",
         "错한" + grin + "\n",
         {0, 2, 6, 8, 10}},
        {"GB18030 stray bytes and a four-byte form it has no character for",
         TextEncoding::Gb18030,
         "\x80\xFF\x84\x31\xA5\x30\x81",
         raw({0x80, 0xFF, 0x84}) + "1" + raw({0xA5}) + "0" + raw({0x81}),
         {0, 1, 2, 3, 4, 5, 6}},
    };
    for (const auto& row : rows) {
        const DocumentView view(row.bytes, row.encoding);
        EXPECT_EQ(view.text(), row.text) << row.what;
        EXPECT_EQ(view.byteSize(), row.bytes.size()) << row.what;
        // A lone surrogate is the one thing these encodings cannot hold.
        QString missing;
        EXPECT_EQ(view.encode(view.text() + QChar(0xDC00), &missing), row.bytes) << row.what;
        EXPECT_EQ(missing, QString(QChar(0xDC00))) << row.what;
        ASSERT_EQ(qsizetype(row.starts.size()), view.text().size()) << row.what;
        for (qsizetype i = 0; i < view.text().size(); ++i) {
            const qsizetype start = row.starts[size_t(i)];
            EXPECT_EQ(view.byteOffsetOf(i), start) << row.what << " unit " << i;
            EXPECT_EQ(view.charIndexOf(start), i) << row.what << " unit " << i;
        }
        // A byte range maps onto the characters that cover it: the whole text,
        // and each character on its own (a surrogate pair together).
        EXPECT_EQ(view.charRange(0, view.byteSize()),
                  std::make_pair(qsizetype(0), view.text().size()))
            << row.what;
        for (qsizetype i = 0; i < view.text().size(); ++i) {
            const qsizetype units = view.text().at(i).isHighSurrogate() ? 2 : 1;
            const qsizetype begin = view.byteOffsetOf(i), end = view.byteOffsetOf(i + units);
            EXPECT_EQ(view.charRange(begin, end - begin), std::make_pair(i, i + units)) << row.what;
            EXPECT_EQ(TextCodec::encode(view.text().mid(i, units), row.encoding, view.lineEnding(),
                                        nullptr),
                      row.bytes.mid(begin, end - begin))
                << row.what << " unit " << i;
            i += units - 1;
        }
    }
}

}  // namespace
