#include <gtest/gtest.h>

#include "text/GbkCodec.h"

TEST(GbkCodec, ChineseTextConvertsBothWays) {
    const QString text = QStringLiteral("校对词库，ABC；“引号”");
    const QByteArray bytes = GbkCodec::encode(text);
    EXPECT_EQ(bytes.left(4), QByteArray("\xD0\xA3\xB6\xD4"));  // 校对
    EXPECT_EQ(GbkCodec::decode(bytes), text);
}

TEST(GbkCodec, AnyBytesSurviveDecodeAndEncode) {
    // Stray bytes, a lone lead byte at the end, a lead with a bad trail, UTF-8.
    const QByteArray samples[] = {
        QByteArray("\x80\xFF\x81", 3),     QByteArray("a\xB0", 2),
        QByteArray("\xB0\x20\xB0\xA1", 4), QByteArray("\xE6\xA0\xA1\xE5\xAF\xB9", 6),
        QByteArray("\x00\x0D\x0A\x7F", 4),
    };
    for (const QByteArray& bytes : samples) {
        EXPECT_EQ(GbkCodec::encode(GbkCodec::decode(bytes)), bytes) << bytes.toHex().constData();
    }
    EXPECT_EQ(GbkCodec::decode(QByteArray("\x80", 1)), QString(QChar(0xF780)));
}

TEST(GbkCodec, CharactersGbkLacksAreNamedOnceInOrder) {
    QString missing;
    const QByteArray bytes = GbkCodec::encode(QStringLiteral("a😀b한c😀") + QChar(0x0E3F), &missing);
    EXPECT_EQ(missing, QStringLiteral("😀한") + QChar(0x0E3F));
    EXPECT_EQ(bytes, "abc");
}

TEST(GbkCodec, CharacterBoundaries) {
    const QByteArray bytes(
        "\xB0\xA1"
        "a"
        "\xB0\xB0\xA1",
        6);  // 啊 a, then lead+lead+trail
    EXPECT_TRUE(GbkCodec::isCharacterBoundary(bytes, 0));
    EXPECT_FALSE(GbkCodec::isCharacterBoundary(bytes, 1));
    EXPECT_TRUE(GbkCodec::isCharacterBoundary(bytes, 2));
    EXPECT_TRUE(GbkCodec::isCharacterBoundary(bytes, 3));
    EXPECT_FALSE(GbkCodec::isCharacterBoundary(bytes, 4));
    EXPECT_TRUE(GbkCodec::isCharacterBoundary(bytes, 5));
}

TEST(GbkCodec, WholeCharacters) {
    const struct {
        QByteArray bytes;
        bool whole;
    } rows[] = {
        {QByteArray(), true},
        {QByteArray("ab"), true},
        {QByteArray("\xB0\xA1", 2), true},        // 啊
        {QByteArray("\xB0", 1), false},           // a lead byte alone
        {QByteArray("a\xB0\xA1\xB0", 4), false},  // ends in half a character
        {QByteArray("\xA1\xB0\xA1", 3), false},   // a pair, then a lone lead byte
        {QByteArray("\x80", 1), false},
        {QByteArray("\xFF", 1), false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(GbkCodec::isWholeCharacters(row.bytes), row.whole)
            << row.bytes.toHex().constData();
}
