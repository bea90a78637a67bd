#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "gui/userinfo/UserInfoWindow.h"
#include "support/CaptionRecorder.h"
#include "support/LoopbackServer.h"
#include "support/SmallDisk.h"
#include "support/SmtpPeer.h"
#include "support/WindowFixture.h"

namespace {

using Icon = Prompter::Icon;

QString u(const char* text) { return QString::fromUtf8(text); }

const char* const kSaving = "正在报讯用户信息 ……";
const char* const kCheckingNetwork = "检查互联网连接 ……";
const char* const kOnline = "已连接到互联网 ……";
const char* const kOffline = "互联网连接失败！不能提交用户信息";
const char* const kSaved = "用户信息已保存！";
const char* const kSubmitted = "用户信息已保存并提交！";
const char* const kCheckingMail = "检测发信服务器 ……";
// The test peer offers no STARTTLS: the password goes in clear, and the notice says so.
const char* const kMailOk =
    "发信服务器连接成功！\r\n邮箱地址用户名和登录口令核对无误！"
    "\r\n注意：该服务器不支持加密，密码以明文发送。";
const char* const kMailFailed = "发信服务器连接失败！\r\n请检查核实邮箱地址用户名和登录口令！";

enum Row { Name, Email, Smtp, MailUser, Password, Server };

// How a cell of the grid shows `text` on screen.
QImage looks(QTableWidget* table, int row, int column, const QString& text) {
    QTableWidgetItem* item = table->item(row, column);
    item->setText(text);
    return table->viewport()->grab(table->visualItemRect(item)).toImage();
}

// The user information window over the main window's library, shown
// offscreen; cells are edited through the grid's editor as the user does.
class UserInfoWindowTest : public WindowFixture {
  protected:
    LoopbackServer server;
    CaptionRecorder recorder;
    std::unique_ptr<UserInfoWindow> userInfo;

    UserInfoWindowTest() { platform.serverUrl = server.baseUrl(); }

