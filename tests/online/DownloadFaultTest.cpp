#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "platform/CurlHttp.h"
#include "support/FaultyServer.h"
#include "support/KillDuringRun.h"
#include "support/LibraryLock.h"
#include "support/LibraryProbe.h"
#include "support/WindowFixture.h"

// A download that meets a misbehaving server ends in its failure path within
// the time-outs, the library unchanged; an exchange whose library refuses a
// read or a write stops and says why; one killed in the middle of merging
// leaves a sound library holding the records merged before the kill.

namespace {

using Icon = Prompter::Icon;

struct Fault {
    const char* name;
    FaultyServer::Behaviour behaviour;
};

class DownloadFaultTest : public WindowFixture {
  protected:
    FaultyServer server;

    DownloadFaultTest() {
        platform.serverUrl = server.baseUrl();
        platform.online = true;
        // The program's own cap; the low-speed limit shortened so that the
        // test waits seconds, not a quarter of a minute.
        platform.httpLimits = HttpLimits();
        platform.httpLimits.lowSpeedSeconds = 2;
    }
    std::vector<std::string> libraryRows() {
        std::vector<std::string> rows;
        for (const WordEntry& e : window->database().allEntries())
            rows.push_back(QStringLiteral("%1 %2 %3 %4")
                               .arg(e.tid)
                               .arg(fromGbk(e.terror), fromGbk(e.tright), fromGbk(e.tbut))
                               .toStdString());
        return rows;
    }
};

std::vector<Fault> faults() {
    return {{"garbage", FaultyServer::garbage()},
            {"garbage body", FaultyServer::answer(QByteArray("\x00\xFFstart\x01", 8))},
            {"closes at once", FaultyServer::closeAtOnce()},
            {"100 MB announced", FaultyServer::endless(100 << 20, true)},
            {"100 MB unannounced", FaultyServer::endless(100 << 20, false)},
            {"one byte a second", FaultyServer::trickle()}};
}

TEST_F(DownloadFaultTest, EachFaultEndsInTheFailurePathWithinTheTimeOutsLibraryUnchanged) {
    EXPECT_EQ(HttpLimits().maxBodyBytes, 16 << 20);
    addEntry("基本", "按装", "安装", "按装好");
    start();
    const std::vector<std::string> before = libraryRows();
    const auto userBefore = window->database().userInfo(platform.id.toLatin1());
    const qint64 limitMs =
        platform.httpLimits.connectTimeoutMs + platform.httpLimits.lowSpeedSeconds * 1000 + 3000;

    for (const Fault& fault : faults()) {
        // At the reachability check, then at the download itself.
        for (const bool atCheck : {true, false}) {
            SCOPED_TRACE(std::string(fault.name) +
                         (atCheck ? " at the check" : " at the download"));
            const QByteArray validRecords =
                "start:" + gbk(QStringLiteral("基本;通用;在坐;在座;;2010年10月1日"));
            server.on("/index.asp",
                      atCheck ? fault.behaviour : FaultyServer::answer("<html>Halvorn</html>"));
            server.on("/gxjdch.asp",
                      atCheck ? FaultyServer::answer(validRecords) : fault.behaviour);
            prompter.messages.clear();
            prompter.expectMessage();
            QElapsedTimer timer;
            timer.start();
            find("menuUpdateWords")->trigger();
            EXPECT_LT(timer.elapsed(), limitMs);
            EXPECT_TRUE(prompter.allAnswered());
            ASSERT_EQ(prompter.messages.size(), 1u);
            const ScriptedPrompter::Message& box = prompter.messages.back();
            if (atCheck) {
                EXPECT_EQ(box.icon, Icon::Error);
                EXPECT_EQ(box.title, QStringLiteral("提示："));
                EXPECT_EQ(box.text, QStringLiteral("与网站通讯失败！"));
            } else {
                EXPECT_EQ(box.icon, Icon::Information);
                EXPECT_EQ(box.title, QStringLiteral("提示"));
                EXPECT_EQ(box.text, QStringLiteral("更新错误！"));
            }
            EXPECT_EQ(libraryRows(), before);
            EXPECT_EQ(window->database().userInfo(platform.id.toLatin1()), userBefore);
        }
    }
}

TEST_F(DownloadFaultTest,
       AStartUpDownloadFromASlowServerRunsInTheShownWindowUntilCancelledOrAMinutePasses) {
    struct Case {
        const char* name;
        bool cancel;  // else a minute passes
        std::vector<QString> boxes;
    };
    const Case cases[] = {
        {"取消", true, {}},
        {"a minute", false, {QStringLiteral("更新错误！")}},
    };
    // Slow, but never slow enough for the per-request limits.
    platform.httpLimits.lowSpeedBytesPerSecond = 0;
    server.on("/index.asp", FaultyServer::answer("<html>Halvorn</html>"));
    server.on("/gxjdch.asp", FaultyServer::trickle());
    addEntry("基本", "按装", "安装");
    start();  // the first start switches automatic updating on
    const std::vector<std::string> before = libraryRows();
    const auto userBefore = window->database().userInfo(platform.id.toLatin1());

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        window.reset();
        prompter.messages.clear();
        platform.requestedUrls.clear();
        start();
        EXPECT_TRUE(platform.requestedUrls.isEmpty());  // nothing while the window is built
        for (size_t i = 0; i < c.boxes.size(); ++i) prompter.expectMessage();
        bool seen = false;
        QTimer::singleShot(300, window.get(), [&] {
            seen = window->isVisible() && find<QLabel>("label4")->isVisible() &&
                   find<QLabel>("label4")->text() == QStringLiteral("正在检查当前更新词汇 ……") &&
                   find<QPushButton>("cancelDownloadButton")->isVisible();
            if (c.cancel)
                find<QPushButton>("cancelDownloadButton")->click();
            else
                platform.clock = platform.clock.addSecs(60);
        });
        QElapsedTimer timer;
        timer.start();
        window->show();
        EXPECT_TRUE(QTest::qWaitFor([&] { return seen && !window->isBusy(); }, 10000));
        EXPECT_LT(timer.elapsed(), 5000);
        EXPECT_TRUE(seen);
        EXPECT_FALSE(find<QLabel>("label4")->isVisible());
        EXPECT_FALSE(find<QPushButton>("cancelDownloadButton")->isVisible());
        EXPECT_TRUE(prompter.allAnswered());
        std::vector<QString> boxes;
        for (const auto& box : prompter.messages) boxes.push_back(box.text);
        EXPECT_EQ(boxes, c.boxes);
        EXPECT_EQ(libraryRows(), before);
        EXPECT_EQ(window->database().userInfo(platform.id.toLatin1()), userBefore);
    }
}

