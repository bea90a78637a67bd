#pragma once

#include <QByteArray>

#include <functional>
#include <memory>
#include <string>

class ExchangePages;
namespace httplib {
class Server;
}

// The pages served over HTTP: every GET goes to ExchangePages, every answer
// is GBK with its content type said, and every request leaves one log line.
class ExchangeServer {
  public:
    using Log = std::function<void(const QByteArray& line)>;
    // Connections are served each by a worker of their own while they stay
    // open, so the pool bounds how many proofreaders are served at once.
    static constexpr int kDefaultWorkers = 64;

    ExchangeServer(ExchangePages& pages, Log log, int workers = kDefaultWorkers);
    ~ExchangeServer();
    ExchangeServer(const ExchangeServer&) = delete;
    ExchangeServer& operator=(const ExchangeServer&) = delete;

    // Port 0 takes a free port. False when the address cannot be had.
    bool bind(const std::string& host, int port);
    int port() const { return port_; }
    // Serves until stop(); false when it could not serve at all.
    bool run();
    // From any thread; run() returns once the requests under way are answered.
    void stop();
    bool isRunning() const;

    // "time path usid=... outcome", bytes a terminal would misread escaped.
    static QByteArray logLine(const QByteArray& path, const QByteArray& usid,
                              const QByteArray& outcome);

  private:
    std::unique_ptr<httplib::Server> server_;
    int socket_ = -1;
    int port_ = -1;
};
