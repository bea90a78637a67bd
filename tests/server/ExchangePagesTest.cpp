#include <QDateTime>

#include <atomic>

#include "online/ServerClient.h"
#include "server/ExchangeFixture.h"
#include "support/FakePlatform.h"
#include "text/GbkCodec.h"

using P = ServerProtocol;

namespace {

const QByteArray kGrade = gbk("基本");
const QByteArray kClass = gbk("通用");

P::Query submission(const QByteArray& usid, const QByteArray& wrong, const QByteArray& right,
                    const QByteArray& exceptions = "") {
    return {{"usnm", gbk("张三")}, {"usid", usid},       {"jb", kGrade},         {"lb", kClass},
            {"errword", wrong},    {"rightword", right}, {"butword", exceptions}};
}

WordEntry entry(const QByteArray& wrong, const QByteArray& right, const QByteArray& exceptions) {
    WordEntry e;
    e.tgrade = kGrade;
    e.tclass = kClass;
    e.terror = wrong;
    e.tright = right;
    e.tbut = exceptions;
    return e;
}

}  // namespace

using Pages = ExchangeFixture;

TEST_F(Pages, EveryAnswerIsGbkHtmlAndOtherPathsAre404) {
    const Reply index = get("/index.asp");
    EXPECT_EQ(index.status, 200);
    EXPECT_TRUE(index.body.contains("Halvorn"));
    EXPECT_EQ(index.contentType, "text/html; charset=GBK");

    for (const QByteArray target : {"/", "/index.asp/", "/INDEX.ASP", "/gxjdch.aspx?usid=1"}) {
        const Reply other = get(target);
        EXPECT_EQ(other.status, 404) << target.toStdString();
        EXPECT_EQ(other.contentType, "text/html; charset=GBK");
    }
    const Reply refused = get("/gxjdch.asp");
    EXPECT_EQ(refused.body, "error!");
    EXPECT_EQ(refused.contentType, "text/html; charset=GBK");
}

TEST_F(Pages, SubmissionIsStoredPendingWithItsSubmitterAndTime) {
    EXPECT_EQ(body("/tjyhxx.asp", {{"usnm", gbk("张三")}, {"usid", "-7"}, {"usemail", "z@a.cn"}}),
              "ok!");
    EXPECT_EQ(body("/tjjdch.asp", submission("-7", gbk("在坐"), gbk("在座"), gbk("在坐下;坐在"))),
              "ok!");
    // Without a name, and the user record updated in between.
    EXPECT_EQ(body("/tjyhxx.asp", {{"usnm", gbk("李四")}, {"usid", "-7"}, {"usemail", "l@a.cn"}}),
              "ok!");
    EXPECT_EQ(body("/tjjdch.asp", {{"usid", "-7"}, {"errword", "a"}, {"rightword", "b"}}), "ok!");

    const std::vector<Submission> pending = store_.pending();
    ASSERT_EQ(pending.size(), 2u);
    EXPECT_EQ(pending[0].usid, "-7");
    EXPECT_EQ(pending[0].usnm, gbk("张三"));
    EXPECT_EQ(pending[0].usemail, "l@a.cn");
    EXPECT_EQ(pending[0].received, clock_);
    EXPECT_EQ(pending[0].entry, entry(gbk("在坐"), gbk("在座"), gbk("在坐下;坐在")));
    EXPECT_TRUE(pending[1].usnm.isNull());
    EXPECT_EQ(pending[1].entry.tgrade, "");
    EXPECT_EQ(pending[1].entry.tbut, "");
}

TEST_F(Pages, SubmissionsTheDownloadCouldNotCarryAreRefused) {
    const std::vector<P::Query> refused = {
        {{"errword", "a"}, {"rightword", "b"}},
        {{"usid", "1"}, {"rightword", "b"}},
        {{"usid", "1"}, {"errword", "a"}},
        {{"usid", ""}, {"errword", "a"}, {"rightword", "b"}},
        {{"usid", "1"}, {"errword", ""}, {"rightword", "b"}},
        {{"usid", "1"}, {"jb", "x;y"}, {"errword", "a"}, {"rightword", "b"}},
        {{"usid", "1"}, {"lb", "x;"}, {"errword", "a"}, {"rightword", "b"}},
        {{"usid", "1"}, {"errword", "a;c"}, {"rightword", "b"}},
        {{"usid", "1"}, {"errword", "a"}, {"rightword", ";b"}},
        {{"usid", "1"}, {"errword", "a"}, {"rightword", "b"}, {"butword", "ab<br>x"}},
        {{"usnm", "x<br>"}, {"usid", "1"}, {"errword", "a"}, {"rightword", "b"}},
        {{"usid", "1"}, {"jb", "<br>"}, {"errword", "a"}, {"rightword", "b"}},
    };
    for (const P::Query& query : refused)
        EXPECT_EQ(body("/tjjdch.asp", query), "error!")
            << P::request("/tjjdch.asp", query).toStdString();
    EXPECT_TRUE(store_.pending().empty());
}

