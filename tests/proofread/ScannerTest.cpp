#include <gtest/gtest.h>

#include <random>

#include "proofread/DocumentScan.h"
#include "proofread/ExceptionPhrase.h"
#include "proofread/HitPosition.h"
#include "proofread/PerEntrySearch.h"
#include "proofread/Scanner.h"
#include "text/GbkCodec.h"
#include "text/TextCodec.h"

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

    // A form ending in a lone lead byte matches no first half of a character;
    // where nothing pairs with that byte it is a character of its own.
    const EntryLine half{QByteArray("\xB0", 1), "X", ""};
    EXPECT_TRUE(Scanner({half}).scan(gbk(QStringLiteral("啊啊"))).empty());
    const std::vector<Hit> alone = Scanner({half}).scan(QByteArray("a\xB0 \xB0", 4));
    ASSERT_EQ(alone.size(), 2u);
    EXPECT_EQ(alone[1].start, 4);
}

TEST(Scanner, RowsComeInEntryOrderAndEmptyFormsAreSkipped) {
    const Scanner scanner({line("乙"), line(""), line("甲"), line("乙")});
    const std::vector<Hit> hits = scanner.scan(gbk(QStringLiteral("甲乙甲乙")));
    const std::vector<Hit> expected = {{0, 3, 2}, {0, 7, 2}, {2, 1, 2},
                                       {2, 5, 2}, {3, 3, 2}, {3, 7, 2}};
    EXPECT_EQ(hits, expected);
}

TEST(Scanner, ObserverSeesProgressInBytesAndCanStop) {
    struct Recorder : ScanObserver {
        std::vector<qsizetype> bytes, occurrences;
        size_t stopAfterSteps = 100;
        void bytesDone(qsizetype done) override { bytes.push_back(done); }
        bool stopRequested() override { return bytes.size() >= stopAfterSteps; }
        void occurrenceFound(qsizetype start, qsizetype) override { occurrences.push_back(start); }
    };
    // The last occurrence in entry order is excused and lies before the others.
    const Scanner scanner({line("确"), line("来"), line("的的", "的", "的的确确")});
    const qsizetype step = Scanner::kProgressStep;
    QByteArray text = gbk(QStringLiteral("的的确确来"));
    text += QByteArray(step, 'x') + gbk(QStringLiteral("来"));

    Recorder whole;
    const std::vector<Hit> hits = scanner.scan(text, &whole);
    EXPECT_EQ(hits, (std::vector<Hit>{{0, 5, 2}, {0, 7, 2}, {1, 9, 2}, {1, 11 + step, 2}}));
    EXPECT_EQ(whole.bytes, (Starts{step, text.size()}));
    EXPECT_EQ(whole.occurrences, (Starts{1}));

    Recorder stopping;
    stopping.stopAfterSteps = 1;
    EXPECT_EQ(scanner.scan(text, &stopping).size(), 3u);  // the part before the stop
    EXPECT_EQ(stopping.bytes, (Starts{step}));
    EXPECT_TRUE(stopping.occurrences.empty());

    Recorder empty;
    EXPECT_TRUE(scanner.scan(QByteArray(), &empty).empty());
    EXPECT_EQ(empty.bytes, (Starts{0}));
    EXPECT_TRUE(empty.occurrences.empty());
}