    UserInfoWindow& open() {
        if (!window) start();
        userInfo =
            std::make_unique<UserInfoWindow>(window->database(), prompter, platform, window.get());
        userInfo->show();
        settle();
        control<QLabel>("userInfoStatusLabel")->installEventFilter(&recorder);
        return *userInfo;
    }
    template <typename T>
    T* control(const char* name) {
        T* found = userInfo->findChild<T*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QTableWidget* grid() { return control<QTableWidget>("userInfoGrid"); }
    QString cell(int row, int column = 1) { return grid()->item(row, column)->text(); }
    QStringList values() {
        QStringList texts;
        for (int row = Name; row <= Password; ++row) texts << cell(row);
        return texts;
    }
    static void settle() {
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }
    void edit(int row, const QString& text) {
        QTableWidgetItem* item = grid()->item(row, 1);
        grid()->setCurrentItem(item);
        grid()->editItem(item);
        auto* editor = qobject_cast<QLineEdit*>(grid()->indexWidget(grid()->indexFromItem(item)));
        ASSERT_NE(editor, nullptr) << row;
        editor->setText(text);
        QTest::keyClick(editor, Qt::Key_Return);
        settle();
    }
    void fill(const QStringList& texts) {
        for (int row = Name; row < texts.size(); ++row) edit(row, texts[row]);
    }
    void click(const char* button) {
        recorder.captions.clear();
        prompter.messages.clear();
        control<QPushButton>(button)->click();
    }
    // Clicks and expects exactly one notice, returned.
    QString clickForNotice(const char* button) {
        prompter.expectMessage();
        click(button);
        EXPECT_EQ(prompter.messages.size(), 1u);
        if (prompter.messages.empty()) return {};
        const auto& box = prompter.messages.back();
        EXPECT_EQ(box.icon, Icon::Information);
        EXPECT_EQ(box.title, u("提示："));
        return box.text;
    }
    // A computer whose library holds no user record yet.
    QByteArray newComputer() {
        platform.id = QStringLiteral("770077");
        EXPECT_FALSE(window->database().userInfo("770077"));
        return "770077";
    }
    void storeRecord(const QStringList& texts) {
        auto info = window->database().userInfo(platform.id.toLatin1());
        ASSERT_TRUE(info);
        info->puser = gbk(texts[Name]);
        info->pemail = gbk(texts[Email]);
        info->psmtp = gbk(texts[Smtp]);
        info->pfxyhm = gbk(texts[MailUser]);
        info->pdlkl = gbk(texts[Password]);
        ASSERT_TRUE(window->database().writeUserInfo(*info));
    }
};

TEST_F(UserInfoWindowTest, TheMenuOpensTheStoredRecordModally) {
    start();
    storeRecord({"张三", "zs@x.cn", "smtp.x.cn", "zs", "pa55"});

    bool checked = false;
    QTimer::singleShot(0, window.get(), [&] {
        auto* dialog = qobject_cast<UserInfoWindow*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->isModal());
        EXPECT_EQ(dialog->windowTitle(), u("用户信息"));
        auto* table = dialog->findChild<QTableWidget*>(QStringLiteral("userInfoGrid"));
        ASSERT_NE(table, nullptr);
        ASSERT_EQ(table->rowCount(), 6);
        ASSERT_EQ(table->columnCount(), 2);
        QStringList labels;
        QStringList stored;
        for (int row = 0; row < 6; ++row) {
            labels << table->item(row, 0)->text();
            stored << table->item(row, 1)->text();
            EXPECT_EQ(table->item(row, 0)->foreground().color(), QColor(0, 0, 0x80)) << row;
            EXPECT_FALSE(table->item(row, 0)->flags() & Qt::ItemIsEditable) << row;
        }
        EXPECT_EQ(labels, QStringList({"用户名", "电子邮箱", "邮箱服务器（SMTP）", "邮箱用户",
                                       "邮箱登录口令", "服务器地址"}));
        EXPECT_EQ(stored, QStringList({"张三", "zs@x.cn", "smtp.x.cn", "zs", "pa55",
                                       QString::fromLatin1(platform.serverUrl)}));

        // Two passwords of one length look alike on screen; two user names,
        // or two labels of the password row, do not.
        EXPECT_EQ(looks(table, Password, 1, u("pa55")), looks(table, Password, 1, u("xy99")));
        EXPECT_NE(looks(table, MailUser, 1, u("pa55")), looks(table, MailUser, 1, u("xy99")));
        EXPECT_NE(looks(table, Password, 0, u("邮箱登录口令")),
                  looks(table, Password, 0, u("邮箱登录密码")));
        table->editItem(table->item(Password, 1));
        auto* editor = qobject_cast<QLineEdit*>(
            table->indexWidget(table->indexFromItem(table->item(Password, 1))));
        ASSERT_NE(editor, nullptr);
        EXPECT_EQ(editor->echoMode(), QLineEdit::Password);

        EXPECT_FALSE(
            dialog->findChild<QLabel*>(QStringLiteral("userInfoStatusLabel"))->isVisible());
        EXPECT_EQ(dialog->findChild<QPushButton*>(QStringLiteral("okButton"))->text(), u("确  定"));
        EXPECT_EQ(dialog->findChild<QPushButton*>(QStringLiteral("mailCheckButton"))->text(),
                  u("检测邮箱"));
        checked = true;
        dialog->reject();
    });
    find("menuUserInfo")->trigger();
    EXPECT_TRUE(checked);
}

TEST_F(UserInfoWindowTest, EditedValuesAreTrimmedAndAnAddressGivesTheMailSettings) {
    open();
    edit(Smtp, u("  mail.keep "));
    edit(Name, u("  张 三  "));
    EXPECT_EQ(cell(Name), u("张 三"));
    EXPECT_EQ(cell(Smtp), u("mail.keep"));  // only the e-mail row derives anything

    edit(Email, u("  a@b@c  "));
    EXPECT_EQ(values(), QStringList({"张 三", "a@b@c", "smtp.b@c", "a", ""}));

    // An address without "@" is only advised against.
    prompter.expectMessage();
    edit(Email, u(" nobody.example.cn "));
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].icon, Icon::Information);
    EXPECT_EQ(prompter.messages[0].title, u("提示："));
    EXPECT_EQ(prompter.messages[0].text, u("邮箱格式错误！"));
    EXPECT_EQ(values(), QStringList({"张 三", "nobody.example.cn", "smtp.b@c", "a", ""}));

    // Tabs are not blanks; an emptied address says nothing.
    edit(MailUser, u("\tz "));
    EXPECT_EQ(cell(MailUser), u("\tz"));
    edit(Email, u("   "));
    EXPECT_EQ(cell(Email), u(""));
    EXPECT_EQ(prompter.messages.size(), 1u);
    EXPECT_TRUE(prompter.allAnswered());
}

