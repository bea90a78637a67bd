#include <gtest/gtest.h>

#include "online/ServerProtocol.h"
#include "text/GbkCodec.h"

using P = ServerProtocol;
using Kind = P::UpdateKind;

TEST(UpdateAnswer, ClassifiedByExactPrefixesInOrder) {
    struct Case {
        QByteArray body;
        Kind kind;
    };
    const Case cases[] = {
        {"error!", Kind::Refused},
        {"error!start:a;b;c;d;e;f", Kind::Refused},
        {"error", Kind::Malformed},
        {"Error!", Kind::Malformed},
        {"none", Kind::Nothing},
        {"nonesuch", Kind::Nothing},
        {"none\r\n", Kind::Nothing},
        {"non", Kind::Malformed},
        {"start:", Kind::Records},
        {"start:a;b;c;d;e;f", Kind::Records},
        {"Start:a;b;c;d;e;f", Kind::Malformed},
        {"start", Kind::Malformed},
        {" start:a;b;c;d;e;f", Kind::Malformed},
        {"ok!", Kind::Malformed},
        {"", Kind::Malformed},
    };
    for (const Case& c : cases)
        EXPECT_EQ(P::classifyUpdateAnswer(c.body).kind, c.kind) << c.body.toStdString();
    EXPECT_TRUE(P::classifyUpdateAnswer("error!a;b;c;d;e;f").records.isEmpty());
    EXPECT_TRUE(P::classifyUpdateAnswer("nonea;b;c;d;e;f").records.isEmpty());
}

TEST(UpdateAnswer, RecordsSplitAtBreaksAndFieldsAtSemicolonsKeepingEmptyOnes) {
    const QByteArray body = "start:" + gbk("基本;通用;在坐;在座;;2010年10月1日") + "<br>" +
                            gbk("高级;法律;帐号;账号;帐号;2011-01-02 03:04:05");
    const P::UpdateAnswer a = P::classifyUpdateAnswer(body);
    ASSERT_EQ(a.kind, Kind::Records);
    ASSERT_EQ(a.records.size(), 2);
    const QByteArrayList expectedFirst = {gbk("基本"), gbk("通用"), gbk("在坐"),
                                          gbk("在座"), "",          gbk("2010年10月1日")};
    EXPECT_EQ(a.records[0], expectedFirst);
    EXPECT_EQ(a.records[1].size(), 6);
    EXPECT_EQ(a.records[1][4], gbk("帐号"));
}

TEST(UpdateAnswer, EmptyListAndClosingBreakGiveNoRecordButInnerGapsStay) {
    EXPECT_TRUE(P::classifyUpdateAnswer("start:").records.isEmpty());
    EXPECT_EQ(P::classifyUpdateAnswer("start:a;b;c;d;e;f<br>").records.size(), 1);
    // An empty record in the middle is a record, and a malformed one.
    const auto gap = P::classifyUpdateAnswer("start:a;b;c;d;e;f<br><br>g;h;i;j;k;l").records;
    ASSERT_EQ(gap.size(), 3);
    EXPECT_EQ(gap[1], QByteArrayList{""});
    // "<br" without ">" does not split.
    EXPECT_EQ(P::classifyUpdateAnswer("start:a;b;c;d;e;f<brg;h;i;j;k;l").records.size(), 1);
}

TEST(UpdateRecord, SixFieldsMakeAnEntryFiveDoNot) {
    const auto six = P::entryFromRecord({gbk("基本"), gbk("通用"), "a", "b", "", "2010-10-01"});
    ASSERT_TRUE(six.has_value());
    EXPECT_EQ(six->tgrade, gbk("基本"));
    EXPECT_EQ(six->tclass, gbk("通用"));
    EXPECT_EQ(six->terror, "a");
    EXPECT_EQ(six->tright, "b");
    EXPECT_TRUE(six->tbut.isNull());  // stored without a value
    EXPECT_EQ(six->tdate, QDateTime(QDate(2010, 10, 1), QTime(0, 0)));
    EXPECT_EQ(six->tid, 0);

    EXPECT_FALSE(P::entryFromRecord({gbk("基本"), gbk("通用"), "a", "b", "2010-10-01"}));
    EXPECT_FALSE(P::entryFromRecord({""}));

    // Two exception phrases: the second is read as the date, which it is not.
    const auto seven = P::entryFromRecord({"g", "c", "a", "b", "ab1", "ab2", "2010-10-01"});
    ASSERT_TRUE(seven.has_value());
    EXPECT_EQ(seven->tbut, "ab1");
    EXPECT_TRUE(seven->tdate.isNull());
}

