#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QByteArray>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// An HTTP server on 127.0.0.1 that misbehaves on purpose, written on bare
// sockets so that it can do what no well-behaved server library lets it:
// answer garbage, close at once, send without end or one byte a second.
// Each page gets a behaviour; a page without one gets 404.
class FaultyServer {
  public:
    // Writes the response (or none) on the connection; the server closes it after.
    using Behaviour = std::function<void(FaultyServer&, int fd)>;

    FaultyServer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof addr;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), size) != 0 ||
            ::listen(listener_, 16) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &size) != 0)
            ADD_FAILURE() << "cannot open a loopback port";
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~FaultyServer() {
        stopping_ = true;
        thread_.join();
        for (std::thread& t : connections_) t.join();
        ::close(listener_);
    }
    FaultyServer(const FaultyServer&) = delete;
    FaultyServer& operator=(const FaultyServer&) = delete;

    QByteArray baseUrl() const { return "http://127.0.0.1:" + QByteArray::number(port_); }
    void on(const std::string& path, Behaviour behaviour) {
        std::lock_guard lock(mutex_);
        pages_[path] = std::move(behaviour);
    }
    bool stopping() const { return stopping_; }

    // Sends everything or gives up when the client has gone; false then.
    static bool send(int fd, const QByteArray& bytes) {
        for (qsizetype done = 0; done < bytes.size();) {
            const ssize_t n =
                ::send(fd, bytes.constData() + done, size_t(bytes.size() - done), MSG_NOSIGNAL);
            if (n <= 0) return false;
            done += n;
        }
        return true;
    }

    // The behaviours the tests need.
    static Behaviour answer(const QByteArray& body) {
        return [body](FaultyServer&, int fd) {
            send(fd, "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) +
                         "\r\nConnection: close\r\n\r\n" + body);
        };
    }
    // Bytes that are no HTTP at all.
    static Behaviour garbage() {
        return [](FaultyServer&, int fd) {
            send(fd, QByteArray("\x16\x03\x01\x00\xA5\x01garbage\xFF\xFE\r\n\r\n", 20));
        };
    }
    static Behaviour closeAtOnce() {
        return [](FaultyServer&, int) {};
    }
    // `total` bytes of body, its length announced or not, until the client
    // stops reading: one good record, then no end of bytes.
    static Behaviour endless(qint64 total, bool announced) {
        return [total, announced](FaultyServer& server, int fd) {
            QByteArray head = "HTTP/1.1 200 OK\r\nConnection: close\r\n";
            if (announced) head += "Content-Length: " + QByteArray::number(total) + "\r\n";
            const QByteArray start = "start:a;b;c;d;e;2010-10-01<br>";
            if (!send(fd, head + "\r\n" + start)) return;
            const QByteArray block(64 * 1024, 'x');
            for (qint64 sent = start.size(); sent < total && !server.stopping();
                 sent += block.size())
                if (!send(fd, block.left(qsizetype(std::min<qint64>(block.size(), total - sent)))))
                    return;
        };
    }
    // A valid beginning, then one byte a second for twenty seconds.
    static Behaviour trickle() {
        return [](FaultyServer& server, int fd) {
            if (!send(fd, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n")) return;
            for (int i = 0; i < 20 && !server.stopping(); ++i) {
                if (!send(fd, "s")) return;
                for (int t = 0; t < 20 && !server.stopping(); ++t)
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        };
    }

  private:
    void serve() {
        while (!stopping_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const int fd = ::accept(listener_, nullptr, nullptr);
            // A connection of its own for each, so that a slow one holds up no other.
            if (fd >= 0) connections_.emplace_back([this, fd] { respond(fd); });
        }
    }
    void respond(int fd) {
        const std::string path = readRequestPath(fd);
        Behaviour behaviour;
        {
            std::lock_guard lock(mutex_);
            if (auto it = pages_.find(path); it != pages_.end()) behaviour = it->second;
        }
        if (behaviour)
            behaviour(*this, fd);
        else
            send(fd, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        ::close(fd);
    }
    // The path of "GET /path?query HTTP/1.1", read up to the blank line.
    std::string readRequestPath(int fd) {
        std::string head;
        char buffer[4096];
        while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 2000) <= 0) break;
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            head.append(buffer, size_t(n));
        }
        const size_t begin = head.find(' ');
        if (begin == std::string::npos) return {};
        const size_t end = head.find_first_of(" ?", begin + 1);
        return head.substr(begin + 1,
                           end == std::string::npos ? std::string::npos : end - begin - 1);
    }

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    std::vector<std::thread> connections_;  // touched by the accepting thread only
    std::mutex mutex_;
    std::map<std::string, Behaviour> pages_;
};
