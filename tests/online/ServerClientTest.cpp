#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>

#include "online/ServerClient.h"
#include "platform/SystemPlatform.h"
#include "support/FakePlatform.h"
#include "support/LoopbackServer.h"
#include "text/GbkCodec.h"

using P = ServerProtocol;

namespace {

std::string bytes(const QByteArray& b) { return b.toStdString(); }

// The keys of a request target, in the order they were sent.
QByteArrayList keysOf(const std::string& target) {
    QByteArrayList keys;
    const QByteArray t = QByteArray::fromStdString(target);
    for (const QByteArray& pair : t.mid(t.indexOf('?') + 1).split('&'))
        keys.append(pair.left(pair.indexOf('=')));
    return keys;
}

const QByteArray kGrade = gbk("基本");
const QByteArray kClass = gbk("通用");

}  // namespace

TEST(SubmitRequest, FormWithAndWithoutUserNameKeysInOrder) {
    const QByteArray anonymous =
        ServerClient::fillSubmitTemplate(ServerClient::buildSubmitTemplate("", "-12345"), kGrade,
                                         kClass, gbk("在坐"), gbk("在座"), "");
    EXPECT_EQ(anonymous,
              "/tjjdch.asp?usid=-12345&jb=%BB%F9%B1%BE&lb=%CD%A8%D3%C3"
              "&errword=%D4%DA%D7%F8&rightword=%D4%DA%D7%F9&butword=");

    const QByteArray named = ServerClient::fillSubmitTemplate(
        ServerClient::buildSubmitTemplate(gbk("张三"), "42"), kGrade, kClass, "a", "b", "ab;ba");
    EXPECT_EQ(named,
              "/tjjdch.asp?usnm=%D5%C5%C8%FD&usid=42&jb=%BB%F9%B1%BE&lb=%CD%A8%D3%C3"
              "&errword=a&rightword=b&butword=ab%3Bba");
}

TEST(SubmitRequest, ValuesArriveAsTheyAreWithoutForgingKeysOrRewritingPlaceholders) {
    const QByteArray grade = "zd[4]&lb=x";
    const QByteArray wrong = "a b#c";
    const QByteArray right = "50%=half+";
    const QByteArray request =
        ServerClient::fillSubmitTemplate(ServerClient::buildSubmitTemplate("me&usid=0", "7"), grade,
                                         kClass, wrong, right, gbk("在坐;zd[6]"));
    const P::Query expected = {{"usnm", "me&usid=0"},
                               {"usid", "7"},
                               {"jb", grade},
                               {"lb", kClass},
                               {"errword", wrong},
                               {"rightword", right},
                               {"butword", gbk("在坐;zd[6]")}};
    ASSERT_TRUE(request.startsWith("/tjjdch.asp?"));
    EXPECT_EQ(P::parseQuery(request.mid(12)), expected);
    for (const char c : {' ', '#', '+'}) EXPECT_FALSE(request.contains(c));
}

TEST(OtherRequests, DownloadAndUserInfoForms) {
    EXPECT_EQ(ServerClient::updatesRequest("-1", QDateTime(QDate(2010, 10, 1), QTime(12, 0))),
              "/gxjdch.asp?usid=-1&gxrq=2010%C4%EA10%D4%C21%C8%D5");
    // No last-download date: the zero date, so that the server sends everything.
    EXPECT_EQ(ServerClient::updatesRequest("-1", QDateTime()),
              "/gxjdch.asp?usid=-1&gxrq=" + P::percentEncode(gbk("1899年12月30日")));
    EXPECT_EQ(ServerClient::userInfoRequest(gbk("李四"), "9", "a+b@example.cn"),
              "/tjyhxx.asp?usnm=%C0%EE%CB%C4&usid=9&usemail=a%2Bb%40example.cn");
}

class ServerClientOnLoopback : public ::testing::Test {
  protected:
    LoopbackServer server;
    FakePlatform platform;
    ServerClient client{platform, server.baseUrl()};
};