// The rules written out as plainly as possible, to check the per-entry search with.
std::vector<Hit> reference(const QByteArray& doc, const std::vector<EntryLine>& entries) {
    std::vector<Hit> hits;
    for (size_t k = 0; k < entries.size(); ++k) {
        const QByteArray& wrong = entries[k].wrong;
        if (wrong.isEmpty()) continue;
        qsizetype p = 0;
        while (p + wrong.size() <= doc.size()) {
            if (doc.mid(p, wrong.size()) != wrong || !GbkCodec::isCharacterBoundary(doc, p) ||
                !GbkCodec::isCharacterBoundary(doc, p + wrong.size())) {
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

// Random GBK-like text: few symbols, so that forms, phrases and stray bytes
// collide often, and runs of lead-range bytes that cross the engine's blocks.
class RandomText {
  public:
    explicit RandomText(unsigned seed) : random(seed) {}

    QByteArray text(int maxPieces) {
        QByteArray out;
        const int n = std::uniform_int_distribution<int>(0, maxPieces)(random);
        for (int i = 0; i < n; ++i) {
            if (random() % 40 == 0)
                out += QByteArray(static_cast<qsizetype>(random() % 140), '\xB0');
            else
                out += pieces[random() % std::size(pieces)];
        }
        return out;
    }

    // A library with overlapping, one-byte, Latin, long, empty and repeated
    // forms, and phrases longer and shorter than the form.
    std::vector<EntryLine> library(int size) {
        std::vector<EntryLine> entries;
        for (int e = 0; e < size; ++e) {
            QByteArray wrong;
            switch (random() % 6) {
                case 0:
                    wrong = pieces[random() % std::size(pieces)];
                    break;
                case 1:
                    wrong = text(2).left(1);
                    break;
                case 2:
                    wrong = text(12);
                    break;  // past eight bytes too
                case 3:
                    if (!entries.empty()) wrong = entries[random() % entries.size()].wrong;
                    break;
                default:
                    wrong = text(3);
            }
            QByteArray exceptions;
            const int phrases = static_cast<int>(random() % 4);
            for (int i = 0; i < phrases; ++i) {
                if (i > 0) exceptions += ';';
                exceptions += random() % 2 ? text(2) + wrong + text(2) : text(2);
            }
            entries.push_back({wrong, "r", exceptions});
        }
        return entries;
    }

  private:
    std::mt19937 random;
    const QByteArray pieces[10] = {gbk(QStringLiteral("的")),
                                   gbk(QStringLiteral("确")),
                                   gbk(QStringLiteral("啊")),
                                   gbk(QStringLiteral("璋")),
                                   "A",
                                   "AB",
                                   "\xB0",
                                   "\x80",
                                   "\xFF",
                                   ";"};
};

TEST(Scanner, PerEntrySearchFollowsThePlainReadingOfTheRules) {
    RandomText random(20261208);
    for (int round = 0; round < 400; ++round) {
        const std::vector<EntryLine> entries = random.library(4);
        const QByteArray doc = random.text(30);
        ASSERT_EQ(PerEntrySearch(entries).scan(doc), reference(doc, entries))
            << "document " << doc.toHex().constData();
    }
}

const Scanner::Filter kFilters[] = {Scanner::Filter::Fastest, Scanner::Filter::Portable};

TEST(Scanner, AgreesWithThePerEntrySearchOnRandomText) {
    for (Scanner::Filter filter : kFilters) {
        RandomText random(77);
        for (int round = 0; round < 300; ++round) {
            const std::vector<EntryLine> entries = random.library(1 + round % 40);
            const PerEntrySearch plain(entries);
            const Scanner scanner(entries, filter);
            // One scanner for several documents: nothing of one may leak into the next.
            for (int d = 0; d < 6; ++d) {
                const QByteArray doc = random.text(d % 2 ? 400 : 40);
                ASSERT_EQ(scanner.scan(doc), plain.scan(doc))
                    << scanner.filterName() << " round " << round << " document "
                    << doc.toHex().constData();
            }
        }
    }
}

TEST(Scanner, AgreesWithThePerEntrySearchOnALargeLibrary) {
    // Thousands of words over a small set of characters: the filter tables
    // are large and full, and many words share their first characters. A
    // few thousand forms of four bytes or more share filter words between
    // neighbouring positions; more have words of their own, and there the
    // longer words' first two characters are seldom words themselves.
    struct Row {
        int size, leads;
    };
    for (const Row& row : {Row{2000, 3}, Row{12000, 12}}) {
        std::mt19937 random(4242);
        auto character = [&] {
            const int lead = 0xB0 + static_cast<int>(random() % static_cast<unsigned>(row.leads));
            const int trail = 0xA1 + static_cast<int>(random() % 12);
            const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            return QByteArray(pair, 2);
        };
        std::vector<EntryLine> entries;
        for (int i = 0; i < row.size; ++i) {
            QByteArray wrong;
            const int characters = random() % 40 == 0 ? 1 : 2 + static_cast<int>(random() % 3);
            for (int c = 0; c < characters; ++c) wrong += character();
            if (random() % 7 == 0) wrong += 'a';  // an odd length
            QByteArray exceptions;
            if (random() % 4 == 0) exceptions = character() + wrong;
            entries.push_back({wrong, "r", exceptions});
        }
        QByteArray doc;
        while (doc.size() < 20000 * row.leads / 3) {
            doc += random() % 3 == 0 ? entries[random() % entries.size()].wrong : character();
            if (random() % 50 == 0) doc += "\n";
        }
        const std::vector<Hit> expected = PerEntrySearch(entries).scan(doc);
        ASSERT_GT(expected.size(), 5000u);
        for (Scanner::Filter filter : kFilters) {
            const Scanner scanner(entries, filter);
            EXPECT_EQ(scanner.scan(doc), expected) << scanner.filterName() << " " << row.size;
        }
    }
}

TEST(Scanner, AgreesAcrossBlocksAndProgressSteps) {
    // A run of lead-range bytes decides where the characters after it start;
    // runs of many lengths, at every offset around the first block edge.
    const std::vector<EntryLine> entries = {{"\xB0", "r", ""},
                                            {"\xB0\xB0", "r", ""},
                                            {"A", "r", ""},
                                            {"\xB0"
                                             "A",
                                             "r", ""}};
    const PerEntrySearch plain(entries);
    for (Scanner::Filter filter : kFilters) {
        const Scanner scanner(entries, filter);
        for (int offset = 0; offset < 70; ++offset)
            for (int run = 0; run < 140; run += (run < 70 ? 1 : 7)) {
                const QByteArray doc = QByteArray(offset, 'x') + QByteArray(run, '\xB0') + "AA\xB0";
                ASSERT_EQ(scanner.scan(doc), plain.scan(doc))
                    << scanner.filterName() << " " << offset << " " << run;
            }
    }

    // Every byte after each kind of byte, with every byte a form: each
    // character start is a hit.
    std::vector<EntryLine> bytes;
    for (int b = 1; b < 256; ++b) bytes.push_back({QByteArray(1, static_cast<char>(b)), "r", ""});
    QByteArray all;
    for (const char first : {'A', '\x80', '\x81', '\xB0', '\xFE', '\xFF'})
        for (int b = 1; b < 256; ++b) all += QByteArray(1, first) + static_cast<char>(b) + 'A';
    const std::vector<Hit> everyStart = PerEntrySearch(bytes).scan(all);
    for (Scanner::Filter filter : kFilters)
        EXPECT_EQ(Scanner(bytes, filter).scan(all), everyStart)
            << Scanner(bytes, filter).filterName();

    // A document of several progress steps, scanned with an observer.
    RandomText random(5);
    const std::vector<EntryLine> library = random.library(60);
    QByteArray big;
    while (big.size() < 3 * Scanner::kProgressStep) big += random.text(400);
    ScanObserver observer;
    const std::vector<Hit> expected = PerEntrySearch(library).scan(big);
    for (Scanner::Filter filter : kFilters)
        EXPECT_EQ(Scanner(library, filter).scan(big, &observer), expected);
}

TEST(Scanner, EveryEncodingGivesTheHitsOfTheSameTextInGbk) {
    // Exception windows count as GBK does: 的 two bytes, so "y的abcd" is
    // excused by "y" as in GBK (UTF-8 counts three); 😀, which GBK cannot
    // hold, counts two, as "##" stands in for it in the GBK text.
    const QString text =
        QStringLiteral("他的的确确来了，我的的书。\r\ny的abcd，y😀abcd；按装😀凑份子\n知识份子");
    const std::vector<EntryLine> entries = {line("的的", "的", "的的确确"), line("abcd", "x", "y"),
                                            line("按装", "安装"), line("份子", "分子", "凑份子")};
    const Scanner scanner(entries);
    QString inGbk = text;
    inGbk.replace(QStringLiteral("😀"), QStringLiteral("##"));
    const QByteArray gbkBytes = gbk(inGbk);
    const std::vector<Hit> expected = scanner.scan(gbkBytes);
    ASSERT_EQ(expected.size(), 3u);
    struct Row {
        TextEncoding encoding;
        const char* byteOrderMark;
    };
    for (const Row& row :
         {Row{TextEncoding::Utf8, ""}, Row{TextEncoding::Utf8, "\xEF\xBB\xBF"},
          Row{TextEncoding::Utf16Le, "\xFF\xFE"}, Row{TextEncoding::Utf16Be, "\xFE\xFF"},
          Row{TextEncoding::Gb18030, ""}}) {
        const QByteArray mark(row.byteOrderMark);
        const QByteArray bytes =
            mark + TextCodec::encode(text, row.encoding, TextCodec::LineEnding::None, nullptr);
        const std::vector<Hit> hits = scanDocument(scanner, bytes, row.encoding);
        ASSERT_EQ(hits.size(), expected.size()) << encodingName(row.encoding).toStdString();
        for (size_t i = 0; i < hits.size(); ++i) {
            SCOPED_TRACE(encodingName(row.encoding).toStdString() + " " +
                         mark.toHex().toStdString() + " hit " + std::to_string(i));
            EXPECT_EQ(hits[i].entry, expected[i].entry);
            // The hit's bytes are the form in the file's encoding, at the place
            // the GBK text has it (in characters, the mark not counted).
            const QByteArray wrong =
                TextCodec::recodeGbk(entries[size_t(hits[i].entry)].wrong, row.encoding);
            EXPECT_EQ(bytes.mid(hits[i].start - 1, hits[i].length), wrong);
            const QString before =
                TextCodec::decode(bytes.mid(mark.size(), hits[i].start - 1 - mark.size()),
                                  row.encoding, TextCodec::LineEnding::None);
            EXPECT_EQ(before.size(), fromGbk(gbkBytes.left(expected[i].start - 1)).size());
        }
    }
}

// The phrase proposed for a hit: up to the nearest punctuation or line break,
// at most four characters a side, at least one (a punctuation mark) where the
// line has one; in the document's own encoding.
TEST(ExceptionPhrase, TheProposalReachesToPunctuationOrALineBreak) {
    struct Row {
        const char* text;
        const char* marked;
        TextEncoding encoding = TextEncoding::Gbk;
    };
    for (const Row& row :
         {Row{"按装好了，谢谢", "【按装】好了"}, Row{"都已经按装", "都已经【按装】"},
          Row{"好，按装。", "，【按装】。"}, Row{"甲乙\n按装好;丙", "【按装】好"},
          Row{"一二三四五按装六七八九十", "二三四五【按装】六七八九"},
          Row{"好，按装。", "，【按装】。", TextEncoding::Utf8}}) {
        SCOPED_TRACE(row.marked);
        const QString text = QString::fromUtf8(row.text);
        const QByteArray bytes =
            TextCodec::encode(text, row.encoding, TextCodec::LineEnding::Lf, nullptr);
        const QByteArray wrong = TextCodec::recodeGbk(gbk(QStringLiteral("按装")), row.encoding);
        const auto span =
            PhraseSpan::around(bytes, row.encoding, bytes.indexOf(wrong) + 1, wrong.size());
        ASSERT_TRUE(span);
        EXPECT_EQ(span->marked(), QString::fromUtf8(row.marked));
        EXPECT_EQ(span->phrase(), QString(span->marked()).remove(u'【').remove(u'】'));
    }
    EXPECT_FALSE(PhraseSpan::around(gbk(QStringLiteral("按装")), TextEncoding::Gbk, 2, 4));

    // Checked as 保  存 checks an entry's exceptions.
    QByteArray phrase;
    EXPECT_EQ(phraseProblem(gbk(QStringLiteral("按装")), QStringLiteral("按装好"), &phrase),
              QString());
    EXPECT_EQ(phrase, gbk(QStringLiteral("按装好")));
    EXPECT_EQ(phraseProblem(gbk(QStringLiteral("按装")), QStringLiteral("安装好"), &phrase),
              QStringLiteral("例外情况未包含错误字段（逻辑错误）！"));
    EXPECT_EQ(phraseProblem(gbk(QStringLiteral("按装")), QStringLiteral("按装😀"), &phrase),
              QStringLiteral("含有不能以GBK保存的字符：😀"));
}

TEST(HitPosition, WritesAndReadsStartSemicolonEnd) {
    EXPECT_EQ((HitPosition{15, 18}.text()), QStringLiteral("15;18"));
    EXPECT_EQ(HitPosition::parse(QStringLiteral("15;18")), (HitPosition{15, 18}));
    EXPECT_EQ(HitPosition::parse(QStringLiteral("1;1")), (HitPosition{1, 1}));
    for (const char* bad : {"", ";", "15", "15;", ";18", "0;3", "5;4", "a;b", "-1;2", "1;2;3"})
        EXPECT_FALSE(HitPosition::parse(QString::fromLatin1(bad)).has_value()) << bad;
}

}  // namespace
