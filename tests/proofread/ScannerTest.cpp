#include <gtest/gtest.h>

#include <random>

#include "documents/GbkCodec.h"
#include "proofread/HitPosition.h"
#include "proofread/Scanner.h"

namespace {

EntryLine line(const char* wrong, const char* right = "X", const char* exceptions = "") {
    return {gbk(QString::fromUtf8(wrong)), gbk(QString::fromUtf8(right)),
            gbk(QString::fromUtf8(exceptions))};
}

// Start positions (1-based) of the hits of one entry in a UTF-8 written text.
std::vector<qsizetype> starts(const EntryLine& entry, const char* text) {
    std::vector<qsizetype> out;
    for (const Hit& hit : Scanner({entry}).scan(gbk(QString::fromUtf8(text)))) {
        EXPECT_EQ(hit.entry, 0);
        EXPECT_EQ(hit.length, entry.wrong.size());
        out.push_back(hit.start);
    }
    return out;
}

using Starts = std::vector<qsizetype>;

TEST(Scanner, OccurrencesAscendAndNeverOverlap) {
    EXPECT_EQ(starts(line("按装"), "按装甲按装乙按装"), (Starts{1, 7, 13}));
    EXPECT_EQ(starts(line("AA"), "AAAA"), (Starts{1, 3}));
    EXPECT_EQ(starts(line("AA"), "AAA"), (Starts{1}));
    EXPECT_EQ(starts(line("按装"), "按装"), (Starts{1}));  // HitPosition 1;4
    EXPECT_EQ(starts(line("abc"), "ABC abc Abc"), (Starts{5}));
    EXPECT_TRUE(starts(line("按装"), "").empty());
}

TEST(Scanner, ExceptionPhrasesExcuseOnlyTheOccurrenceTheyCover) {
    const EntryLine de = line("的的", "的", "的的确确");
    // Excused first, then an unexcused one; and the other way round.
    EXPECT_EQ(starts(de, "他的的确确来了，我的的书"), (Starts{19}));
    EXPECT_EQ(starts(de, "我的的书，他的的确确来了"), (Starts{3}));
    // The phrase elsewhere in the document does not excuse this occurrence.
    EXPECT_EQ(starts(line("的的", "的", "的的确确"), "的的确确。的的"), (Starts{11}));
    // An empty exception text reports everything; empty phrases never excuse.
    EXPECT_EQ(starts(line("的的"), "的的确确"), (Starts{1}));
    EXPECT_EQ(starts(line("的的", "的", ";;"), "的的确确"), (Starts{1}));
    EXPECT_TRUE(starts(line("的的", "的", ";的的确确;"), "的的确确").empty());
    // Several phrases: any one of them excuses.
    EXPECT_TRUE(starts(line("份子", "分子", "凑份子;份子钱"), "凑份子").empty());
    EXPECT_TRUE(starts(line("份子", "分子", "凑份子;份子钱"), "份子钱").empty());
    EXPECT_EQ(starts(line("份子", "分子", "凑份子;份子钱"), "知识份子"), (Starts{5}));
}

TEST(Scanner, ExceptionWindowIsClippedToTheDocument) {
    // The phrase starts before the occurrence and the document starts there too.
    EXPECT_TRUE(starts(line("标识", "标志", "标识符"), "标识符").empty());
    EXPECT_TRUE(starts(line("规戒", "规劝", "清规戒律"), "清规戒律").empty());
    // At the very end, with the window running past the last byte.
    EXPECT_TRUE(starts(line("就坐", "就座", "就坐在"), "他就坐在").empty());
    EXPECT_EQ(starts(line("就坐", "就座", "就坐在"), "他就坐"), (Starts{3}));
    // A phrase shorter than the wrong form uses the same window rule.
    EXPECT_TRUE(starts(line("abcd", "x", "bc"), "abcd").empty());
    EXPECT_TRUE(starts(line("abcd", "x", "zz"), "zzabcd").empty());
    EXPECT_EQ(starts(line("abcd", "x", "zz"), "zz-abcd"), (Starts{4}));
}

TEST(Scanner, OnlyCharacterBoundariesCount) {
    // 啊 is B0A1, 璋 is E8B0 and 贰 is B7A1: "璋贰" holds B0 B7 across two characters,
    // and "啊" (B0A1) does not start on a character boundary inside "璋啊".
    const QByteArray across = gbk(QStringLiteral("璋")) + gbk(QStringLiteral("啊"));
    ASSERT_EQ(across.mid(1, 2), QByteArray("\xB0\xB0", 2));
    const EntryLine ah = line("啊");
    const std::vector<Hit> hits = Scanner({ah}).scan(across);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].start, 3);

    // A one-byte form inside a character's second byte: "@" is 0x40, a valid trail.
    const QByteArray withTrail = QByteArray("\x81\x40@", 3);
    const std::vector<Hit> at = Scanner({{"@", "a", ""}}).scan(withTrail);
    ASSERT_EQ(at.size(), 1u);
    EXPECT_EQ(at[0].start, 3);

    // After a candidate inside a character the search goes on from the next byte.
    const QByteArray overlap = QByteArray("\x81\x41\x41", 3);  // 81 41 is one character
    const std::vector<Hit> aa = Scanner({{"AA", "b", ""}}).scan(overlap);
    EXPECT_TRUE(aa.empty());
    const std::vector<Hit> a = Scanner({{"A", "b", ""}}).scan(overlap);
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].start, 3);
}