TEST_F(ServerClientOnLoopback, CheckServerWantsTheMarkerCaseSensitively) {
    server.answer("/index.asp", "<html><body>Welcome to Halvorn</body></html>");
    EXPECT_TRUE(client.checkServer());
    server.answer("/index.asp", "<html>halvorn</html>");
    EXPECT_FALSE(client.checkServer());
    server.answer("/index.asp", "");
    EXPECT_FALSE(client.checkServer());
    ASSERT_EQ(server.requests().size(), 3u);
    for (const auto& r : server.requests()) EXPECT_EQ(r.target, "/index.asp");
    EXPECT_EQ(platform.requestedUrls.front(), server.baseUrl() + "/index.asp");

    // An error page is judged by its body like any other.
    server.answer("/missing", "Halvorn");
    server.answerStatus("/missing", 500);
    EXPECT_EQ(client.fetch("/missing"), "Halvorn");
}

TEST_F(ServerClientOnLoopback, OnlineComesFromThePlatformAndSendsNothing) {
    platform.online = false;
    EXPECT_FALSE(client.isOnline());
    platform.online = true;
    EXPECT_TRUE(client.isOnline());
    EXPECT_TRUE(platform.requestedUrls.isEmpty());
}

TEST_F(ServerClientOnLoopback, SubmitEntryAcceptsExactlyOk) {
    const QByteArray answers[] = {"ok!", "ok!\r\n", " ok!", "OK!", "ok", ""};
    const bool accepted[] = {true, false, false, false, false, false};
    const auto t = ServerClient::buildSubmitTemplate(gbk("王五"), "-12345");
    for (size_t i = 0; i < std::size(answers); ++i) {
        server.answer("/tjjdch.asp", answers[i]);
        EXPECT_EQ(client.submitEntry(
                      ServerClient::fillSubmitTemplate(t, kGrade, kClass, "a&b", "c=d #%", "")),
                  accepted[i])
            << bytes(answers[i]);
    }
    // The server's own decoding sees the values as stored.
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), std::size(answers));
    const LoopbackServer::Request& r = requests.back();
    EXPECT_EQ(keysOf(r.target),
              (QByteArrayList{"usnm", "usid", "jb", "lb", "errword", "rightword", "butword"}));
    EXPECT_EQ(r.param("usnm"), gbk("王五"));
    EXPECT_EQ(r.param("usid"), "-12345");
    EXPECT_EQ(r.param("jb"), kGrade);
    EXPECT_EQ(r.param("errword"), "a&b");
    EXPECT_EQ(r.param("rightword"), "c=d #%");
    EXPECT_EQ(r.params.count("butword"), 1u);
    EXPECT_EQ(r.param("butword"), "");
    EXPECT_TRUE(QByteArray::fromStdString(r.target).endsWith("&butword="));
}

TEST_F(ServerClientOnLoopback, RequestUpdatesSendsTheDateAndClassifiesTheAnswer) {
    server.answer("/gxjdch.asp", "start:" + gbk("基本;通用;在坐;在座;;2010年10月1日") + "<br>" +
                                     gbk("基本;通用;帐号;账号;2010年10月1日"));
    const ServerClient::UpdateAnswer a = client.requestUpdates("-12345", QDateTime());
    ASSERT_EQ(a.kind, ServerClient::UpdateKind::Records);
    ASSERT_EQ(a.records.size(), 2);
    EXPECT_EQ(a.records[0].size(), 6);
    EXPECT_EQ(a.records[0][2], gbk("在坐"));
    EXPECT_EQ(a.records[1].size(), 5);

    server.answer("/gxjdch.asp", "none");
    EXPECT_EQ(client.requestUpdates("-12345", QDateTime()).kind, ServerClient::UpdateKind::Nothing);
    server.answer("/gxjdch.asp", "error!");
    EXPECT_EQ(client.requestUpdates("-12345", QDateTime()).kind, ServerClient::UpdateKind::Refused);
    server.answer("/gxjdch.asp", "");
    EXPECT_EQ(client.requestUpdates("-12345", QDateTime()).kind,
              ServerClient::UpdateKind::Malformed);

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(keysOf(requests[0].target), (QByteArrayList{"usid", "gxrq"}));
    EXPECT_EQ(requests[0].param("usid"), "-12345");
    EXPECT_EQ(requests[0].param("gxrq"), gbk("1899年12月30日"));
}

