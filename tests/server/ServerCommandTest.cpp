#include <QDir>
#include <QFile>
#include <QProcess>

#include "library/LibraryText.h"
#include "library/WordDatabase.h"
#include "online/ServerClient.h"
#include "online/UpdateMerger.h"
#include "server/ExchangeFixture.h"
#include "support/FakePlatform.h"
#include "text/GbkCodec.h"

using P = ServerProtocol;

namespace {

WordEntry entry(const QByteArray& wrong, const QByteArray& right, const QByteArray& exceptions) {
    WordEntry e;
    e.tgrade = gbk("基本");
    e.tclass = gbk("通用");
    e.terror = wrong;
    e.tright = right;
    e.tbut = exceptions;
    return e;
}

P::Query submission(const QByteArray& wrong, const QByteArray& right, const QByteArray& but) {
    return {{"usid", "5"},      {"jb", gbk("基本")},  {"lb", gbk("通用")},
            {"errword", wrong}, {"rightword", right}, {"butword", but}};
}

QStringList ids(const std::vector<Submission>& subs) {
    QStringList list;
    for (const Submission& s : subs) list << QString::number(s.id);
    return list;
}

}  // namespace

using Moderation = ExchangeFixture;

TEST_F(Moderation, ListApproveRejectAndTheDownloadFollows) {
    ASSERT_EQ(body("/tjyhxx.asp", {{"usnm", gbk("张三")}, {"usid", "5"}, {"usemail", "z@a.cn"}}),
              "ok!");
    for (const auto& [wrong, right] : {std::pair{"a", "b"}, {"c", "d"}, {"e", "f"}})
        ASSERT_EQ(body("/tjjdch.asp", submission(wrong, right, QByteArray(wrong) + "x\ty")), "ok!");
    const std::vector<Submission> pending = store_.pending();
    ASSERT_EQ(pending.size(), 3u);

    const CommandRun list = command({"review", "list"});
    EXPECT_EQ(list.status, 0) << list.err.toStdString();
    const QByteArrayList lines = list.out.split('\n');
    ASSERT_EQ(lines.size(), 5);  // header, three rows, the closing line break
    EXPECT_TRUE(lines[0].startsWith("id\t"));
    EXPECT_EQ(lines[1], QByteArray::number(pending[0].id) + '\t' +
                            clock_.toString(Qt::ISODate).toLatin1() +
                            "\t5\t\tz@a.cn\t基本\t通用\ta\tb\tax\\ty");

    // An unknown number spoils the whole decision.
    const CommandRun bad = command({"review", "approve", QString::number(pending[0].id), "999"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_TRUE(bad.err.contains("999"));
    EXPECT_EQ(store_.pending().size(), 3u);
    EXPECT_EQ(body("/gxjdch.asp", {{"usid", "5"}, {"gxrq", "2010-10-01"}}), "none");

    const CommandRun approve = command(
        {"review", "approve", QString::number(pending[0].id), QString::number(pending[2].id)});
    EXPECT_EQ(approve.status, 0) << approve.err.toStdString();
    const CommandRun reject = command({"review", "reject", QString::number(pending[1].id)});
    EXPECT_EQ(reject.status, 0) << reject.err.toStdString();
    EXPECT_TRUE(store_.pending().empty());
    // Decided is decided.
    EXPECT_EQ(command({"review", "reject", QString::number(pending[0].id)}).status, 2);

    const P::UpdateAnswer answer =
        P::classifyUpdateAnswer(body("/gxjdch.asp", {{"usid", "5"}, {"gxrq", "2010-10-01"}}));
    ASSERT_EQ(answer.kind, P::UpdateKind::Records);
    ASSERT_EQ(answer.records.size(), 2);
    EXPECT_EQ(answer.records[0].mid(0, 5),
              QByteArrayList({gbk("基本"), gbk("通用"), "a", "b", "ax\ty"}));
    EXPECT_EQ(P::parseDateText(answer.records[0][5]).date(), QDate::currentDate());
    EXPECT_EQ(answer.records[1][2], "e");

    // The approved entry sent back by a program queues nothing.
    ASSERT_EQ(body("/tjjdch.asp", submission("a", "b", "ax\ty")), "ok!");
    EXPECT_TRUE(store_.pending().empty());

    for (const QStringList& usage :
         {QStringList{"review"}, QStringList{"review", "approve"},
          QStringList{"review", "approve", "x"}, QStringList{"review", "list", "more"},
          QStringList{"other"}, QStringList{"--listen", "8642"}, QStringList{"--listen", ":8642"},
          QStringList{"--listen", "[]:8642"}, QStringList{"--listen", "127.0.0.1:65536"},
          QStringList{"--workers", "0"}})
        EXPECT_EQ(command(usage).status, 2) << usage.join(' ').toStdString();
}

TEST_F(Moderation, PublishTakesTheExportTextAllOrNone) {
    QTemporaryDir files;
    const QString good = files.filePath("good.tsv");
    const QString bad = files.filePath("bad.tsv");
    auto write = [](const QString& path, const std::vector<WordEntry>& entries) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(LibraryText::write(entries));
    };
    write(good, {entry(gbk("在坐"), gbk("在座"), gbk("在坐下;坐在坐标")), entry("a", "b", "")});
    write(bad, {entry("c", "d", ""), entry("a;x", "b", "")});

    const CommandRun refused = command({"review", "publish", bad});
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(QString::fromUtf8(refused.err).contains(QStringLiteral("第 2 组")))
        << refused.err.toStdString();
    for (const WordEntry& e : {entry("a", "b<br>", ""), entry("a", "b", "ab<br>")}) {
        write(bad, {e});
        EXPECT_EQ(command({"review", "publish", bad}).status, 2);
    }
    EXPECT_EQ(command({"review", "publish", files.filePath("missing.tsv")}).status, 2);
    EXPECT_EQ(body("/gxjdch.asp", {{"usid", "5"}, {"gxrq", "2010-10-01"}}), "none");

    const CommandRun published = command({"review", "publish", good});
    EXPECT_EQ(published.status, 0) << published.err.toStdString();
    const P::UpdateAnswer answer =
        P::classifyUpdateAnswer(body("/gxjdch.asp", {{"usid", "5"}, {"gxrq", "2010-10-01"}}));
    ASSERT_EQ(answer.records.size(), 3);
    EXPECT_EQ(answer.records[0][4], gbk("在坐下"));
    EXPECT_EQ(answer.records[1][4], gbk("坐在坐标"));
    EXPECT_EQ(answer.records[2][4], "");
}

TEST_F(Moderation, KeyedDatabaseOpensOnlyWithItsKey) {
    QTemporaryDir other;
    const QString keyFile = other.filePath("key");
    QFile f(keyFile);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("s3cret key\n");
    f.close();
    const QString data = other.filePath("data");
    {
        ExchangeStore keyed;
        ASSERT_TRUE(keyed.open(data, "s3cret key"));
        QString why;
        ASSERT_TRUE(keyed.publish({entry("a", "b", "")}, clock_, &why));
    }
    QFile db(QDir(data).filePath("exchange.db"));
    ASSERT_TRUE(db.open(QIODevice::ReadOnly));
    const QByteArray before = db.readAll();
    EXPECT_FALSE(before.startsWith("SQLite format 3"));
    db.close();

    ExchangeStore plain, wrong;
    EXPECT_FALSE(plain.open(data, {}));
    EXPECT_FALSE(wrong.open(data, "other"));
    ASSERT_TRUE(db.open(QIODevice::ReadOnly));
    EXPECT_EQ(db.readAll(), before);

    QBuffer out, err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    EXPECT_EQ(
        runServerCommand({"review", "list", "--data", data, "--key-file", keyFile}, {}, out, err),
        0)
        << err.data().toStdString();
    EXPECT_EQ(runServerCommand({"review", "list", "--data", data}, {}, out, err), 2);
}

// The program's own code on both ends: its client submits, a moderator
// approves, and its download merges the entry into another library whole.
TEST_F(Moderation, SubmittedApprovedAndDownloadedIntoAnotherLibrary) {
    FakePlatform platform;
    platform.serverUrl = baseUrl();
    ServerClient client(platform);
    ASSERT_TRUE(client.checkServer());
    const WordEntry sent = entry(gbk("在坐"), gbk("在座"), gbk("在坐下;坐在坐标;在坐落处"));
    const QByteArray request = ServerClient::fillSubmitTemplate(
        ServerClient::buildSubmitTemplate(gbk("张三"), "-12345"), sent.tgrade, sent.tclass,
        sent.terror, sent.tright, sent.tbut);
    ASSERT_TRUE(client.submitEntry(request));
    ASSERT_TRUE(client.submitUserInfo(gbk("张三"), "-12345", "z@a.cn"));

    const std::vector<Submission> pending = store_.pending();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].usnm, gbk("张三"));
    const CommandRun approve = command({"review", "approve", ids(pending).front()});
    ASSERT_EQ(approve.status, 0) << approve.err.toStdString();

    QTemporaryDir libraryDir;
    WordDatabase library;
    ASSERT_EQ(library.open(libraryDir.filePath("jdck.mdb")), WordDatabase::OpenResult::Created);
    const P::UpdateAnswer answer = client.requestUpdates("-99", QDateTime());
    ASSERT_EQ(answer.kind, P::UpdateKind::Records);
    const UpdateMerger::Result merged = UpdateMerger::merge(library, answer.records);
    EXPECT_FALSE(merged.malformed);
    EXPECT_EQ(merged.changed, 3);  // added, then extended twice

    const std::vector<WordEntry> held = library.allEntries();
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(held[0].tgrade, sent.tgrade);
    EXPECT_EQ(held[0].tclass, sent.tclass);
    EXPECT_EQ(held[0].terror, sent.terror);
    EXPECT_EQ(held[0].tright, sent.tright);
    EXPECT_EQ(held[0].tbut, sent.tbut);
    EXPECT_EQ(held[0].tdate.date(), QDate::currentDate());

    // The next download changes nothing, and sending the entry back queues nothing.
    EXPECT_EQ(
        UpdateMerger::merge(library, client.requestUpdates("-99", QDateTime()).records).changed, 0);
    ASSERT_TRUE(client.submitEntry(request));
    EXPECT_TRUE(store_.pending().empty());
}

