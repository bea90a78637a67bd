#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include "library/StarterLibrary.h"
#include "online/ServerProtocol.h"
#include "support/CaptionRecorder.h"
#include "support/LoopbackServer.h"
#include "support/WindowFixture.h"

namespace {

using Icon = Prompter::Icon;

QString u(const char* text) { return QString::fromUtf8(text); }

struct Box {
    Icon icon;
    const char* title;
    const char* text;
};

const char* const kCheckingUser = "正在检查用户信息 ……";
const char* const kCheckingNetwork = "正在检查网络连接 ……";
const char* const kOffline = "互联网未正常连接！";
const char* const kConnecting = "互联网已连接！与网站通讯中 ……";
const char* const kServerFailed = "与网站通讯失败！";
const char* const kServerReached = "与网站通讯成功！";
const char* const kCheckingEntries = "正在检查当前更新词汇 ……";
const char* const kSubmitting = "正在提交 ……";

const QDateTime kOct1(QDate(2010, 10, 1), QTime(0, 0));

// A main window whose server is a loopback server that passes the
// reachability check, on a computer that is online.
class OnlineWindowTest : public WindowFixture {
  protected:
    LoopbackServer server;
    CaptionRecorder recorder;

    OnlineWindowTest() {
        platform.serverUrl = server.baseUrl();
        platform.online = true;
        server.answer("/index.asp", "<html><title>Halvorn</title></html>");
    }

    // Shown, so that every caption of label4 is painted as it changes.
    void open() {
        start();
        window->show();
        QApplication::processEvents();
        find<QLabel>("label4")->installEventFilter(&recorder);
    }
    // Starts afresh on a library of its own.
    void reopen(const QString& name) {
        window.reset();
        platform.programDir = dir.filePath(name) + QStringLiteral("/");
        QDir().mkpath(platform.programDir);
        recorder.captions.clear();
        open();
    }
    void run(const char* menu, bool boxExpected = true) {
        recorder.captions.clear();
        prompter.messages.clear();
        if (boxExpected) prompter.expectMessage();
        find(menu)->trigger();
    }
    WordDatabase& db() { return window->database(); }
    qint64 store(const char* wrong, const char* right, const char* exceptions,
                 const QDateTime& date, const char* grade = "基本") {
        WordEntry e;
        e.tgrade = gbk(grade);
        e.tclass = gbk("通用");
        e.terror = gbk(wrong);
        e.tright = gbk(right);
        e.tbut = gbk(exceptions);
        e.tdate = date;
        const qint64 tid = db().addEntry(e);
        EXPECT_GT(tid, 0);
        return tid;
    }
    // "wrong|right|exceptions" per row in tid order; a missing value shows as "-".
    QStringList rows() {
        QStringList out;
        for (const WordEntry& e : db().allEntries())
            out << fromGbk(e.terror) + '|' + fromGbk(e.tright) + '|' +
                       (e.tbut.isNull() ? QStringLiteral("-") : fromGbk(e.tbut));
        return out;
    }
    QString status() { return find<QLabel>("statusPanel0")->text(); }
    bool noticeHidden() { return find<QLabel>("label4")->isHidden(); }
    QStringList expectedCaptions(std::initializer_list<const char*> texts) {
        QStringList out;
        for (const char* t : texts) out.push_back(u(t));
        return out;
    }
    void expectBoxes(const std::vector<Box>& boxes) {
        ASSERT_EQ(prompter.messages.size(), boxes.size());
        for (size_t i = 0; i < boxes.size(); ++i) {
            EXPECT_EQ(prompter.messages[i].icon, boxes[i].icon) << i;
            EXPECT_EQ(prompter.messages[i].title, u(boxes[i].title)) << i;
            EXPECT_EQ(prompter.messages[i].text, u(boxes[i].text)) << i;
            EXPECT_EQ(prompter.messages[i].buttons, Prompter::Buttons::Ok) << i;
        }
    }
    std::vector<LoopbackServer::Request> requestsTo(const std::string& path) {
        std::vector<LoopbackServer::Request> out;
        for (const auto& r : server.requests())
            if (r.path == path) out.push_back(r);
        return out;
    }
};

TEST_F(OnlineWindowTest, DownloadBranchesShowTheirCaptionsStatusAndBoxes) {
    struct Case {
        const char* name;
        bool online;
        QByteArray checkPage;
        QByteArray answer;
        QStringList captions;
        const char* status;
        std::vector<Box> boxes;
        size_t requests;
    };
    const auto upToAnswer = expectedCaptions(
        {kCheckingUser, kCheckingNetwork, kConnecting, kServerReached, kCheckingEntries});
    const Case cases[] = {
        {"offline",
         false,
         "Halvorn",
         "none",
         expectedCaptions({kCheckingUser, kCheckingNetwork, kOffline}),
         "下载更新词汇 ……",
         {},
         0},
        {"no marker",
         true,
         "halvorn",
         "none",
         expectedCaptions({kCheckingUser, kCheckingNetwork, kConnecting, kServerFailed}),
         "与网站通讯失败！",
         {{Icon::Error, "提示：", "与网站通讯失败！"}},
         1},
        {"refused",
         true,
         "Halvorn",
         "error!start:a;b;c;d;e;f",
         upToAnswer,
         "下载更新词汇 ……",
         {},
         2},
        {"nothing",
         true,
         "Halvorn",
         "nonesuch",
         upToAnswer,
         "没有可更新内容！",
         {{Icon::Information, "提示", "没有更新内容！"}},
         2},
        {"capital Start",
         true,
         "Halvorn",
         "Start:a;b;c;d;e;f",
         upToAnswer,
         "更新错误！",
         {{Icon::Information, "提示", "更新错误！"}},
         2},
        {"empty answer",
         true,
         "Halvorn",
         "",
         upToAnswer,
         "更新错误！",
         {{Icon::Information, "提示", "更新错误！"}},
         2},
        {"empty list",
         true,
         "Halvorn",
         "start:",
         upToAnswer,
         "共更新有效词汇：0组！",
         {{Icon::Information, "提示", "更新完毕！\r\n共更新词汇：0组！"}},
         2},
    };
    open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform.online = c.online;
        platform.pauses.clear();
        server.answer("/index.asp", c.checkPage);
        server.answer("/gxjdch.asp", c.answer);
        const size_t before = server.requests().size();
        run("menuUpdateWords", !c.boxes.empty());
        EXPECT_EQ(recorder.captions, c.captions);
        EXPECT_TRUE(noticeHidden());
        EXPECT_EQ(status(), u(c.status));
        expectBoxes(c.boxes);
        EXPECT_EQ(platform.pauses, c.online ? std::vector<int>{} : std::vector<int>{2000});
        EXPECT_EQ(server.requests().size() - before, c.requests);
    }
    EXPECT_TRUE(rows().isEmpty());
}

