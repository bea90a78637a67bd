#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <thread>

#include "online/ServerProtocol.h"
#include "server/ExchangeStore.h"
#include "support/KillDuringRun.h"
#include "support/LibraryTextFile.h"
#include "text/GbkCodec.h"

// tavrel-server killed with SIGKILL: its database opens afterwards, holds
// every submission it answered "ok!" to, and a moderation that publishes many
// entries is in it whole or not at all.

namespace {

using P = ServerProtocol;

QString serverProgram() {
    return qEnvironmentVariable("TAVREL_BIN_DIR") + QStringLiteral("/tavrel-server");
}

// A loopback port nobody listens on at this moment.
quint16 freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

QByteArray wrongForm(int i) { return gbk(QStringLiteral("按装")) + QByteArray::number(i); }

TEST(ServerKillTest, EverySubmissionAnsweredOkSurvivesAKill) {
    QTemporaryDir dir;
    const quint16 port = freePort();
    ASSERT_NE(port, 0);
    std::atomic<int> accepted = 0;
    std::atomic<bool> stop = false;
    std::thread submitter;

    // Submissions go in one after another; the kill meets one of them halfway.
    const bool killed = killWhen(
        serverProgram(),
        {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port),
         QStringLiteral("--data"), dir.path()},
        [&] {
            if (!submitter.joinable()) {
                submitter = std::thread([&] {
                    httplib::Client client("127.0.0.1", port);
                    client.set_url_encode(false);
                    client.set_connection_timeout(0, 200000);
                    for (int i = 0; !stop; ++i) {
                        const auto target = P::request(
                            P::kSubmitEntryPage, {{P::kMachineKey, "pc"},
                                                  {P::kGradeKey, gbk(QStringLiteral("基本"))},
                                                  {P::kWrongKey, wrongForm(accepted)},
                                                  {P::kRightKey, gbk(QStringLiteral("安装"))}});
                        const auto res = client.Get(target.toStdString());
                        if (res && res->body == P::kAccepted)
                            ++accepted;
                        else if (accepted > 0)
                            return;  // the server is gone
                    }
                });
            }
            return accepted >= 200;
        },
        std::chrono::microseconds(0));
    stop = true;
    submitter.join();
    ASSERT_TRUE(killed);

    ExchangeStore store;
    ASSERT_TRUE(store.open(dir.path(), {})) << store.lastError().toStdString();
    const std::vector<Submission> pending = store.pending();
    // The one whose answer the kill cut off may or may not be stored.
    ASSERT_GE(pending.size(), size_t(accepted));
    ASSERT_LE(pending.size(), size_t(accepted) + 1);
    for (int i = 0; i < accepted; ++i) EXPECT_EQ(pending[size_t(i)].entry.terror, wrongForm(i));
}

TEST(ServerKillTest, APublicationKilledMidwayIsWholeOrAbsent) {
    constexpr int kEntries = 20000;
    QTemporaryDir dir;
    const QString text = dir.filePath(QStringLiteral("team.tsv"));
    ASSERT_TRUE(writeLibraryText(text, kEntries));
    const QString data = dir.filePath(QStringLiteral("data"));
    const QStringList args = {QStringLiteral("review"), QStringLiteral("publish"), text,
                              QStringLiteral("--data"), data};
    auto publishedCount = [&]() -> qint64 {
        ExchangeStore store;
        EXPECT_TRUE(store.open(data, {})) << store.lastError().toStdString();
        const auto published = store.published();
        EXPECT_TRUE(published.has_value());
        return published ? qint64(published->size()) : -1;
    };
    auto freshData = [&] {
        QDir(data).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(data));
        ASSERT_EQ(publishedCount(), 0);
    };

    freshData();
    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(runToEnd(serverProgram(), args), 0);
    const qint64 whole = timer.elapsed();
    ASSERT_EQ(publishedCount(), kEntries);

    int killed = 0;
    for (const int percent : {20, 50, 80, 95}) {
        freshData();
        QElapsedTimer since;
        since.start();
        killed += killWhen(
            serverProgram(), args, [&] { return since.elapsed() >= whole * percent / 100; },
            std::chrono::microseconds(0));
        const qint64 count = publishedCount();
        EXPECT_TRUE(count == 0 || count == kEntries)
            << count << " entries published after a kill at " << percent << "%";
    }
    EXPECT_GE(killed, 2);
}

}  // namespace
