#pragma once

#include <gtest/gtest.h>
#include <httplib.h>

#include <QBuffer>
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

    // tavrel-server with `arguments`, over this test's data directory.
    CommandRun command(QStringList arguments) {
        arguments << QStringLiteral("--data") << dir_.path();
        QBuffer out, err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        const int status = runServerCommand(arguments, QString(), out, err);
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
