#pragma once

#include <QByteArray>

#include <functional>
#include <memory>
#include <string>

#include "server/HttpServer.h"

class ExchangePages;

// The pages served over HTTP: every GET goes to ExchangePages, a HEAD is
// answered alike without acting, every answer is GBK with its content type
// said, and every request leaves one log line.
class ExchangeServer {
  public:
    using Log = std::function<void(const QByteArray& line)>;
    using Limits = HttpServer::Limits;
    // Requests are answered each by a worker once they have arrived whole, so
    // the pool bounds how many are answered at once, not how many are open.
    static constexpr int kDefaultWorkers = 64;
    static constexpr int kMaxWorkers = 1024;

    // The HTTP layer takes what the pages take: a query at its limit with
    // every byte sent as %XX, and room for the headers.
    static Limits defaultLimits();

    ExchangeServer(ExchangePages& pages, Log log, int workers = kDefaultWorkers,
                   const Limits& limits = defaultLimits());
    ~ExchangeServer();
    ExchangeServer(const ExchangeServer&) = delete;
    ExchangeServer& operator=(const ExchangeServer&) = delete;

    // Port 0 takes a free port. False when the address cannot be had;
    // bindError() then says why (EADDRINUSE: another program listens there).
    bool bind(const std::string& host, int port);
    int bindError() const;
    int port() const;
    // Serves until stop(); false when it could not serve at all.
    bool run();
    // From any thread; run() returns once the answers under way are written
    // or their time is up, and requests not yet answered are dropped.
    void stop();
    bool isRunning() const;

    // "time path usid=... outcome", bytes a terminal would misread escaped.
    static QByteArray logLine(const QByteArray& path, const QByteArray& usid,
                              const QByteArray& outcome);

  private:
    std::unique_ptr<HttpServer> http_;
};
