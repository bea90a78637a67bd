#pragma once

#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QBuffer>
#include <QDeadlineTimer>
#include <QTemporaryDir>

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "online/ServerProtocol.h"
#include "server/ExchangePages.h"
#include "server/ExchangeServer.h"
#include "server/ExchangeStore.h"
#include "server/ServerCommand.h"

// The real server on an ephemeral loopback port over a fresh data directory,
// with a clock the test sets and the log lines it wrote.
class ExchangeFixture : public ::testing::Test {
  protected:
    struct Reply {
        int status = 0;
        QByteArray body;
        std::string contentType;
    };
    struct CommandRun {
        int status;
        QByteArray out;
        QByteArray err;
    };

    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(store_.open(dir_.path(), {})) << store_.lastError().toStdString();
        server_ = std::make_unique<ExchangeServer>(pages_, [this](const QByteArray& line) {
            std::lock_guard lock(logMutex_);
            log_.push_back(line);
        });
        ASSERT_TRUE(server_->bind("127.0.0.1", 0));
        thread_ = std::thread([this] { server_->run(); });
        while (!server_->isRunning()) std::this_thread::yield();
    }
    void TearDown() override {
        if (!server_) return;
        server_->stop();
        if (thread_.joinable()) thread_.join();
    }

    QByteArray baseUrl() const { return "http://127.0.0.1:" + QByteArray::number(server_->port()); }

    // One GET of `target` exactly as given (path and query).
    Reply get(const QByteArray& target) {
        httplib::Client client("127.0.0.1", server_->port());
        client.set_url_encode(false);
        const auto res = client.Get(target.toStdString());
        if (!res) {
            ADD_FAILURE() << "no answer to " << target.toStdString();
            return {};
        }
        return {res->status, QByteArray::fromStdString(res->body),
                res->get_header_value("Content-Type")};
    }
    QByteArray body(const QByteArray& page, const ServerProtocol::Query& query) {
        return get(ServerProtocol::request(page.constData(), query)).body;
    }

    // Bytes sent as they are on a connection of their own, and what came back
    // within `waitMs`: every answer whole (by its Content-Length) until the
    // server closes or nothing more comes.
    QByteArray raw(const QByteArray& request, int waitMs = 1000) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(quint16(server_->port()));
        QByteArray got;
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) ==
                request.size()) {
            const QDeadlineTimer deadline(waitMs);
            char buffer[4096];
            for (;;) {
                pollfd p{fd, POLLIN, 0};
                if (::poll(&p, 1, int(deadline.remainingTime())) <= 0) break;
                const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                got.append(buffer, n);
            }
        }
        ::close(fd);
        return got;
    }

    // tavrel-server with `arguments`, over this test's data directory.
    CommandRun command(QStringList arguments) {
        arguments << QStringLiteral("--data") << dir_.path();
        QBuffer out, err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        const int status = runServerCommand(arguments, out, err);
        return {status, out.data(), err.data()};
    }

    std::vector<QByteArray> logLines() {
        std::lock_guard lock(logMutex_);
        return log_;
    }

    QTemporaryDir dir_;
    QDateTime clock_ = QDateTime(QDate(2026, 3, 14), QTime(9, 26, 53));
    ExchangeStore store_;
    ExchangePages pages_{store_, [this] { return clock_; }};
    std::unique_ptr<ExchangeServer> server_;
    std::thread thread_;
    std::mutex logMutex_;
    std::vector<QByteArray> log_;
};