TEST_F(OnlineWindowTest, SameAnswerTwiceAddsEveryRecordThenNothing) {
    server.answer("/gxjdch.asp", gbk("start:基本;通用;在坐;在座;;2010年10月1日<br>"
                                     "高级;计算机;帐号;账号;帐号表;2011-02-03<br>"
                                     "专业;文学艺术;it's;it''s;it's me;2012/03/04 05:06:07<br>"));
    open();
    run("menuUpdateWords");
    expectBoxes({{Icon::Information, "提示", "更新完毕！\r\n共更新词汇：3组！"}});
    EXPECT_EQ(status(), u("共更新有效词汇：3组！"));
    EXPECT_EQ(recorder.captions, expectedCaptions({kCheckingUser, kCheckingNetwork, kConnecting,
                                                   kServerReached, kCheckingEntries}));
    EXPECT_TRUE(noticeHidden());
    const std::vector<WordEntry> stored = db().allEntries();
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[0].tgrade, gbk("基本"));
    EXPECT_EQ(stored[0].tclass, gbk("通用"));
    EXPECT_TRUE(stored[0].tbut.isNull());
    EXPECT_EQ(stored[0].tdate, kOct1);
    EXPECT_EQ(stored[1].tclass, gbk("计算机"));
    EXPECT_EQ(stored[1].tdate, QDateTime(QDate(2011, 2, 3), QTime(0, 0)));
    EXPECT_EQ(stored[2].terror, "it's");
    EXPECT_EQ(stored[2].tright, "it''s");
    EXPECT_EQ(stored[2].tdate, QDateTime(QDate(2012, 3, 4), QTime(5, 6, 7)));

    const QStringList first = rows();
    run("menuUpdateWords");
    expectBoxes({{Icon::Information, "提示", "更新完毕！\r\n共更新词汇：0组！"}});
    EXPECT_EQ(status(), u("共更新有效词汇：0组！"));
    EXPECT_EQ(rows(), first);

    // The start-up record has no last-download date: the zero date asks for everything.
    const auto asked = requestsTo("/gxjdch.asp");
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].param("usid"), "-12345");
    EXPECT_EQ(asked[0].param("gxrq"), gbk("1899年12月30日"));
}