// The program itself: it says where it listens, logs each request, and ends
// cleanly on SIGTERM with its database closed.
TEST(ServerProgram, ServesUntilTerminated) {
    QTemporaryDir data;
    QProcess server;
    server.setReadChannel(QProcess::StandardError);
    server.start(qEnvironmentVariable("TAVREL_BIN_DIR") + QStringLiteral("/tavrel-server"),
                 {"--listen", "127.0.0.1:0", "--data", data.path()});
    ASSERT_TRUE(server.waitForStarted(5000));
    QByteArray said;
    while (!said.contains('\n') && server.waitForReadyRead(5000))
        said += server.readAllStandardError();
    const qsizetype at = said.indexOf("http://127.0.0.1:");
    ASSERT_GE(at, 0) << said.toStdString();
    qsizetype end = at + 17;
    while (end < said.size() && said[end] >= '0' && said[end] <= '9') ++end;
    const int port = said.mid(at + 17, end - at - 17).toInt();
    ASSERT_GT(port, 0) << said.toStdString();

    httplib::Client client("127.0.0.1", port);
    const auto res = client.Get("/tjjdch.asp?usid=3&errword=a&rightword=b");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->body, "ok!");

    server.terminate();
    ASSERT_TRUE(server.waitForFinished(5000));
    EXPECT_EQ(server.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(server.exitCode(), 0);
    said += server.readAllStandardError();
    EXPECT_TRUE(said.contains(" /tjjdch.asp usid=3 ok!")) << said.toStdString();

    ExchangeStore store;
    ASSERT_TRUE(store.open(data.path(), {}));
    EXPECT_EQ(store.pending().size(), 1u);
}
