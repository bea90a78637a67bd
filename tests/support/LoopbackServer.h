#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QByteArray>

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A real HTTP server on 127.0.0.1 with an ephemeral port, playing the
// program's server: each page answers with a scripted body, every request is
// recorded. A page without an answer gives 404 with an empty body.
class LoopbackServer {
  public:
    struct Request {
        std::string path;    // decoded by the server
        std::string target;  // the request target as it came, query included
        std::multimap<std::string, std::string> params;  // decoded by the server

        QByteArray param(const std::string& key) const {
            for (const auto& [k, v] : params)
                if (k == key) return QByteArray(v.data(), qsizetype(v.size()));
            return QByteArray();
        }
    };
    using Page = std::function<QByteArray(const Request&)>;
    using Raw = std::function<void(const httplib::Request&, httplib::Response&)>;

    LoopbackServer() {
        server_.Get(R"(/.*)", [this](const httplib::Request& req, httplib::Response& res) {
            Request seen{req.path, req.target, req.params};
            Page page;
            int status = 200;
            Raw raw;
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(seen);
                if (auto it = raw_.find(req.path); it != raw_.end()) raw = it->second;
                if (auto it = pages_.find(req.path); it != pages_.end()) page = it->second;
                if (auto it = statuses_.find(req.path); it != statuses_.end()) status = it->second;
            }
            if (raw) {
                raw(req, res);
                return;
            }
            if (!page) {
                res.status = 404;
                return;
            }
            const QByteArray body = page(seen);
            res.status = status;
            res.set_content(body.toStdString(), "text/html");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        // The socket already listens; connections wait in its queue until the
        // loop starts accepting.
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        // stop() before the loop runs would be lost and the join would hang.
        while (!server_.is_running()) std::this_thread::yield();
    }
    ~LoopbackServer() {
        server_.stop();
        thread_.join();
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    QByteArray baseUrl() const { return "http://127.0.0.1:" + QByteArray::number(port_); }
    int port() const { return port_; }

    void answer(const std::string& path, const QByteArray& body) {
        answerWith(path, [body](const Request&) { return body; });
    }
    // Lets the test write the whole response of `path` (streams, odd headers).
    void handle(const std::string& path, Raw raw) {
        std::lock_guard lock(mutex_);
        raw_[path] = std::move(raw);
    }
    // Answers `path` with an HTTP status other than 200 (the body stays).
    void answerStatus(const std::string& path, int status) {
        std::lock_guard lock(mutex_);
        statuses_[path] = status;
    }
    void answerWith(const std::string& path, Page page) {
        std::lock_guard lock(mutex_);
        pages_[path] = std::move(page);
    }
    std::vector<Request> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }

  private:
    httplib::Server server_;
    int port_ = -1;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::map<std::string, Page> pages_;
    std::map<std::string, int> statuses_;
    std::map<std::string, Raw> raw_;
    std::vector<Request> requests_;
};

// A port on 127.0.0.1 that completes the TCP handshake and then never says a word.
class SilentPort {
  public:
    explicit SilentPort(int backlog = 8) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof addr;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), size) != 0 ||
            ::listen(fd_, backlog) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &size) != 0)
            ADD_FAILURE() << "cannot open a loopback port";
        port_ = ntohs(addr.sin_port);
    }
    ~SilentPort() { ::close(fd_); }
    SilentPort(const SilentPort&) = delete;
    SilentPort& operator=(const SilentPort&) = delete;

    QByteArray baseUrl() const { return "http://127.0.0.1:" + QByteArray::number(port_); }
    int port() const { return port_; }

  private:
    int fd_ = -1;
    int port_ = 0;
};