TEST_F(DownloadFaultTest, ALibraryThatRefusesAReadOrAWriteStopsTheExchangeWithItsReason) {
    struct Case {
        const char* name;
        std::vector<const char*> otherProgram;  // on its own connection, held open
        const char* menu;
        const char* text;    // how the box begins
        const char* reason;  // what the library said
    };
    const Case cases[] = {
        {"download, the library locked for writing",
         {"BEGIN IMMEDIATE"},
         "menuUpdateWords",
         "词库写入失败：",
         "locked"},
        {"switch, the library locked for writing",
         {"BEGIN IMMEDIATE"},
         "menuAutoUpdate",
         "词库写入失败：",
         "locked"},
        {"submission, the entries gone",
         {"ALTER TABLE words RENAME TO gone"},
         "menuSubmitWords",
         "词库读取失败：",
         "no such table"},
    };
    server.on("/index.asp", FaultyServer::answer("<html>Halvorn</html>"));
    server.on("/gxjdch.asp",
              FaultyServer::answer(gbk(QStringLiteral(
                  "start:基本;通用;在坐;在座;;2010-10-01<br>"
                  "基本;通用;帐号;账号;;2010-10-01<br>基本;通用;以经;已经;;2010-10-01"))));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        window.reset();
        for (const char* suffix : {"", "-wal", "-shm"}) QFile::remove(libraryPath() + suffix);
        start();
        // The switch off, as the tick shows it.
        UserInfo info = *window->database().userInfo(platform.id.toLatin1());
        info.pzdgx = false;
        ASSERT_TRUE(window->database().writeUserInfo(info));
        ASSERT_FALSE(find("menuAutoUpdate")->isChecked());
        prompter.messages.clear();
        prompter.expectMessage();
        {
            LibraryLock other(libraryPath(), c.otherProgram);
            find(c.menu)->trigger();
        }
        ASSERT_EQ(prompter.messages.size(), 1u);
        const ScriptedPrompter::Message& box = prompter.messages[0];
        EXPECT_EQ(box.icon, Icon::Error);
        EXPECT_EQ(box.title, QStringLiteral("提示："));
        EXPECT_TRUE(box.text.startsWith(QString::fromUtf8(c.text))) << box.text.toStdString();
        EXPECT_TRUE(box.text.contains(QLatin1String(c.reason))) << box.text.toStdString();
        EXPECT_TRUE(find<QLabel>("label4")->isHidden());
        EXPECT_FALSE(find("menuAutoUpdate")->isChecked());
        EXPECT_EQ(window->database().userInfo(platform.id.toLatin1()), info);
        EXPECT_TRUE(libraryRows().empty());
    }
}

