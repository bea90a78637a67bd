#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QUtf8StringView>

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
          QStringList{"--workers", "0", "review", "list"},
          QStringList{"--workers", "1025", "review", "list"},
          QStringList{"--workers", "100000", "review", "list"}})
        EXPECT_EQ(command(usage).status, 2) << usage.join(' ').toStdString();
    EXPECT_EQ(command({"--workers", "1024", "review", "list"}).status, 0);
}

// A submission is anything at all; on the moderator's terminal every byte
// shows for what it is, and no line can pass for another.
TEST_F(Moderation, ReviewListShowsControlBytesAndBrokenCharactersEscaped) {
    const struct {
        QByteArray sent;
        QByteArray shown;
    } rows[] = {
        {gbk("按装"), "按装"},
        {"\x1b[1A\x1b[2K\r", "\\x1B[1A\\x1B[2K\\r"},
        {"a\bb\x7F", "a\\x08b\\x7F"},
        {"\xB0", "\\xB0"},
        {"\xFF\x80" + gbk("的"), "\\xFF\\x80的"},
        {"\\x1B\t\n", "\\\\x1B\\t\\n"},
    };
    const QByteArray usid = "-1234567890123456789\x1b]0;x\x07";
    for (const auto& row : rows)
        ASSERT_EQ(body("/tjjdch.asp", {{"usid", usid},
                                       {"usnm", row.sent},
                                       {"errword", row.sent},
                                       {"rightword", row.sent + " r"}}),
                  "ok!");
    const CommandRun list = command({"review", "list"});
    ASSERT_EQ(list.status, 0) << list.err.toStdString();
    for (const char c : list.out)
        EXPECT_TRUE(c == '\t' || c == '\n' || static_cast<unsigned char>(c) >= 0x20) << int(c);
    EXPECT_FALSE(list.out.contains('\x7F'));
    EXPECT_TRUE(QUtf8StringView(list.out).isValidUtf8());
    const QByteArrayList lines = list.out.split('\n');
    ASSERT_EQ(lines.size(), qsizetype(std::size(rows)) + 2);
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const QByteArrayList fields = lines[qsizetype(i) + 1].split('\t');
        ASSERT_EQ(fields.size(), 10) << lines[qsizetype(i) + 1].toStdString();
        EXPECT_EQ(fields[2], "-1234567890123456789\\x1B]0;x\\x07");
        EXPECT_EQ(fields[3], rows[i].shown);
        EXPECT_EQ(fields[7], rows[i].shown);
        EXPECT_EQ(fields[8], rows[i].shown + " r");
    }
}

// What the server makes is its owner's alone; what it finds it leaves as it
// is, and a key that others can read is named.
TEST_F(Moderation, DataIsPrivateAndAKeyOthersCanReadIsNamed) {
    QTemporaryDir root;
    const mode_t umask = ::umask(022);
    const QString data = root.filePath("made/by/server");
    const QString existing = root.filePath("existing");
    ASSERT_TRUE(QDir().mkpath(existing));
    QFile::setPermissions(existing, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                        QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                        QFile::ExeOther);
    const QString key = root.filePath("key");
    QFile keyFile(key);
    ASSERT_TRUE(keyFile.open(QIODevice::WriteOnly));
    keyFile.write("k\n");
    keyFile.close();
    auto modeOf = [](const QString& path) {
        struct stat info {};
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0u;
    };

    const struct {
        mode_t keyMode;
        QString data;
        bool warned;
    } rows[] = {
        {0644, data, true}, {0640, data, true}, {0600, data, false}, {0600, existing, false}};
    for (const auto& row : rows) {
        ASSERT_EQ(::chmod(QFile::encodeName(key).constData(), row.keyMode), 0);
        QBuffer out, err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        EXPECT_EQ(
            runServerCommand({"review", "list", "--data", row.data, "--key-file", key}, out, err),
            0)
            << err.data().toStdString();
        const QString said = QString::fromUtf8(err.data());
        EXPECT_EQ(said.contains(QStringLiteral("警告：密钥文件 ") + key), row.warned)
            << std::oct << row.keyMode << ' ' << said.toStdString();
    }
    ::umask(umask);
    for (const QString& dir : {root.filePath("made"), root.filePath("made/by"), data})
        EXPECT_EQ(modeOf(dir), 0700u) << dir.toStdString();
    EXPECT_EQ(modeOf(existing), 0755u);

    // The log and its index, made beside the database while it is written.
    ExchangeStore store;
    ASSERT_TRUE(store.open(data, "k"));
    QString why;
    ASSERT_TRUE(store.publish({entry("a", "b", "")}, clock_, &why)) << why.toStdString();
    for (const char* file : {"exchange.db", "exchange.db-wal", "exchange.db-shm"})
        EXPECT_EQ(modeOf(QDir(data).filePath(file)), 0600u) << file;
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
    EXPECT_EQ(runServerCommand({"review", "list", "--data", data, "--key-file", keyFile}, out, err),
              0)
        << err.data().toStdString();
    EXPECT_EQ(runServerCommand({"review", "list", "--data", data}, out, err), 2);
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

// Two servers on one port would each take some of the connections, and
// neither would see all of the team's submissions.
TEST(ServerProgram, APortInUseIsRefusedAndItsServerKeepsIt) {
    QTemporaryDir data;
    ExchangeStore store;
    ASSERT_TRUE(store.open(data.path(), {}));
    ExchangePages pages(store, [] { return QDateTime::currentDateTime(); });
    ExchangeServer first(pages, nullptr);
    ASSERT_TRUE(first.bind("127.0.0.1", 0));
    std::thread serving([&] { first.run(); });

    QProcess second;
    second.start(qEnvironmentVariable("TAVREL_BIN_DIR") + QStringLiteral("/tavrel-server"),
                 {"--listen", QStringLiteral("127.0.0.1:%1").arg(first.port()), "--data",
                  data.filePath("second")});
    const bool ended = second.waitForFinished(5000);
    EXPECT_TRUE(ended);
    if (!ended) second.kill();
    second.waitForFinished(5000);
    EXPECT_EQ(second.exitCode(), 2);
    EXPECT_TRUE(QString::fromUtf8(second.readAllStandardError())
                    .contains(QStringLiteral("端口已被占用：127.0.0.1:%1").arg(first.port())));

    for (int i = 0; i < 20; ++i) {
        httplib::Client client("127.0.0.1", first.port());
        const auto res =
            client.Get("/tjjdch.asp?usid=3&errword=a" + std::to_string(i) + "&rightword=b");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->body, "ok!");
    }
    EXPECT_EQ(store.pending().size(), 20u);
    first.stop();
    serving.join();
}