TEST_F(Pages, OnePendingSubmissionPerComputerAndPair) {
    EXPECT_EQ(body("/tjjdch.asp", submission("1", "a", "b", "ab")), "ok!");
    clock_ = clock_.addSecs(60);
    EXPECT_EQ(body("/tjjdch.asp", submission("1", "a", "b", "ab;ba")), "ok!");
    EXPECT_EQ(body("/tjjdch.asp", submission("2", "a", "b", "ab")), "ok!");
    EXPECT_EQ(body("/tjjdch.asp", submission("1", "a", "c")), "ok!");

    const std::vector<Submission> pending = store_.pending();
    ASSERT_EQ(pending.size(), 3u);
    EXPECT_EQ(pending[0].entry.tbut, "ab;ba");  // the later one, in the place of the first
    EXPECT_EQ(pending[0].received, clock_);
    EXPECT_EQ(pending[1].usid, "2");
    EXPECT_EQ(pending[2].entry.tright, "c");

    // Once decided, the same pair may come again.
    QString why;
    ASSERT_TRUE(store_.reject({pending[0].id}, clock_, &why)) << why.toStdString();
    EXPECT_EQ(body("/tjjdch.asp", submission("1", "a", "b", "ab")), "ok!");
    EXPECT_EQ(store_.pending().size(), 3u);
}

TEST_F(Pages, WhatIsPublishedAlreadyQueuesNothing) {
    QString why;
    ASSERT_TRUE(store_.publish({entry("a", "b", "ab;abc")}, clock_, &why)) << why.toStdString();
    // The program sends back what it downloaded, phrases in any order or fewer.
    EXPECT_EQ(body("/tjjdch.asp", submission("1", "a", "b", "abc;ab")), "ok!");
    EXPECT_EQ(body("/tjjdch.asp", submission("1", "a", "b", "ab")), "ok!");
    EXPECT_EQ(body("/tjjdch.asp", submission("1", "a", "b")), "ok!");
    EXPECT_TRUE(store_.pending().empty());

    EXPECT_EQ(body("/tjjdch.asp", submission("1", "a", "b", "ab;xab")), "ok!");
    P::Query otherGrade = submission("2", "a", "b", "ab");
    otherGrade[2].second = gbk("高级");
    EXPECT_EQ(body("/tjjdch.asp", otherGrade), "ok!");
    EXPECT_EQ(store_.pending().size(), 2u);
}

