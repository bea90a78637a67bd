#include <gtest/gtest.h>

#include <QFile>

#include "text/DocumentView.h"

namespace {

QByteArray fixture(const char* name) {
    QFile f(qEnvironmentVariable("TAVREL_TEST_DATA") + QLatin1Char('/') + QLatin1String(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name;
    return f.readAll();
}

TEST(DocumentView, EveryFixtureComesBackByteForByte) {
    for (const char* name : {"gbk_crlf.txt", "gbk_lf.txt", "stray.fbd", "utf8.htm"}) {
        const QByteArray bytes = fixture(name);
        ASSERT_FALSE(bytes.isEmpty()) << name;
        const DocumentView view(bytes);
        EXPECT_EQ(view.encode(view.text(), nullptr), bytes) << name;
        EXPECT_FALSE(view.text().contains(QLatin1Char('\r'))) << name;
        EXPECT_EQ(view.byteSize(), bytes.size());
    }
}

TEST(DocumentView, TheDominantLineEndingBecomesTheEditorsBreak) {
    const DocumentView crlf(fixture("gbk_crlf.txt"));
    EXPECT_EQ(crlf.lineEnding(), GbkCodec::LineEnding::CrLf);
    EXPECT_TRUE(crlf.text().startsWith(QStringLiteral("第一章　按装说明\n本软件")));
    // Typed text gets the document's own line ending.
    EXPECT_EQ(crlf.encode(QStringLiteral("甲\n乙"), nullptr), QByteArray("\xBC\xD7\r\n\xD2\xD2"));

    EXPECT_EQ(DocumentView(fixture("gbk_lf.txt")).lineEnding(), GbkCodec::LineEnding::Lf);
    // Equal counts go to CRLF; no line break at all is LF.
    EXPECT_EQ(DocumentView("a\r\nb\nc").lineEnding(), GbkCodec::LineEnding::CrLf);
    EXPECT_EQ(DocumentView("a\r\nb\nc\n").lineEnding(), GbkCodec::LineEnding::Lf);
    EXPECT_EQ(DocumentView("abc").lineEnding(), GbkCodec::LineEnding::Lf);

    // The minority ending and stray CRs stay visible as raw bytes, not as breaks.
    const DocumentView mixed("a\r\nb\nc\rd\r\n");
    EXPECT_EQ(mixed.text(), QStringLiteral("a\nb") + QChar(0xF70A) + QStringLiteral("c") +
                                QChar(0xF70D) + QStringLiteral("d\n"));
}

TEST(DocumentView, ByteRangesMapToCharactersAndBack) {
    // 第(0-1) 一(2-3) 章(4-5) 　(6-7) 按(8-9) 装(10-11) 说(12-13) 明(14-15) CRLF(16-17) 本(18)
    const DocumentView view(fixture("gbk_crlf.txt"));
    EXPECT_EQ(view.byteOffsetOf(4), 8);
    EXPECT_EQ(view.byteOffsetOf(8), 16);
    EXPECT_EQ(view.byteOffsetOf(9), 18);
    EXPECT_EQ(view.charIndexOf(9), 4);   // the second byte of 按
    EXPECT_EQ(view.charIndexOf(17), 8);  // the LF of the CRLF
    EXPECT_EQ(view.charRange(8, 4), std::make_pair(qsizetype(4), qsizetype(6)));  // 按装
    // Across the line break: 明 CRLF 本.
    EXPECT_EQ(view.charRange(14, 6), std::make_pair(qsizetype(7), qsizetype(10)));
    // Clamped to the text.
    EXPECT_EQ(view.charRange(view.byteSize() - 1, 50).second, view.text().size());
    EXPECT_EQ(view.charRange(view.byteSize() + 10, 4),
              std::make_pair(view.text().size(), view.text().size()));
    for (qsizetype c = 0; c <= view.text().size(); ++c)
        EXPECT_EQ(view.charIndexOf(view.byteOffsetOf(c)), c);
}

TEST(DocumentView, OffsetsHoldAcrossManyBlocksOfMixedWidths) {
    // Widths in an irregular pattern over several hundred characters, with
    // CRLF, stray bytes and ASCII, against the decoder's own offsets.
    QByteArray bytes;
    for (int i = 0; i < 700; ++i) {
        switch ((i * 7 + i / 13) % 5) {
            case 0:
                bytes += "\xB0\xB4";
                break;  // 按
            case 1:
                bytes += 'a';
                break;
            case 2:
                bytes += "\r\n";
                break;
            case 3:
                bytes += '\x80';
                break;  // a byte GBK does not start with
            default:
                bytes += "\xD7\xB0";
                break;  // 装
        }
    }
    const DocumentView view(bytes);
    std::vector<quint32> offsets;
    GbkCodec::decode(bytes, view.lineEnding(), &offsets);
    ASSERT_EQ(offsets.size(), size_t(view.text().size()) + 1);
    for (qsizetype c = 0; c <= view.text().size(); ++c) {
        ASSERT_EQ(view.byteOffsetOf(c), qsizetype(offsets[size_t(c)])) << c;
        ASSERT_EQ(view.charIndexOf(qsizetype(offsets[size_t(c)])), c) << c;
        if (c < view.text().size() && offsets[size_t(c) + 1] - offsets[size_t(c)] == 2) {
            ASSERT_EQ(view.charIndexOf(qsizetype(offsets[size_t(c)]) + 1), c) << c;
        }
    }
}

TEST(DocumentView, CharactersGbkCannotHoldAreReported) {
    const DocumentView view(fixture("gbk_lf.txt"));
    QString missing;
    view.encode(view.text() + QStringLiteral("한😀한"), &missing);
    EXPECT_EQ(missing, QStringLiteral("한😀"));
}

}  // namespace