TEST_F(OnlineWindowTest, MergeRules) {
    struct Stored {
        const char* wrong;
        const char* right;
        const char* exceptions;
    };
    struct Case {
        const char* name;
        std::vector<Stored> stored;
        const char* answer;  // after "start:"
        int changed;         // -1: "更新错误！"
        QStringList after;
    };
    const Case cases[] = {
        {"a piece of a stored phrase",
         {{"在坐", "在座", "在坐下;请在坐"}},
         "基本;通用;在坐;在座;坐下;2010-10-01",
         0,
         {u("在坐|在座|在坐下;请在坐")}},
        {"a new phrase is appended",
         {{"在坐", "在座", "在坐下"}},
         "基本;通用;在坐;在座;现在坐;2010-10-01",
         1,
         {u("在坐|在座|在坐下;现在坐")}},
        {"a phrase into an empty list",
         {{"在坐", "在座", ""}},
         "基本;通用;在坐;在座;现在坐;2010-10-01",
         1,
         {u("在坐|在座|现在坐")}},
        {"a phrase whose bytes straddle two stored characters",
         {{"在坐", "在座", "中文"}},
         "基本;通用;在坐;在座;形;2010-10-01",
         1,
         {u("在坐|在座|中文;形")}},
        {"two matching rows",
         {{"在坐", "在座", "甲"}, {"在坐", "在座", "乙"}},
         "基本;通用;在坐;在座;丙;2010-10-01",
         0,
         {u("在坐|在座|甲"), u("在坐|在座|乙")}},
        {"no phrase and a match",
         {{"在坐", "在座", "甲"}},
         "基本;通用;在坐;在座;;2010-10-01",
         0,
         {u("在坐|在座|甲")}},
        {"same wrong form, other right form",
         {{"在坐", "在座", "甲"}},
         "基本;通用;在坐;再座;;2010-10-01",
         1,
         {u("在坐|在座|甲"), u("在坐|再座|-")}},
        {"quotes in both forms",
         {{"a'b", "a''b", "x"}},
         "基本;通用;a'b;a''b;y';2010-10-01",
         1,
         {u("a'b|a''b|x;y'")}},
        {"second record of five fields",
         {},
         "基本;通用;在坐;在座;;2010-10-01<br>基本;通用;帐号;账号;2010-10-01<br>"
         "基本;通用;以经;已经;;2010-10-01",
         -1,
         {u("在坐|在座|-")}},
        {"a gap between records",
         {},
         "基本;通用;在坐;在座;;2010-10-01<br><br>基本;通用;以经;已经;;x",
         -1,
         {u("在坐|在座|-")}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reopen(QStringLiteral("case%1").arg(++n));
        for (const Stored& s : c.stored) store(s.wrong, s.right, s.exceptions, kOct1);
        server.answer("/gxjdch.asp", "start:" + gbk(c.answer));
        run("menuUpdateWords");
        if (c.changed < 0) {
            expectBoxes({{Icon::Information, "提示", "更新错误！"}});
            EXPECT_EQ(status(), u("更新错误！"));
        } else {
            const QString text = u("更新完毕！\r\n共更新词汇：%1组！").arg(c.changed);
            ASSERT_EQ(prompter.messages.size(), 1u);
            EXPECT_EQ(prompter.messages[0].text, text);
        }
        EXPECT_EQ(rows(), c.after);
    }
}

TEST_F(OnlineWindowTest, StartUpDownloadsOnceTheWindowIsShownWhenTheSwitchIsOn) {
    open();  // creates the record with the switch on, and does not download
    QApplication::processEvents();
    EXPECT_TRUE(server.requests().empty());
    window.reset();

    server.answer("/gxjdch.asp", gbk("start:基本;通用;在坐;在座;;2010年10月1日"));
    start();
    // Nothing goes out while the window is being built.
    EXPECT_TRUE(server.requests().empty());
    EXPECT_TRUE(find("menuAutoUpdate")->isChecked());
    prompter.expectMessage();
    window->show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !prompter.messages.empty(); }));
    expectBoxes({{Icon::Information, "提示", "更新完毕！\r\n共更新词汇：1组！"}});
    EXPECT_EQ(rows(), QStringList{u("在坐|在座|-")});
    EXPECT_EQ(requestsTo("/gxjdch.asp").size(), 1u);

    // A server that cannot be reached at start-up is said in the status bar only.
    window.reset();
    prompter.messages.clear();
    server.answer("/index.asp", "");
    start();
    window->show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return status() == u(kServerFailed); }));
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(OnlineWindowTest, ToggleAutoUpdateTwiceRestoresTheSwitchWithoutADownload) {
    start();
    window.reset();
    server.answer("/gxjdch.asp", "none");
    prompter.expectMessage();
    start();  // the second start downloads once, when the window shows
    window->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !prompter.messages.empty(); }));
    ASSERT_TRUE(find("menuAutoUpdate")->isChecked());
    const size_t requests = server.requests().size();
    prompter.messages.clear();

    QAction* toggle = find("menuAutoUpdate");
    toggle->trigger();
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_FALSE(db().userInfo("-12345")->pzdgx);
    toggle->trigger();
    EXPECT_TRUE(toggle->isChecked());
    EXPECT_TRUE(db().userInfo("-12345")->pzdgx);
    EXPECT_EQ(server.requests().size(), requests);
    EXPECT_TRUE(prompter.messages.empty());

    // Another computer's identifier: a record holding only the switch is made.
    platform.id = QStringLiteral("777");
    toggle->trigger();
    const auto created = db().userInfo("777");
    ASSERT_TRUE(created.has_value());
    UserInfo expected;
    expected.pmachine = "777";
    expected.pzdgx = false;
    EXPECT_EQ(*created, expected);
}