TEST_F(Pages, DownloadSendsWhatWasPublishedAfterTheDayAsked) {
    EXPECT_EQ(body("/gxjdch.asp", {{"usid", "1"}, {"gxrq", gbk("2010年10月1日")}}), "none");

    QString why;
    const QDateTime first(QDate(2026, 3, 14), QTime(10, 0));
    const QDateTime second(QDate(2026, 3, 16), QTime(8, 30));
    ASSERT_TRUE(store_.publish({entry("a", "b", ""), entry("c", "d", "cx")}, first, &why));
    ASSERT_TRUE(store_.publish({entry("e", "f", "ef;fe;;ef")}, second, &why));

    const QByteArray all = body("/gxjdch.asp", {{"usid", "1"}, {"gxrq", gbk("1899年12月30日")}});
    EXPECT_EQ(all, gbk("start:基本;通用;a;b;;2026年3月14日<br>基本;通用;c;d;cx;2026年3月14日<br>"
                       "基本;通用;e;f;ef;2026年3月16日<br>基本;通用;e;f;fe;2026年3月16日"));
    // What the program reads of it.
    const P::UpdateAnswer answer = P::classifyUpdateAnswer(all);
    ASSERT_EQ(answer.kind, P::UpdateKind::Records);
    ASSERT_EQ(answer.records.size(), 4);
    const std::optional<WordEntry> read = P::entryFromRecord(answer.records[1]);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->tbut, "cx");
    EXPECT_EQ(read->tdate, QDateTime(first.date(), QTime(0, 0)));

    // The day asked is sent again; later days only after it.
    EXPECT_EQ(P::classifyUpdateAnswer(
                  body("/gxjdch.asp", {{"usid", "1"}, {"gxrq", gbk("2026年3月14日")}}))
                  .records.size(),
              4);
    const QByteArray later = body("/gxjdch.asp", {{"usid", "1"}, {"gxrq", gbk("2026年3月15日")}});
    EXPECT_EQ(later, gbk("start:基本;通用;e;f;ef;2026年3月16日<br>基本;通用;e;f;fe;2026年3月16日"));
    EXPECT_EQ(body("/gxjdch.asp", {{"usid", "1"}, {"gxrq", gbk("2026年3月16日")}}),
              "start:" + later.mid(6));
    EXPECT_EQ(body("/gxjdch.asp", {{"usid", "1"}, {"gxrq", gbk("2026年3月17日")}}), "none");
    EXPECT_EQ(body("/gxjdch.asp", {{"usid", "1"}, {"gxrq", "2026-03-15"}}), later);

    for (const P::Query& bad :
         std::vector<P::Query>{{{"gxrq", gbk("2010年10月1日")}},
                               {{"usid", "1"}},
                               {{"usid", "1"}, {"gxrq", "yesterday"}},
                               {{"usid", "1"}, {"gxrq", gbk("2026年2月30日")}}})
        EXPECT_EQ(body("/gxjdch.asp", bad), "error!");
}

TEST_F(Pages, DownloadSeesWhatAModeratorPublishesFromAnotherConnection) {
    const P::Query query = {{"usid", "1"}, {"gxrq", gbk("2010年10月1日")}};
    EXPECT_EQ(body("/gxjdch.asp", query), "none");
    {
        ExchangeStore moderator;
        ASSERT_TRUE(moderator.open(dir_.path(), {}));
        QString why;
        ASSERT_TRUE(moderator.publish({entry("a", "b", "ab")}, clock_, &why));
    }
    EXPECT_EQ(P::classifyUpdateAnswer(body("/gxjdch.asp", query)).records.size(), 1);
    {
        ExchangeStore moderator;
        ASSERT_TRUE(moderator.open(dir_.path(), {}));
        QString why;
        ASSERT_TRUE(moderator.publish({entry("a", "b", "abc")}, clock_.addDays(1), &why));
    }
    const P::UpdateAnswer answer = P::classifyUpdateAnswer(body("/gxjdch.asp", query));
    ASSERT_EQ(answer.records.size(), 2);
    EXPECT_EQ(answer.records[1][4], "abc");
}

TEST_F(Pages, LimitsAndMalformedQueriesAnswerErrorAndStoreNothing) {
    // A value at the limit is a word library cell at its longest: 32,767
    // characters of GBK, sent by the program's own client as %XX each.
    const QByteArray longest = gbk(QString(32767, QChar(u'例'))) + "xx";
    ASSERT_EQ(longest.size(), ExchangePages::kMaxValueBytes);
    FakePlatform platform;
    platform.serverUrl = baseUrl();
    ServerClient client(platform);
    const QByteArray request = ServerClient::fillSubmitTemplate(
        ServerClient::buildSubmitTemplate(gbk("张三"), "1"), kGrade, kClass, "a", "b", longest);
    EXPECT_GT(request.size(), 3 * ExchangePages::kMaxValueBytes);
    EXPECT_TRUE(client.submitEntry(request));
    EXPECT_EQ(body("/tjjdch.asp", submission("1", "a", "c", longest + 'x')), "error!");
    EXPECT_EQ(body("/tjjdch.asp", submission(longest + '1', "a", "b")), "error!");

    for (const QByteArray target :
         {"/tjjdch.asp?usid=1&errword=a%zz&rightword=b",
          "/tjjdch.asp?usid=1&errword=a&rightword=b%", "/tjjdch.asp?usid=1&errword=a&rightword=b%4",
          "/tjjdch.asp?usid=1&usid=2&errword=a&rightword=b",
          "/tjjdch.asp?usid=1&errword=a&rightword=b&errword=c",
          "/gxjdch.asp?usid=1%&gxrq=2010-10-01", "/tjyhxx.asp?usnm=a&usemail=b"})
        EXPECT_EQ(get(target).body, "error!") << target.toStdString();

    // The whole query has its limit too, and a request line longer than any
    // query the pages take is refused by HTTP itself, in the exchange's terms.
    QByteArray query = "usid=9&errword=a&rightword=b";
    while (query.size() <= ExchangePages::kMaxQueryBytes)
        query += "&k" + QByteArray::number(query.size()) + '=' + QByteArray(60000, 'z');
    EXPECT_EQ(get("/tjjdch.asp?" + query).body, "error!");
    query.truncate(ExchangePages::kMaxQueryBytes);
    EXPECT_EQ(get("/tjjdch.asp?" + query).body, "ok!");
    const Reply huge = get("/tjjdch.asp?usid=1&errword=a&rightword=b&butword=" +
                           QByteArray(ExchangeServer::defaultLimits().headBytes, 'y'));
    EXPECT_EQ(huge.status, 414);
    EXPECT_EQ(huge.body, "error!");

    ASSERT_EQ(store_.pending().size(), 2u);
    EXPECT_EQ(store_.pending()[0].entry.tbut, longest);
}