TEST_F(ServerClientOnLoopback, SubmitUserInfo) {
    server.answer("/tjyhxx.asp", "ok!");
    EXPECT_TRUE(client.submitUserInfo(gbk("赵六"), "5", "zl@example.cn"));
    server.answer("/tjyhxx.asp", "error!");
    EXPECT_FALSE(client.submitUserInfo(gbk("赵六"), "5", "zl@example.cn"));
    const LoopbackServer::Request r = server.requests().front();
    EXPECT_EQ(keysOf(r.target), (QByteArrayList{"usnm", "usid", "usemail"}));
    EXPECT_EQ(r.param("usnm"), gbk("赵六"));
    EXPECT_EQ(r.param("usemail"), "zl@example.cn");
}

TEST_F(ServerClientOnLoopback, BaseAddressWithClosingSlashAndTheRealPlatform) {
    server.answer("/index.asp", "Halvorn");
    SystemPlatform system;
    ServerClient real(system, server.baseUrl() + "/");
    EXPECT_TRUE(real.checkServer());
    EXPECT_EQ(server.requests().back().target, "/index.asp");
}

TEST_F(ServerClientOnLoopback, AnswersBeyondTheCapFail) {
    platform.httpLimits.maxBodyBytes = 1024;
    server.answer("/full", QByteArray(1024, 'x'));
    server.answer("/over", QByteArray(1025, 'x'));
    // Without a length announced up front.
    server.handle("/stream", [](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("text/plain", [](size_t offset, httplib::DataSink& sink) {
            if (offset >= 4096) {
                sink.done();
                return true;
            }
            const std::string piece(512, 'y');
            return sink.write(piece.data(), piece.size());
        });
    });
    EXPECT_EQ(client.fetch("/full").size(), 1024);
    EXPECT_TRUE(client.fetch("/over").isEmpty());
    EXPECT_TRUE(client.fetch("/stream").isEmpty());
    platform.httpLimits.maxBodyBytes = 4096;
    EXPECT_EQ(client.fetch("/stream"), QByteArray(4096, 'y'));
}

TEST(ServerClientFailures, NoServerASilentServerAndAFullQueueGiveEmptyAnswers) {
    FakePlatform platform;
    int closedPort = 0;
    {
        LoopbackServer gone;
        closedPort = gone.port();
    }
    ServerClient refused(platform, "http://127.0.0.1:" + QByteArray::number(closedPort));
    EXPECT_FALSE(refused.checkServer());
    EXPECT_TRUE(refused.fetch("/index.asp").isEmpty());

    // Connected, request sent, nothing comes back: the low-speed limit ends it.
    SilentPort silent;
    ServerClient stalled(platform, silent.baseUrl());
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(stalled.submitEntry(ServerClient::fillSubmitTemplate(
        ServerClient::buildSubmitTemplate("", "1"), kGrade, kClass, "a", "b", "")));
    EXPECT_LT(timer.elapsed(), 10000);

    // The accept queue is full, so the handshake never completes: the connect
    // time-out ends it.
    SilentPort full(0);
    const int filler = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(quint16(full.port()));
    ASSERT_EQ(::connect(filler, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    platform.httpLimits.connectTimeoutMs = 300;
    platform.httpLimits.lowSpeedSeconds = 30;
    ServerClient unreachable(platform, full.baseUrl());
    timer.restart();
    EXPECT_FALSE(unreachable.checkServer());
    EXPECT_LT(timer.elapsed(), 10000);
    ::close(filler);
}