TEST_F(UserInfoWindowTest, AMissingNameOrAddressSavesNothing) {
    start();
    const QByteArray machine = newComputer();
    platform.online = true;
    server.answer("/tjyhxx.asp", "ok!");
    open();

    fill({"", "a@b.cn"});
    EXPECT_EQ(clickForNotice("okButton"), u("请填写用户名！"));
    edit(Name, u("张三"));
    edit(Email, u(""));
    EXPECT_EQ(clickForNotice("okButton"), u("请填写用户电子邮箱！"));

    EXPECT_FALSE(window->database().userInfo(machine));
    EXPECT_TRUE(recorder.captions.isEmpty());
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(UserInfoWindowTest, ConfirmingCreatesTheRecordAndReportsItToTheServer) {
    start();
    const QByteArray machine = newComputer();
    platform.online = true;
    server.answer("/tjyhxx.asp", "ok!");
    open();
    fill({"张三", "zs@x.cn"});
    edit(Password, u("pw"));

    EXPECT_EQ(clickForNotice("okButton"), u(kSubmitted));
    EXPECT_EQ(recorder.captions, QStringList({kSaving, kCheckingNetwork, kOnline}));
    EXPECT_FALSE(control<QLabel>("userInfoStatusLabel")->isVisible());
    EXPECT_TRUE(userInfo->isVisible());

    const auto stored = window->database().userInfo(machine);
    ASSERT_TRUE(stored);
    const QDateTime oct1(QDate(2010, 10, 1), QTime(0, 0));
    EXPECT_EQ(stored->pupdate, oct1);
    EXPECT_EQ(stored->pdwdate, oct1);
    EXPECT_EQ(stored->puser, gbk(u("张三")));
    EXPECT_EQ(stored->pemail, "zs@x.cn");
    EXPECT_EQ(stored->psmtp, "smtp.x.cn");
    EXPECT_EQ(stored->pfxyhm, "zs");
    EXPECT_EQ(stored->pdlkl, "pw");

    // Only the user information page is asked; the reachability page is not.
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, "/tjyhxx.asp");
    EXPECT_EQ(requests[0].param("usnm"), gbk(u("张三")));
    EXPECT_EQ(requests[0].param("usid"), machine);
    EXPECT_EQ(requests[0].param("usemail"), "zs@x.cn");
}

TEST_F(UserInfoWindowTest, AnAnswerOtherThanOkStillLeavesTheRecordSaved) {
    start();
    const QByteArray machine = newComputer();
    platform.online = true;
    open();
    fill({"a", "a@b.cn"});
    server.answer("/tjyhxx.asp", "ok!\r\n");
    EXPECT_EQ(clickForNotice("okButton"), u(kSaved));
    server.answer("/tjyhxx.asp", "error!");
    EXPECT_EQ(clickForNotice("okButton"), u(kSaved));
    EXPECT_EQ(server.requests().size(), 2u);
    ASSERT_TRUE(window->database().userInfo(machine));
    EXPECT_EQ(window->database().userInfo(machine)->puser, "a");
}