// No page takes a body: another method is refused before its body is read,
// and a body is bounded before it is.
TEST_F(Pages, OnlyGetAndHeadAreServedAndNoBodyIsWaitedFor) {
    const QByteArray target = " /tjjdch.asp?usid=1&errword=a&rightword=b HTTP/1.1\r\n";
    const QByteArray gib = "Content-Length: 1073741824\r\n\r\n";
    const struct {
        QByteArray request;
        QByteArray status;
    } rows[] = {
        {"POST" + target + gib, "405"},
        {"PUT" + target + gib, "405"},
        {"DELETE" + target + gib, "405"},
        {"PATCH" + target + gib, "405"},
        {"OPTIONS * HTTP/1.1\r\n\r\n", "405"},
        {"GET" + target + gib, "413"},
        {"GET" + target + "Content-Length: 4097\r\n\r\n", "413"},
        {"GET" + target + "Transfer-Encoding: chunked\r\n\r\n", "411"},
        {"GET" + target + "Content-Length: 12\r\nContent-Length: 13\r\n\r\n", "400"},
        {"GET /index.asp HTTP/2.0\r\n\r\n", "505"},
        {"GET index.asp HTTP/1.1\r\n\r\n", "400"},
    };
    for (const auto& row : rows) {
        // No byte of a body is sent: an answer means none was waited for.
        const QByteArray answer = raw(row.request);
        EXPECT_TRUE(answer.startsWith("HTTP/1.1 " + row.status + ' '))
            << row.request.left(40).toStdString() << " -> " << answer.left(40).toStdString();
        EXPECT_TRUE(answer.endsWith("\r\n\r\nerror!")) << answer.toStdString();
        EXPECT_EQ(answer.contains("\r\nAllow: GET, HEAD\r\n"), row.status == "405");
    }
    EXPECT_TRUE(store_.pending().empty());

    // A small body is read and dropped, and the connection goes on after it.
    const QByteArray two = raw("GET" + target + "Content-Length: 4096\r\n\r\n" +
                               QByteArray(4096, 'b') + "GET /tjjdch.asp?usid=2&errword=c" +
                               "&rightword=d HTTP/1.1\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(two.count("HTTP/1.1 200 OK\r\n"), 2) << two.toStdString();
    EXPECT_EQ(store_.pending().size(), 2u);
}

TEST_F(Pages, HeadAnswersLikeGetWithoutActing) {
    httplib::Client client("127.0.0.1", server_->port());
    const std::string submit = P::request("/tjjdch.asp", submission("-7", "a", "b")).toStdString();
    const std::string user =
        P::request("/tjyhxx.asp", {{"usnm", "x"}, {"usid", "-7"}, {"usemail", "x@a.cn"}})
            .toStdString();
    const std::string refused = "/tjjdch.asp?usid=-7&errword=a";
    for (const std::string& target :
         {submit, user, refused, std::string("/index.asp"),
          std::string("/gxjdch.asp?usid=1&gxrq=2010-10-01"), std::string("/nowhere")}) {
        const auto head = client.Head(target);
        ASSERT_TRUE(head) << target;
        EXPECT_TRUE(head->body.empty()) << target;
        const std::size_t length = std::stoul(head->get_header_value("Content-Length"));
        if (target == submit || target == user) {
            EXPECT_EQ(head->status, 200);
            EXPECT_EQ(length, 3u) << target;  // "ok!", as the GET would say
            continue;
        }
        const auto got = client.Get(target);
        ASSERT_TRUE(got) << target;
        EXPECT_EQ(head->status, got->status) << target;
        EXPECT_EQ(length, got->body.size()) << target;
    }
    EXPECT_TRUE(store_.pending().empty());

    // Neither the entry nor the user record was stored.
    ASSERT_EQ(client.Get(submit)->body, "ok!");
    const std::vector<Submission> pending = store_.pending();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_TRUE(pending[0].usemail.isEmpty());
    EXPECT_TRUE(logLines().back().contains(" /tjjdch.asp usid=-7 ok! queued"));
}

TEST_F(Pages, BytesThatAreNotGbkAreStoredAsTheyCame) {
    const QByteArray odd("\xFF\x80\x81\x00\r\n'\"%&=+ ", 13);
    EXPECT_EQ(body("/tjjdch.asp", submission(odd, odd + 'a', odd + 'b', odd)), "ok!");
    // A raw byte in the request line, as a client that does not escape sends it.
    EXPECT_EQ(get("/tjjdch.asp?usid=2&&errword=\xB0\xA1\xFF&rightword=b+c&").body, "ok!");

    const std::vector<Submission> pending = store_.pending();
    ASSERT_EQ(pending.size(), 2u);
    EXPECT_EQ(pending[0].usid, odd);
    EXPECT_EQ(pending[0].entry.terror, odd + 'a');
    EXPECT_EQ(pending[0].entry.tbut, odd);
    EXPECT_EQ(pending[1].entry.terror, "\xB0\xA1\xFF");
    EXPECT_EQ(pending[1].entry.tright, "b+c");
}

TEST_F(Pages, OneLogLinePerRequestWithPathComputerAndOutcome) {
    get("/index.asp");
    body("/tjjdch.asp", submission("-42", "a", "b"));
    body("/tjjdch.asp", {{"usid", "-42\n"}, {"errword", "a"}});
    body("/gxjdch.asp", {{"usid", "-42"}, {"gxrq", gbk("2010年10月1日")}});
    get("/nowhere");

    const std::vector<QByteArray> lines = logLines();
    ASSERT_EQ(lines.size(), 5u);
    for (const QByteArray& line : lines) {
        EXPECT_TRUE(line.endsWith('\n'));
        EXPECT_EQ(line.count('\n'), 1);
        EXPECT_TRUE(
            QDateTime::fromString(QString::fromLatin1(line.left(19)), Qt::ISODate).isValid())
            << line.toStdString();
    }
    EXPECT_TRUE(lines[0].contains(" /index.asp usid= "));
    EXPECT_TRUE(lines[1].contains(" /tjjdch.asp usid=-42 ok!"));
    EXPECT_TRUE(lines[2].contains(" /tjjdch.asp usid=-42%0A error!"));
    EXPECT_TRUE(lines[3].contains(" /gxjdch.asp usid=-42 none"));
    EXPECT_TRUE(lines[4].contains(" /nowhere usid= 404"));
}

TEST_F(Pages, ConcurrentSubmissionsAndDownloadsAllAnswer) {
    QString why;
    ASSERT_TRUE(store_.publish({entry("p", "q", "pq")}, clock_, &why));
    constexpr int kThreads = 8;
    constexpr int kEach = 25;
    std::atomic<int> accepted = 0, downloaded = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            httplib::Client client("127.0.0.1", server_->port());
            for (int i = 0; i < kEach; ++i) {
                const QByteArray wrong = "w" + QByteArray::number(t) + '_' + QByteArray::number(i);
                auto res = client.Get(
                    P::request("/tjjdch.asp", submission(QByteArray::number(t), wrong, "r"))
                        .toStdString());
                accepted += res && res->body == "ok!";
                res = client.Get("/gxjdch.asp?usid=1&gxrq=2010-10-01");
                downloaded += res && QByteArray::fromStdString(res->body).startsWith("start:");
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(accepted, kThreads * kEach);
    EXPECT_EQ(downloaded, kThreads * kEach);
    EXPECT_EQ(store_.pending().size(), std::size_t(kThreads * kEach));
}