TEST_F(OnlineWindowTest, SubmitBranchesShowTheirCaptionsStatusAndBoxes) {
    open();
    run("menuSubmitWords");
    expectBoxes({{Icon::Information, "提示：", "没有更新词汇需要提交！"}});
    EXPECT_EQ(status(), u("没有更新词汇需要提交！"));
    EXPECT_EQ(recorder.captions, expectedCaptions({kCheckingUser, kCheckingEntries}));
    EXPECT_TRUE(noticeHidden());
    EXPECT_TRUE(server.requests().empty());

    store("在坐", "在座", "", QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5)));
    platform.online = false;
    run("menuSubmitWords", false);
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_EQ(status(), u("提交词汇 ……"));
    EXPECT_EQ(recorder.captions,
              expectedCaptions({kCheckingUser, kCheckingEntries, kCheckingNetwork, kOffline}));
    EXPECT_EQ(platform.pauses, std::vector<int>{2000});
    EXPECT_TRUE(noticeHidden());
    EXPECT_TRUE(server.requests().empty());

    platform.online = true;
    server.answer("/index.asp", "");
    run("menuSubmitWords");
    expectBoxes({{Icon::Error, "提示：", "与网站通讯失败！"}});
    EXPECT_EQ(status(), u("与网站通讯失败！"));
    EXPECT_EQ(recorder.captions, expectedCaptions({kCheckingUser, kCheckingEntries,
                                                   kCheckingNetwork, kConnecting, kServerFailed}));
    EXPECT_TRUE(noticeHidden());
    EXPECT_TRUE(requestsTo("/tjjdch.asp").empty());

    server.answer("/index.asp", "Halvorn");
    server.answer("/tjjdch.asp", "ok!\r\n");
    run("menuSubmitWords");
    expectBoxes({{Icon::Information, "提示", "提交完毕！\r\n共提交有效词汇：0组！\r\n等待审核！"}});
    EXPECT_EQ(status(), u("共提交有效词汇：0组！"));
    EXPECT_EQ(recorder.captions,
              expectedCaptions({kCheckingUser, kCheckingEntries, kCheckingNetwork, kConnecting,
                                kServerReached, kSubmitting}));
    EXPECT_TRUE(noticeHidden());
}