TEST_F(UserInfoWindowTest, OfflineTheRecordIsSavedAndNothingSent) {
    start();
    const QByteArray machine = platform.id.toLatin1();
    const auto before = window->database().userInfo(machine);
    ASSERT_TRUE(before);
    server.answer("/tjyhxx.asp", "ok!");
    open();
    fill({"李四", "ls@y.cn"});
    edit(Smtp, u("mail.y.cn"));

    EXPECT_EQ(clickForNotice("okButton"), u(kSaved));
    EXPECT_EQ(recorder.captions, QStringList({kSaving, kCheckingNetwork, kOffline}));
    EXPECT_FALSE(control<QLabel>("userInfoStatusLabel")->isVisible());
    EXPECT_TRUE(server.requests().empty());

    // The existing record keeps its dates and switch.
    UserInfo expected = *before;
    expected.puser = gbk(u("李四"));
    expected.pemail = "ls@y.cn";
    expected.psmtp = "mail.y.cn";
    expected.pfxyhm = "ls";
    EXPECT_EQ(window->database().userInfo(machine), expected);
}

TEST_F(UserInfoWindowTest, CharactersGbkCannotHoldAreNotDroppedSilently) {
    start();
    const QByteArray machine = newComputer();
    open();
    fill({u("张三😀"), "a@b.cn"});
    EXPECT_EQ(clickForNotice("okButton"), u("含有不能以GBK保存的字符：😀"));
    EXPECT_FALSE(window->database().userInfo(machine));
    EXPECT_TRUE(recorder.captions.isEmpty());
}

// A team's own server: chosen in the window, kept for this computer only,
// and asked by the window and the main window's exchanges from then on.
TEST_F(UserInfoWindowTest, TheServerAddressIsStoredAndUsed) {
    const QByteArray builtIn = "http://127.0.0.1:1";  // nothing answers there
    platform.serverUrl = builtIn;
    platform.online = true;
    server.answer("/tjyhxx.asp", "ok!");
    start();
    open();
    fill({"张三", "zs@x.cn"});
    for (const char* refused : {"ftp://h", "http://", "http://h /x", "h:8642"}) {
        edit(Server, u(refused));
        EXPECT_EQ(clickForNotice("okButton"), u("服务器地址须以 http:// 或 https:// 开头！"))
            << refused;
    }
    EXPECT_TRUE(server.requests().empty());
    edit(Server, u(""));  // emptied: the build's address again
    EXPECT_EQ(cell(Server), QString::fromLatin1(builtIn));

    edit(Server, QString::fromLatin1(server.baseUrl()));
    EXPECT_EQ(clickForNotice("okButton"), u(kSubmitted));
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(window->database().setting(platform.id.toLatin1(), "server"), server.baseUrl());
    userInfo.reset();
    open();
    EXPECT_EQ(cell(Server), QString::fromLatin1(server.baseUrl()));

    server.answer("/index.asp", "Halvorn");
    server.answer("/gxjdch.asp", "none");
    prompter.expectMessage();
    find("menuUpdateWords")->trigger();
    ASSERT_GE(server.requests().size(), 2u);
    EXPECT_EQ(server.requests().back().path, "/gxjdch.asp");

    // Choosing the build's address again forgets the choice.
    edit(Server, QString::fromLatin1(builtIn));
    EXPECT_EQ(clickForNotice("okButton"), u(kSaved));
    EXPECT_EQ(window->database().setting(platform.id.toLatin1(), "server"), std::nullopt);
}

// On a read-only disk (read-only even for root) the record is shown, and 确  定
// neither changes it nor reports it.
TEST_F(UserInfoWindowTest, AReadOnlyLibraryIsNotWritten) {
    SmallDisk disk(1024 * 1024);
    if (!disk.available()) GTEST_SKIP() << "needs root to mount a small disk";
    platform.programDir = disk.path() + QStringLiteral("/");
    start();
    storeRecord({"张三", "zs@x.cn", "", "", ""});
    auto info = window->database().userInfo(platform.id.toLatin1());
    info->pzdgx = false;  // no download at the next start
    ASSERT_TRUE(window->database().writeUserInfo(*info));
    window.reset();
    ASSERT_TRUE(disk.makeReadOnly());
    platform.online = true;
    server.answer("/tjyhxx.asp", "ok!");
    start();
    open();
    EXPECT_EQ(cell(Name), u("张三"));
    edit(Name, u("李四"));
    EXPECT_EQ(clickForNotice("okButton"), u("词库为只读，无法保存！"));
    EXPECT_EQ(window->database().userInfo(platform.id.toLatin1())->puser, gbk(u("张三")));
    EXPECT_TRUE(server.requests().empty());
}