TEST(Scanner, RowsComeInEntryOrderAndEmptyFormsAreSkipped) {
    const Scanner scanner({line("乙"), line(""), line("甲"), line("乙")});
    const std::vector<Hit> hits = scanner.scan(gbk(QStringLiteral("甲乙甲乙")));
    const std::vector<Hit> expected = {{0, 3, 2}, {0, 7, 2}, {2, 1, 2},
                                       {2, 5, 2}, {3, 3, 2}, {3, 7, 2}};
    EXPECT_EQ(hits, expected);
}

TEST(Scanner, ObserverSeesOccurrencesEntriesAndCanStop) {
    struct Recorder : ScanObserver {
        std::vector<qsizetype> occurrences, entries;
        qsizetype stopAfterEntries = 100;
        void occurrenceFound(qsizetype start, qsizetype) override { occurrences.push_back(start); }
        void entryDone(qsizetype done) override { entries.push_back(done); }
        bool stopRequested() override {
            return static_cast<qsizetype>(entries.size()) >= stopAfterEntries;
        }
    } recorder;
    const Scanner scanner({line("的的", "的", "的的确确"), line("确"), line("来")});
    const QByteArray text = gbk(QStringLiteral("的的确确来"));
    EXPECT_EQ(scanner.scan(text, &recorder).size(), 3u);
    EXPECT_EQ(recorder.occurrences, (Starts{1, 5, 7, 9}));  // excused ones too
    EXPECT_EQ(recorder.entries, (Starts{1, 2, 3}));

    Recorder stopping;
    stopping.stopAfterEntries = 1;
    EXPECT_TRUE(scanner.scan(text, &stopping).empty());
    EXPECT_EQ(stopping.entries, (Starts{1}));
}

// The rules written out as plainly as possible, to compare with on random input.
std::vector<Hit> reference(const QByteArray& doc, const std::vector<EntryLine>& entries) {
    std::vector<Hit> hits;
    for (size_t k = 0; k < entries.size(); ++k) {
        const QByteArray& wrong = entries[k].wrong;
        if (wrong.isEmpty()) continue;
        qsizetype p = 0;
        while (p + wrong.size() <= doc.size()) {
            if (doc.mid(p, wrong.size()) != wrong || !GbkCodec::isCharacterBoundary(doc, p)) {
                ++p;
                continue;
            }
            bool excused = false;
            for (const QByteArray& phrase : entries[k].exceptions.split(';')) {
                if (phrase.isEmpty()) continue;
                const qsizetype d = std::abs(phrase.size() - wrong.size());
                const qsizetype from = std::max<qsizetype>(0, p - d);
                const qsizetype to = std::min(doc.size(), p + wrong.size() + d);
                if (doc.mid(from, to - from).contains(phrase)) excused = true;
            }
            if (!excused) hits.push_back({static_cast<qsizetype>(k), p + 1, wrong.size()});
            p += wrong.size();
        }
    }
    return hits;
}

TEST(Scanner, AgreesWithAPlainReadingOfTheRulesOnRandomText) {
    std::mt19937 random(20261208);
    // Few symbols, so that forms, phrases and stray bytes collide often.
    const QByteArray pieces[] = {gbk(QStringLiteral("的")),
                                 gbk(QStringLiteral("确")),
                                 gbk(QStringLiteral("啊")),
                                 "A",
                                 "\xB0",
                                 "\xA1",
                                 ";"};
    auto randomText = [&](int maxPieces) {
        QByteArray text;
        const int n = std::uniform_int_distribution<int>(0, maxPieces)(random);
        for (int i = 0; i < n; ++i) text += pieces[random() % std::size(pieces)];
        return text;
    };
    for (int round = 0; round < 400; ++round) {
        std::vector<EntryLine> entries;
        for (int e = 0; e < 4; ++e) {
            QByteArray exceptions = randomText(3);
            if (random() % 2) exceptions += ';' + randomText(4);
            entries.push_back({randomText(2), "r", exceptions});
        }
        const QByteArray doc = randomText(30);
        ASSERT_EQ(Scanner(entries).scan(doc), reference(doc, entries))
            << "document " << doc.toHex().constData();
    }
}

TEST(HitPosition, WritesAndReadsStartSemicolonEnd) {
    EXPECT_EQ((HitPosition{15, 18}.text()), QStringLiteral("15;18"));
    EXPECT_EQ(HitPosition::parse(QStringLiteral("15;18")), (HitPosition{15, 18}));
    EXPECT_EQ(HitPosition::parse(QStringLiteral("1;1")), (HitPosition{1, 1}));
    for (const char* bad : {"", ";", "15", "15;", ";18", "0;3", "5;4", "a;b", "-1;2", "1;2;3"})
        EXPECT_FALSE(HitPosition::parse(QString::fromLatin1(bad)).has_value()) << bad;
}

}  // namespace