TEST_F(OnlineWindowTest, SubmissionSendsEveryDatedEntryForTheStartUpRecordTwiceWhenRunTwice) {
    open();
    ASSERT_TRUE(db().userInfo("-12345").has_value());
    ASSERT_FALSE(db().userInfo("-12345")->pupdate.isValid());
    store("在坐", "在座", "", QDateTime(QDate(2009, 5, 1), QTime(0, 0)));
    store("帐号", "账号", "帐号表;a&b=c #1", QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5)), "高级");
    store("以经", "已经", "", QDateTime());
    store("it's", "it''s", "", QDateTime(QDate(2025, 6, 7), QTime(8, 9, 10)));
    server.answerWith("/tjjdch.asp", [](const LoopbackServer::Request& r) {
        return r.param("errword") == "it's" ? QByteArray("error!") : QByteArray("ok!");
    });

    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        run("menuSubmitWords");
        expectBoxes(
            {{Icon::Information, "提示", "提交完毕！\r\n共提交有效词汇：2组！\r\n等待审核！"}});
        EXPECT_EQ(status(), u("共提交有效词汇：2组！"));
    }
    const auto sent = requestsTo("/tjjdch.asp");
    ASSERT_EQ(sent.size(), 6u);
    for (size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(sent[i].param("errword"),
                  (QByteArrayList{gbk("在坐"), gbk("帐号"), "it's"}[i % 3]));
        EXPECT_EQ(sent[i].params.count("usnm"), 0u);
        EXPECT_EQ(sent[i].param("usid"), "-12345");
    }
    EXPECT_TRUE(QByteArray::fromStdString(sent[0].target)
                    .startsWith("/tjjdch.asp?usid=-12345&jb=%BB%F9%B1%BE&lb=%CD%A8%D3%C3&"));
    EXPECT_TRUE(QByteArray::fromStdString(sent[0].target).endsWith("&butword="));
    EXPECT_EQ(sent[1].param("jb"), gbk("高级"));
    EXPECT_EQ(sent[1].param("rightword"), gbk("账号"));
    EXPECT_EQ(sent[1].param("butword"), gbk("帐号表;a&b=c #1"));
    EXPECT_EQ(sent[2].param("rightword"), "it''s");
    // Nothing about the exchange is written back.
    EXPECT_FALSE(db().userInfo("-12345")->pupdate.isValid());
}

TEST_F(OnlineWindowTest, ANewInstallationSubmitsNoneOfTheStarterEntries) {
    {
        WordDatabase fresh;
        ASSERT_TRUE(StarterLibrary::openOrCreate(fresh, libraryPath()));
    }
    open();
    ASSERT_GT(db().allEntries().size(), 1000u);
    server.answer("/tjjdch.asp", "ok!");
    run("menuSubmitWords");
    expectBoxes({{Icon::Information, "提示：", "没有更新词汇需要提交！"}});
    EXPECT_TRUE(requestsTo("/tjjdch.asp").empty());
}

TEST_F(OnlineWindowTest, SubmissionComparesDateTimesWithTheRecordItCreatesOrFinds) {
    open();
    store("九月", "九月", "", QDateTime(QDate(2010, 9, 30), QTime(23, 0)));
    store("当天", "当天", "", kOct1);
    store("早", "早", "", QDateTime(QDate(2010, 10, 1), QTime(11, 59, 59)));
    store("同", "同", "", QDateTime(QDate(2010, 10, 1), QTime(12, 0)));
    store("晚", "晚", "", QDateTime(QDate(2010, 10, 1), QTime(12, 0, 1)));
    server.answer("/tjjdch.asp", "ok!");

    // No record for this computer: one is made, dated 1 October 2010, without a name.
    platform.id = QStringLiteral("777");
    run("menuSubmitWords");
    expectBoxes({{Icon::Information, "提示", "提交完毕！\r\n共提交有效词汇：3组！\r\n等待审核！"}});
    auto sent = requestsTo("/tjjdch.asp");
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].param("errword"), gbk("早"));
    EXPECT_EQ(sent[0].params.count("usnm"), 0u);
    EXPECT_EQ(sent[0].param("usid"), "777");
    UserInfo expected;
    expected.pmachine = "777";
    expected.pupdate = kOct1;
    expected.pdwdate = kOct1;
    EXPECT_EQ(db().userInfo("777"), expected);

    platform.id = QStringLiteral("-12345");
    UserInfo info = *db().userInfo("-12345");
    info.puser = gbk("张三");
    info.pupdate = QDateTime(QDate(2010, 10, 1), QTime(12, 0));
    ASSERT_TRUE(db().writeUserInfo(info));
    run("menuSubmitWords");
    expectBoxes({{Icon::Information, "提示", "提交完毕！\r\n共提交有效词汇：1组！\r\n等待审核！"}});
    sent = requestsTo("/tjjdch.asp");
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[3].param("errword"), gbk("晚"));
    EXPECT_TRUE(QByteArray::fromStdString(sent[3].target)
                    .startsWith("/tjjdch.asp?usnm=%D5%C5%C8%FD&usid=-12345&"));
}