class MailCheckTest : public UserInfoWindowTest {
  protected:
    // The window's values for the peer's account; the server row is the peer.
    void fillAccount(const QString& password = QStringLiteral("s3cret")) {
        fill({"alice", "alice@example.cn"});
        edit(Smtp, u("127.0.0.1"));
        edit(Password, password);
    }
};

TEST_F(MailCheckTest, TheRightPasswordLogsInOnPort25) {
    SmtpPeer peer;
    platform.smtpPort = peer.port();
    open();
    fillAccount();
    ASSERT_EQ(values(), QStringList({"alice", "alice@example.cn", "127.0.0.1", "alice", "s3cret"}));

    EXPECT_EQ(clickForNotice("mailCheckButton"), u(kMailOk));
    EXPECT_EQ(recorder.captions, QStringList({kCheckingMail}));
    EXPECT_FALSE(control<QLabel>("userInfoStatusLabel")->isVisible());
    ASSERT_EQ(platform.smtpRequests.size(), 1u);
    const auto& asked = platform.smtpRequests[0];
    EXPECT_EQ(asked.server, "127.0.0.1");
    EXPECT_EQ(asked.port, 25);
    EXPECT_EQ(asked.user, "alice");
    EXPECT_EQ(asked.password, "s3cret");
    EXPECT_EQ(asked.timeoutMs, 3000);
    EXPECT_TRUE(peer.events(QStringLiteral("quit")).contains(QStringLiteral("auth ok alice")));
}

TEST_F(MailCheckTest, EveryKindOfFailureGivesTheSameNotice) {
    SmtpPeer peer;
    SmtpPeer noAuth({.noAuth = true});
    open();
    fillAccount(u("wrong"));
    platform.smtpPort = peer.port();
    EXPECT_EQ(clickForNotice("mailCheckButton"), u(kMailFailed));
    EXPECT_TRUE(peer.events(QStringLiteral("auth failed alice"))
                    .contains(QStringLiteral("auth failed alice")));

    edit(Password, u("s3cret"));
    platform.smtpPort = noAuth.port();
    EXPECT_EQ(clickForNotice("mailCheckButton"), u(kMailFailed));

    platform.smtpPort = SilentPort().port();  // closed again at once
    EXPECT_EQ(clickForNotice("mailCheckButton"), u(kMailFailed));

    platform.smtpPort = 0;
    edit(Smtp, u("smtp.nosuch.invalid"));
    EXPECT_EQ(clickForNotice("mailCheckButton"), u(kMailFailed));
    EXPECT_EQ(platform.smtpRequests.size(), 4u);
    EXPECT_FALSE(control<QLabel>("userInfoStatusLabel")->isVisible());
}

TEST_F(MailCheckTest, ASilentServerFailsAfterTheTimeOut) {
    SilentPort silent;
    platform.smtpPort = silent.port();
    open();
    fillAccount();
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(clickForNotice("mailCheckButton"), u(kMailFailed));
    EXPECT_LT(clock.elapsed(), 4000);
}

TEST_F(MailCheckTest, NothingHappensWithoutAnAddress) {
    SmtpPeer peer;
    platform.smtpPort = peer.port();
    open();
    fillAccount();
    edit(Email, u(""));
    click("mailCheckButton");
    EXPECT_TRUE(prompter.messages.empty());
    EXPECT_TRUE(recorder.captions.isEmpty());
    EXPECT_TRUE(platform.smtpRequests.empty());
}

TEST_F(MailCheckTest, TheGridsUnsavedValuesAreTested) {
    SmtpPeer peer;
    platform.smtpPort = peer.port();
    start();
    storeRecord({"alice", "alice@example.cn", "127.0.0.1", "alice", "old"});
    open();
    edit(Password, u("s3cret"));
    EXPECT_EQ(clickForNotice("mailCheckButton"), u(kMailOk));
    // The check changes nothing in the library.
    EXPECT_EQ(window->database().userInfo(platform.id.toLatin1())->pdlkl, "old");
}

}  // namespace