TEST(UpdateRecord, ServerFormatReadsBackAsTheSameEntries) {
    WordEntry withDate{0,
                       gbk("专业"),
                       gbk("医学"),
                       gbk("粘膜"),
                       gbk("黏膜"),
                       gbk("粘膜炎"),
                       QDateTime(QDate(2024, 2, 29), QTime(0, 0))};
    WordEntry noDate{0, gbk("基本"), gbk("通用"), "x'y", "z", {}, {}};
    const QByteArray body =
        P::formatUpdateAnswer({P::recordFromEntry(withDate), P::recordFromEntry(noDate)});
    const P::UpdateAnswer a = P::classifyUpdateAnswer(body);
    ASSERT_EQ(a.kind, Kind::Records);
    ASSERT_EQ(a.records.size(), 2);
    EXPECT_EQ(P::entryFromRecord(a.records[0]), withDate);
    EXPECT_EQ(P::entryFromRecord(a.records[1]), noDate);
}

TEST(QueryEncoding, EveryByteButTheUnreservedIsEscaped) {
    struct Case {
        QByteArray value;
        QByteArray encoded;
    };
    const Case cases[] = {
        {"AZaz09-._~", "AZaz09-._~"},
        {"a&b=c#d%e f+g", "a%26b%3Dc%23d%25e%20f%2Bg"},
        {"/?;:@[]!'()*,$", "%2F%3F%3B%3A%40%5B%5D%21%27%28%29%2A%2C%24"},
        {gbk("基本"), "%BB%F9%B1%BE"},
        {"\r\n", "%0D%0A"},
        {QByteArray("\0\x7f\x80\xff", 4), "%00%7F%80%FF"},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(P::percentEncode(c.value), c.encoded);
        EXPECT_EQ(P::percentDecode(c.encoded), c.value);
    }
    QByteArray all;
    for (int b = 0; b < 256; ++b) all.append(char(b));
    EXPECT_EQ(P::percentDecode(P::percentEncode(all)), all);
    // What is no escape stays as it is; lower-case hex is read too.
    EXPECT_EQ(P::percentDecode("%"), "%");
    EXPECT_EQ(P::percentDecode("a%4"), "a%4");
    EXPECT_EQ(P::percentDecode("%zz%bb%F9"), "%zz\xbb\xf9");
}

TEST(QueryEncoding, ValuesCannotForgeKeys) {
    const QByteArray request =
        P::request("/p", {{"a", "1&b=2"}, {"c", "#"}, {"d", ""}, {"e", gbk("在座")}});
    EXPECT_EQ(request, "/p?a=1%26b%3D2&c=%23&d=&e=%D4%DA%D7%F9");
    const P::Query parsed = P::parseQuery(request.mid(request.indexOf('?') + 1));
    const P::Query expected = {{"a", "1&b=2"}, {"c", "#"}, {"d", ""}, {"e", gbk("在座")}};
    EXPECT_EQ(parsed, expected);
    EXPECT_EQ(P::parseQuery("k&v=a=b"), (P::Query{{"k", ""}, {"v", "a=b"}}));
    EXPECT_TRUE(P::parseQuery("").empty());
    EXPECT_EQ(P::request("/index.asp", {}), "/index.asp");
}

TEST(DateText, YearMonthDayWithoutLeadingZeros) {
    EXPECT_EQ(P::formatDateText(QDateTime(QDate(2010, 10, 1), QTime(23, 59))),
              gbk("2010年10月1日"));
    EXPECT_EQ(P::formatDateText(QDateTime(QDate(2026, 3, 14), QTime())), gbk("2026年3月14日"));
    EXPECT_EQ(P::formatDateText(QDateTime()), gbk("1899年12月30日"));
}

TEST(DateText, ReadsThreeWrittenFormsWithOptionalTime) {
    const QDateTime day(QDate(2010, 10, 1), QTime(0, 0));
    const QDateTime timed(QDate(2010, 10, 1), QTime(8, 9, 10));
    struct Case {
        QByteArray text;
        QDateTime expected;
    };
    const Case cases[] = {
        {gbk("2010年10月1日"), day},
        {gbk("2010年10月01日"), day},
        {"2010-10-01", day},
        {"2010/10/01", day},
        {"2010/10/1", day},
        {gbk("2010年10月1日 08:09:10"), timed},
        {"2010-10-01 08:09:10", timed},
        {"2010/10/01 8:09:10", timed},
        {" 2010-10-01\r\n", day},
        {gbk("1899年12月30日"), QDateTime(QDate(1899, 12, 30), QTime(0, 0))},
        // No date: stored without one.
        {"", {}},
        {"yesterday", {}},
        {gbk("2010年13月1日"), {}},
        {"2010-02-30", {}},
        {"2010-10-01 25:00:00", {}},
        {"2010-10-01 08:09", {}},
        {"2010-10-01T08:09:10", {}},
        {"10/01/2010", {}},
        {"2010.10.01", {}},
        {"2010年10月1日", {}},  // UTF-8, not GBK
    };
    for (const Case& c : cases)
        EXPECT_EQ(P::parseDateText(c.text), c.expected) << fromGbk(c.text).toStdString();
}