TEST(DownloadKillTest, AMergeKilledMidwayKeepsASoundLibraryWithTheRecordsBeforeTheKill) {
    constexpr int kBefore = 20;
    constexpr int kRecords = 5000;
    QTemporaryDir dir;
    const QString library = dir.filePath(QStringLiteral("jdck.mdb"));
    const QString answer = dir.filePath(QStringLiteral("answer.txt"));
    {
        QByteArrayList records;
        for (int i = 0; i < kRecords; ++i)
            records << gbk(QStringLiteral("基本;通用;错字%1;正字%1;错字%1了;2010年10月1日").arg(i));
        QFile f(answer);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("start:" + records.join("<br>"));
    }
    auto wrongOf = [](const char* form, int i) {
        return gbk(QString::fromUtf8(form)) + QByteArray::number(i);
    };

    int midRun = 0;
    // Kills land at different points of a record's store, some microseconds after a commit.
    const std::pair<int, int> rounds[] = {{1, 0}, {300, 7}, {1200, 23}, {2500, 61}, {4000, 150}};
    for (const auto& [k, delayUs] : rounds) {
        for (const char* suffix : {"", "-wal", "-shm"}) QFile::remove(library + suffix);
        {
            WordDatabase db;
            ASSERT_EQ(db.open(library), WordDatabase::OpenResult::Created);
            for (int i = 0; i < kBefore; ++i) {
                WordEntry e;
                e.tgrade = gbk(QStringLiteral("基本"));
                e.terror = wrongOf("原有", i);
                e.tright = gbk(QStringLiteral("正"));
                ASSERT_GT(db.addEntry(e), 0);
            }
        }
        LibraryProbe watch(library);
        qint64 seen = 0;
        const bool killed = killWhen(
            QStringLiteral(TAVREL_WINDOW_HELPER), {QStringLiteral("download"), dir.path(), answer},
            [&] {
                seen = watch.rowCount();
                return seen >= kBefore + k;
            },
            std::chrono::microseconds(delayUs));

        WordDatabase db;
        ASSERT_EQ(db.open(library), WordDatabase::OpenResult::Opened) << "kill at " << k;
        const std::vector<WordEntry> rows = db.allEntries();
        db.close();
        EXPECT_EQ(LibraryProbe(library).integrity(), "ok") << "kill at " << k;
        // The rows it had, then the first records of the answer in order.
        ASSERT_GE(rows.size(), size_t(kBefore + k)) << "kill at " << k;
        for (size_t i = 0; i < rows.size(); ++i) {
            const bool old = i < size_t(kBefore);
            EXPECT_EQ(rows[i].terror,
                      old ? wrongOf("原有", int(i)) : wrongOf("错字", int(i) - kBefore))
                << "row " << i << ", kill at " << k;
        }
        if (killed && rows.size() < size_t(kBefore + kRecords)) ++midRun;
    }
    EXPECT_GE(midRun, 3);
}

}  // namespace