TEST_F(OnlineWindowTest, ASilentServerFailsWithinTheTimeOut) {
    SilentPort silent;
    platform.serverUrl = silent.baseUrl();
    open();
    run("menuUpdateWords");
    expectBoxes({{Icon::Error, "提示：", "与网站通讯失败！"}});
    EXPECT_EQ(status(), u("与网站通讯失败！"));
    EXPECT_TRUE(noticeHidden());
}

TEST_F(OnlineWindowTest, TheLastDownloadDateMovesOnlyWhenEveryRecordWasTakenIn) {
    struct Case {
        const char* name;
        QByteArray answer;
        const char* box;
        QStringList after;
        bool moved;
    };
    const QByteArray present = gbk("基本;通用;在坐;在座;;2010-10-01");
    const Case cases[] = {
        {"every record, one already there",
         "start:" + present + "<br>" + gbk("基本;通用;帐号;账号;;2010-10-01"),
         "更新完毕！\r\n共更新词汇：1组！",
         {u("在坐|在座|"), u("帐号|账号|-")},
         true},
        {"a wrong form of half a character",
         "start:" + gbk("基本;通用;") + "\xB0" + gbk(";啊;;2010-10-01<br>") +
             gbk("基本;通用;帐号;账号;;2010-10-01"),
         "更新完毕！\r\n共更新词汇：1组！\r\n以下词汇的错误字段含不完整的字符，未更新：\\xB0",
         {u("在坐|在座|"), u("帐号|账号|-")},
         false},
        {"a record of five fields",
         "start:" + gbk("基本;通用;帐号;账号;;2010-10-01<br>基本;通用;以经;已经;2010-10-01"),
         "更新错误！",
         {u("在坐|在座|"), u("帐号|账号|-")},
         false},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        reopen(QStringLiteral("case%1").arg(++n));
        store("在坐", "在座", "", kOct1);
        const UserInfo before = *db().userInfo("-12345");
        server.answer("/gxjdch.asp", c.answer);
        run("menuUpdateWords");
        ASSERT_EQ(prompter.messages.size(), 1u);
        EXPECT_EQ(prompter.messages[0].text, u(c.box));
        EXPECT_EQ(rows(), c.after);
        UserInfo expected = before;
        if (c.moved) expected.pdwdate = QDateTime(QDate(2026, 3, 14), QTime(0, 0));
        EXPECT_EQ(db().userInfo("-12345"), expected);
        run("menuUpdateWords");
        EXPECT_EQ(requestsTo("/gxjdch.asp").back().param("gxrq"),
                  gbk(c.moved ? "2026年3月14日" : "1899年12月30日"));
    }
}

TEST_F(OnlineWindowTest, TheSwitchClickedDuringAScanIsIgnoredAndKeepsItsTick) {
    addEntry("基本", "按装", "安装");
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        writeDocument(QString::fromLatin1(name), gbk("按装"));
    open();
    changeDirectory(documents());
    QAction* toggle = find("menuAutoUpdate");
    const bool ticked = toggle->isChecked();
    const UserInfo stored = *db().userInfo("-12345");
    bool busySeen = false;
    QTimer::singleShot(0, window.get(), [&] {
        busySeen = window->isBusy();
        toggle->trigger();
    });
    run("menuProofread");
    EXPECT_TRUE(busySeen);
    EXPECT_EQ(toggle->isChecked(), ticked);
    EXPECT_EQ(db().userInfo("-12345"), stored);
}

}  // namespace
