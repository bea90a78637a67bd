#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
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
// entries is in it whole or not at all. Held up by slow clients and stopped
// with SIGTERM, it answers others at once and ends in time.

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

// tavrel-server on a free loopback port, its log in a file, ended with SIGTERM.
class RunningServer {
  public:
    explicit RunningServer(const QString& data)
        : port_(freePort()), log_(QDir(data).filePath(QStringLiteral("server.log"))) {
        pid_ = startLogged({QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port_),
                            QStringLiteral("--data"), data});
        // Ready once it answers.
        QElapsedTimer waited;
        waited.start();
        while (pid_ > 0 && waited.elapsed() < 5000) {
            httplib::Client client("127.0.0.1", port_);
            if (client.Get("/index.asp")) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ADD_FAILURE() << "tavrel-server did not start";
    }
    ~RunningServer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    quint16 port() const { return port_; }
    // Its exit status after SIGTERM, or -1 when it had not ended within `ms`.
    int terminate(int ms) {
        ::kill(pid_, SIGTERM);
        QElapsedTimer waited;
        waited.start();
        int status = 0;
        while (waited.elapsed() < ms) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = 0;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

  private:
    pid_t startLogged(const QStringList& arguments) {
        std::vector<QByteArray> args{QFile::encodeName(serverProgram())};
        for (const QString& a : arguments) args.push_back(QFile::encodeName(a));
        std::vector<char*> argv;
        for (QByteArray& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const QByteArray log = QFile::encodeName(log_);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, log.constData(), O_WRONLY | O_CREAT, 0600);
        pid_t pid = 0;
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = 0;
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }

    quint16 port_;
    QString log_;
    pid_t pid_ = 0;
};

// Connections that send a request one header line at a time and never end
// it; each one the server drops is opened again. Runs on a thread of its own.
class Tricklers {
  public:
    Tricklers(quint16 port, int count, std::chrono::milliseconds every)
        : port_(port), every_(every), sockets_(std::size_t(count)) {
        thread_ = std::thread([this] { run(); });
    }
    ~Tricklers() { stop(); }
    void stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    // How many connections the server has dropped, and the longest time it let one trickle.
    int dropped() const { return dropped_; }
    qint64 longestMs() const { return longestMs_; }

  private:
    struct Socket {
        int fd = -1;
        QElapsedTimer opened;
        QElapsedTimer sent;
    };
    void open(Socket& s) {
        s.fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port_);
        ::connect(s.fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::send(s.fd, "GET /index.asp HTTP/1.1\r\n", 25, MSG_NOSIGNAL);
        s.opened.start();
        s.sent.start();
    }
    void run() {
        for (Socket& s : sockets_) open(s);
        while (!stop_) {
            std::vector<pollfd> fds;
            for (const Socket& s : sockets_) fds.push_back({s.fd, POLLIN, 0});
            ::poll(fds.data(), fds.size(), 50);
            for (std::size_t i = 0; i < sockets_.size(); ++i) {
                Socket& s = sockets_[i];
                longestMs_ = std::max(longestMs_.load(), s.opened.elapsed());
                char buffer[512];
                const bool gone = (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) &&
                                  ::recv(s.fd, buffer, sizeof buffer, MSG_DONTWAIT) <= 0;
                if (gone || (fds[i].revents & (POLLHUP | POLLERR))) {
                    ::close(s.fd);
                    ++dropped_;
                    open(s);
                } else if (s.sent.elapsed() >= every_.count()) {
                    ::send(s.fd, "X-Slow: 1\r\n", 11, MSG_NOSIGNAL);
                    s.sent.start();
                }
            }
        }
        for (Socket& s : sockets_) ::close(s.fd);
    }

    quint16 port_;
    std::chrono::milliseconds every_;
    std::vector<Socket> sockets_;
    std::thread thread_;
    std::atomic<bool> stop_ = false;
    std::atomic<int> dropped_ = 0;
    std::atomic<qint64> longestMs_ = 0;
};

// Clients that send a header line every two seconds hold no worker: they are
// dropped once their request has taken ten seconds, and everyone else is
// answered at once all the while.
TEST(ServerUnderAttack, SlowClientsAreDroppedAndOthersAnsweredWithinASecond) {
    QTemporaryDir dir;
    RunningServer server(dir.path());
    constexpr int kSlow = 200;
    Tricklers slow(server.port(), kSlow, std::chrono::milliseconds(2000));

    QElapsedTimer running;
    running.start();
    qint64 slowest = 0;
    int answered = 0;
    while (running.elapsed() < 30000) {
        httplib::Client client("127.0.0.1", server.port());
        client.set_read_timeout(5, 0);
        QElapsedTimer asked;
        asked.start();
        const auto res = client.Get("/gxjdch.asp?usid=1&gxrq=2010-10-01");
        slowest = std::max(slowest, asked.elapsed());
        answered += res && res->body == "none";
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    slow.stop();
    EXPECT_LT(slowest, 1000);
    EXPECT_GE(answered, 100);
    // Every slow connection was dropped, none let trickle much past the bound.
    EXPECT_GE(slow.dropped(), kSlow);
    EXPECT_LT(slow.longestMs(), 12000);
    EXPECT_EQ(server.terminate(5000), 0);
}

// SIGTERM ends the server soon whatever its clients are doing, and every
// submission it answered "ok!" to is in its database.
TEST(ServerUnderAttack, SigtermStopsItWithinFiveSecondsKeepingWhatItAcknowledged) {
    QTemporaryDir dir;
    RunningServer server(dir.path());
    httplib::Client client("127.0.0.1", server.port());
    client.set_url_encode(false);
    constexpr int kSubmitted = 20;
    for (int i = 0; i < kSubmitted; ++i) {
        const auto res = client.Get(
            P::request(P::kSubmitEntryPage,
                       {{P::kMachineKey, "pc"}, {P::kWrongKey, wrongForm(i)}, {P::kRightKey, "r"}})
                .toStdString());
        ASSERT_TRUE(res && res->body == P::kAccepted);
    }
    // Slow requests still arriving, and connections open and waiting.
    Tricklers slow(server.port(), 5, std::chrono::milliseconds(100));
    httplib::Client idle("127.0.0.1", server.port());
    ASSERT_TRUE(idle.Get("/index.asp"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    QElapsedTimer stopping;
    stopping.start();
    EXPECT_EQ(server.terminate(5000), 0);
    EXPECT_LT(stopping.elapsed(), 5000);
    slow.stop();

    ExchangeStore store;
    ASSERT_TRUE(store.open(dir.path(), {})) << store.lastError().toStdString();
    const std::vector<Submission> pending = store.pending();
    ASSERT_EQ(pending.size(), std::size_t(kSubmitted));
    for (int i = 0; i < kSubmitted; ++i) EXPECT_EQ(pending[size_t(i)].entry.terror, wrongForm(i));
}

}  // namespace
