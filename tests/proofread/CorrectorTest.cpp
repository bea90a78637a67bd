#include <gtest/gtest.h>

#include <random>

#include "proofread/Corrector.h"
#include "proofread/Scanner.h"
#include "text/GbkCodec.h"
#include "text/TextCodec.h"

namespace {

using Indexes = std::vector<size_t>;

QByteArray g(const char* utf8) { return gbk(QString::fromUtf8(utf8)); }

CorrectionRow row(qsizetype start, const char* wrong, const char* right) {
    return {start, g(wrong), g(right)};
}

// The scan's rows of a document, as the grid would hand them to the correction.
std::vector<CorrectionRow> scanRows(const QByteArray& text, const std::vector<EntryLine>& lines) {
    std::vector<CorrectionRow> rows;
    for (const Hit& hit : Scanner(lines).scan(text))
        rows.push_back({hit.start, lines[static_cast<size_t>(hit.entry)].wrong,
                        lines[static_cast<size_t>(hit.entry)].right});
    return rows;
}

TEST(Corrector, ATickedRowChangesOnlyItsOwnOccurrence) {
    // Three occurrences; the user keeps the second one ticked only.
    const QByteArray text = g("按装，按装，按装");
    const CorrectionResult result = applyCorrections(text, {row(7, "按装", "安装")});
    EXPECT_EQ(result.text, g("按装，安装，按装"));
    EXPECT_EQ(result.applied, Indexes{0});
    EXPECT_TRUE(result.skipped.empty());
}

TEST(Corrector, AnExcusedOccurrenceSurvivesBesideACorrectedOne) {
    const std::vector<EntryLine> lines = {{g("的的"), g("的"), g("的的确确")}};
    const QByteArray text = g("他的的确确来了，我的的书");
    const std::vector<CorrectionRow> rows = scanRows(text, lines);
    ASSERT_EQ(rows.size(), 1u);  // the excused one has no row
    EXPECT_EQ(applyCorrections(text, rows).text, g("他的的确确来了，我的书"));
}

TEST(Corrector, RowsOfOtherLengthsAllLandWhereTheScanFoundThem) {
    const std::vector<EntryLine> lines = {
        {g("按装"), g("安装"), {}}, {g("的的"), g("的"), {}}, {g("象"), g("好像"), {}}};
    const QByteArray text = g("按装的的，象按装的的象。\r\n尾");
    const CorrectionResult result = applyCorrections(text, scanRows(text, lines));
    EXPECT_EQ(result.text, g("安装的，好像安装的好像。\r\n尾"));
    EXPECT_EQ(result.applied.size(), 6u);
    EXPECT_TRUE(result.skipped.empty());
}

TEST(Corrector, StaleRowsAreSkippedAndTheirBytesLeftAlone) {
    // The file was edited after the scan: one character was put in front.
    const QByteArray scanned = g("按装好了按装");
    const QByteArray edited = g("新") + scanned;
    const std::vector<CorrectionRow> rows = {row(1, "按装", "安装"), row(9, "按装", "安装")};
    ASSERT_EQ(applyCorrections(scanned, rows).applied.size(), 2u);
    const CorrectionResult result = applyCorrections(edited, rows);
    EXPECT_EQ(result.text, edited);
    EXPECT_EQ(result.skipped, (Indexes{0, 1}));
    EXPECT_TRUE(result.applied.empty());

    // Positions past the end, before the start, or inside a character.
    const QByteArray text = g("啊按装");
    const CorrectionResult odd = applyCorrections(text, {row(0, "按装", "安装"),
                                                         row(6, "按装", "安装"),
                                                         row(99, "按", "安"),
                                                         {2, QByteArray("\xB0\xB4"), g("安")},
                                                         {3, QByteArray(), g("安")}});
    EXPECT_EQ(odd.text, text);
    EXPECT_EQ(odd.skipped.size(), 5u);
}

TEST(Corrector, AFormInsideAnotherCharacterIsNotAnOccurrence) {
    // "\xB0\xA1" (啊) followed by "\xA1\xA1": bytes 2-3 spell the same pair,
    // but byte 2 ends 啊 rather than starting a character.
    const QByteArray text = g("啊") + QByteArray("\xA1\xA1");
    const CorrectionResult result = applyCorrections(text, {{2, QByteArray("\xA1\xA1"), "X"}});
    EXPECT_EQ(result.text, text);
    EXPECT_EQ(result.skipped, Indexes{0});
    EXPECT_EQ(applyCorrections(text, {{3, QByteArray("\xA1\xA1"), "X"}}).text, g("啊") + "X");
    // A lone lead byte is not the first half of the character it starts.
    EXPECT_EQ(applyCorrections(g("啊啊"), {{3, QByteArray("\xB0"), "X"}}).text, g("啊啊"));
}

TEST(Corrector, RowsMustBeWholeCharactersOfTheDocumentsEncoding) {
    const QString text = QStringLiteral("A按😀B");
    struct Case {
        TextEncoding encoding;
        qsizetype start;
        QByteArray wrong;
        bool applied;
    };
    const Case cases[] = {
        {TextEncoding::Utf8, 2, QStringLiteral("按").toUtf8(), true},
        {TextEncoding::Utf8, 9, "B", true},
        {TextEncoding::Utf8, 3, "\x8C\x89", false},                           // the tail of 按
        {TextEncoding::Utf8, 7, "\x98\x80", false},                           // the tail of 😀
        {TextEncoding::Utf16Le, 3, QByteArray("\x09\x63", 2), true},          // 按 (U+6309)
        {TextEncoding::Utf16Le, 2, QByteArray("\x00\x09", 2), false},         // between two units
        {TextEncoding::Utf16Le, 7, QByteArray("\x3D\xD8", 2), false},         // half of 😀
        {TextEncoding::Gb18030, 4, QByteArray("\x94\x39\xFC\x36", 4), true},  // 😀
        {TextEncoding::Gb18030, 6, QByteArray("\xFC\x36", 2), false},
    };
    for (const Case& c : cases) {
        const QByteArray bytes =
            TextCodec::encode(text, c.encoding, TextCodec::LineEnding::None, nullptr);
        const CorrectionResult result =
            applyCorrections(bytes, {{c.start, c.wrong, "#"}}, c.encoding);
        EXPECT_EQ(result.applied.size(), c.applied ? 1u : 0u)
            << encodingName(c.encoding).toStdString() << " at " << c.start;
        EXPECT_EQ(result.text, c.applied ? bytes.left(c.start - 1) + "#" +
                                               bytes.mid(c.start - 1 + c.wrong.size())
                                         : bytes);
    }
}

TEST(Corrector, OverlappingRowsApplyOnceInGridOrder) {
    // Two entries whose forms overlap at one place, and the same entry twice.
    const QByteArray text = g("一二三");
    const CorrectionResult result =
        applyCorrections(text, {row(3, "二三", "B"), row(1, "一二", "A"), row(3, "二三", "C")});
    EXPECT_EQ(result.text, g("一") + "B");
    EXPECT_EQ(result.applied, Indexes{0});
    EXPECT_EQ(result.skipped, (Indexes{1, 2}));
    // Adjacent ranges do not overlap.
    EXPECT_EQ(applyCorrections(text, {row(3, "二", "2"), row(1, "一", "1")}).text, "12" + g("三"));
}

TEST(Corrector, RandomRowsChangeExactlyTheirOwnBytes) {
    std::mt19937 random(4711);
    const QByteArray pieces[] = {g("的"), g("确"), "A", "\xB0", "\r\n"};
    for (int round = 0; round < 300; ++round) {
        QByteArray text;
        const int n = static_cast<int>(random() % 25);
        for (int i = 0; i < n; ++i) text += pieces[random() % std::size(pieces)];
        std::vector<CorrectionRow> rows;
        const int rowCount = static_cast<int>(random() % 6);
        for (int i = 0; i < rowCount && !text.isEmpty(); ++i) {
            const qsizetype start = 1 + static_cast<qsizetype>(random() % text.size());
            const qsizetype length =
                1 +
                static_cast<qsizetype>(random() % std::min<qsizetype>(4, text.size() - start + 1));
            rows.push_back({start, text.mid(start - 1, length), QByteArray(random() % 4, 'r')});
        }
        const CorrectionResult result = applyCorrections(text, rows);
        // Rebuild the expectation from the applied rows alone.
        std::vector<size_t> order = result.applied;
        std::sort(order.begin(), order.end(),
                  [&](size_t a, size_t b) { return rows[a].start < rows[b].start; });
        QByteArray expected;
        qsizetype from = 0;
        for (size_t i : order) {
            ASSERT_GE(rows[i].start - 1, from) << "applied rows overlap";
            ASSERT_TRUE(GbkCodec::isCharacterBoundary(text, rows[i].start - 1));
            ASSERT_TRUE(
                GbkCodec::isCharacterBoundary(text, rows[i].start - 1 + rows[i].wrong.size()));
            expected += text.mid(from, rows[i].start - 1 - from) + rows[i].right;
            from = rows[i].start - 1 + rows[i].wrong.size();
        }
        expected += text.mid(from);
        ASSERT_EQ(result.text, expected) << text.toHex().constData();
        ASSERT_EQ(result.applied.size() + result.skipped.size(), rows.size());
        // The first row in grid order that is on a boundary always applies.
        if (!rows.empty() && GbkCodec::isCharacterBoundary(text, rows[0].start - 1) &&
            GbkCodec::isCharacterBoundary(text, rows[0].start - 1 + rows[0].wrong.size())) {
            ASSERT_EQ(result.applied.front(), 0u);
        }
    }
}

}  // namespace
