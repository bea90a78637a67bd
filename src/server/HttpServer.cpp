#include "server/HttpServer.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "online/ServerProtocol.h"

namespace {

// The body of every refusal: whatever HTTP refuses is answered in the exchange's terms.
constexpr char kRefusedBody[] = "error!";

const char* reason(int status) {
    static const std::pair<int, const char*> reasons[] = {
        {200, "OK"},
        {400, "Bad Request"},
        {404, "Not Found"},
        {405, "Method Not Allowed"},
        {408, "Request Timeout"},
        {411, "Length Required"},
        {413, "Content Too Large"},
        {414, "URI Too Long"},
        {431, "Request Header Fields Too Large"},
        {500, "Internal Server Error"},
        {503, "Service Unavailable"},
        {505, "HTTP Version Not Supported"},
    };
    for (const auto& [code, text] : reasons)
        if (code == status) return text;
    return "Error";
}

bool isServed(QByteArrayView method) { return method == "GET" || method == "HEAD"; }

// The path of a request line as far as it came, for the log.
QByteArray pathOf(QByteArrayView line) {
    const qsizetype start = line.indexOf(' ');
    if (start < 0) return {};
    QByteArrayView target = line.sliced(start + 1);
    for (const char end : {' ', '?', '\r', '\n'})
        if (const qsizetype at = target.indexOf(end); at >= 0) target = target.first(at);
    return ServerProtocol::percentDecode(target.toByteArray());
}

struct Head {
    int status = 0;  // 0: a request to answer
    HttpServer::Request request;
    bool keepAlive = true;
    qint64 contentLength = 0;
};

Head parseHead(QByteArrayView head) {
    Head h;
    auto fail = [&h](int status) {
        h.status = status;
        return h;
    };
    QList<QByteArrayView> lines;
    for (qsizetype at = 0; at < head.size();) {
        qsizetype end = head.indexOf('\n', at);
        if (end < 0) end = head.size();
        QByteArrayView line = head.sliced(at, end - at);
        if (line.endsWith('\r')) line.chop(1);
        if (line.isEmpty()) break;
        lines.append(line);
        at = end + 1;
    }
    if (lines.isEmpty()) return fail(400);

    QList<QByteArrayView> parts;
    for (qsizetype at = 0; at <= lines[0].size();) {
        qsizetype end = lines[0].indexOf(' ', at);
        if (end < 0) end = lines[0].size();
        parts.append(lines[0].sliced(at, end - at));
        at = end + 1;
    }
    if (parts.size() != 3 || parts[0].isEmpty() || !parts[1].startsWith('/')) return fail(400);
    if (parts[2] == "HTTP/1.0")
        h.keepAlive = false;
    else if (parts[2] != "HTTP/1.1")
        return fail(parts[2].startsWith("HTTP/") ? 505 : 400);
    h.request.method = parts[0].toByteArray();
    const QByteArrayView target = parts[1];
    const qsizetype mark = target.indexOf('?');
    h.request.path =
        ServerProtocol::percentDecode((mark < 0 ? target : target.first(mark)).toByteArray());
    if (mark >= 0) h.request.query = target.sliced(mark + 1).toByteArray();

    bool lengthSeen = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArrayView line = lines[i];
        const qsizetype colon = line.indexOf(':');
        // A folded line or a name with blanks is read differently by every
        // server on the way; refusing it leaves nothing to guess.
        if (colon <= 0 || line.first(colon).contains(' ') || line.first(colon).contains('\t'))
            return fail(400);
        const QByteArray name = line.first(colon).toByteArray().toLower();
        const QByteArray value = line.sliced(colon + 1).toByteArray().trimmed();
        if (name == "content-length") {
            bool ok = !value.isEmpty() && value.size() <= 18;
            for (const char c : value) ok &= c >= '0' && c <= '9';
            const qint64 length = ok ? value.toLongLong() : -1;
            if (!ok || (lengthSeen && length != h.contentLength)) return fail(400);
            h.contentLength = length;
            lengthSeen = true;
        } else if (name == "transfer-encoding") {
            // A body whose length is not said up front could not be bounded before it is read.
            return fail(411);
        } else if (name == "connection") {
            for (const QByteArray& token : value.toLower().split(',')) {
                if (token.trimmed() == "close") h.keepAlive = false;
                if (token.trimmed() == "keep-alive" && parts[2] == "HTTP/1.0") h.keepAlive = true;
            }
        }
    }
    return h;
}

// Where the blank line that ends a head ends, or -1; `from` is a place
// before which no end was found earlier.
qsizetype headEnd(const QByteArray& in, qsizetype from) {
    for (qsizetype at = in.indexOf('\n', from); at >= 0; at = in.indexOf('\n', at + 1)) {
        if (at + 1 < in.size() && in[at + 1] == '\n') return at + 2;
        if (at + 2 < in.size() && in[at + 1] == '\r' && in[at + 2] == '\n') return at + 3;
    }
    return -1;
}

}  // namespace

constexpr int kLingerMs = 1000;

struct HttpServer::Connection {
    int fd = -1;
    QByteArray in;
    qsizetype scanned = 0;  // no head ends before this offset of `in`
    qsizetype headEnd = 0;  // where the head of the current request ends, once it has
    bool overBudget = false;
    bool started = false;   // a byte of the current request has come
    bool closing = false;   // refused: waits until the peer has read the answer
    bool peerDone = false;  // the peer sends nothing more
    Clock::time_point deadline;
};

struct HttpServer::Job {
    ConnectionPtr connection;
    Request request;
    bool keepAlive = true;
};

HttpServer::HttpServer(Handler handler, Refusal refusal, QByteArray contentType, int workers,
                       const Limits& limits)
    : handler_(std::move(handler)),
      refusal_(std::move(refusal)),
      contentType_(std::move(contentType)),
      workerCount_(workers),
      limits_(limits) {
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        wakeRead_ = pipe[0];
        wakeWrite_ = pipe[1];
    }
}

HttpServer::~HttpServer() {
    stop();
    for (const int fd : {listener_, wakeRead_, wakeWrite_})
        if (fd >= 0) ::close(fd);
}

bool HttpServer::bind(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int r = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); r != 0) {
        bindError_ = r == EAI_SYSTEM ? errno : EADDRNOTAVAIL;
        return false;
    }
    bindError_ = EADDRNOTAVAIL;
    for (addrinfo* a = found; a && listener_ < 0; a = a->ai_next) {
        const int fd =
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            bindError_ = errno;
            continue;
        }
        // A restart binds beside the last run's closing connections; SO_REUSEPORT
        // is left out, so a second server on the port fails instead of sharing it.
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) == 0 && ::listen(fd, SOMAXCONN) == 0) {
            listener_ = fd;
        } else {
            bindError_ = errno;
            ::close(fd);
        }
    }
    ::freeaddrinfo(found);
    if (listener_ < 0) return false;
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.ss_family == AF_INET6
                      ? reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port
                      : reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
    bindError_ = 0;
    return true;
}

bool HttpServer::run() {
    if (listener_ < 0 || wakeRead_ < 0) return false;
    for (int i = 0; i < workerCount_; ++i) workers_.emplace_back([this] { work(); });
    running_ = true;
    serveConnections();
    {
        std::lock_guard lock(mutex_);
        jobsReady_.notify_all();
    }
    for (std::thread& t : workers_) t.join();
    workers_.clear();
    // Requests that no worker took are dropped unanswered: nothing of them was acknowledged.
    for (auto& job : jobs_) close(job->connection);
    jobs_.clear();
    for (ConnectionPtr& c : returned_) close(c);
    returned_.clear();
    ::close(listener_);
    listener_ = -1;
    running_ = false;
    return true;
}

void HttpServer::stop() {
    {
        std::lock_guard lock(mutex_);
        if (!stopping_) {
            stopDeadline_ = (Clock::now() + std::chrono::milliseconds(limits_.stopMs))
                                .time_since_epoch()
                                .count();
            stopping_ = true;
        }
        jobsReady_.notify_all();
    }
    wake();
}

void HttpServer::wake() {
    if (wakeWrite_ < 0) return;
    const char byte = 1;
    // A full pipe already wakes the reader.
    [[maybe_unused]] const ssize_t n = ::write(wakeWrite_, &byte, 1);
}

void HttpServer::serveConnections() {
    std::vector<ConnectionPtr> open;
    std::vector<pollfd> fds;
    Clock::time_point acceptPausedUntil;
    while (!stopping_) {
        Clock::time_point now = Clock::now();
        std::vector<ConnectionPtr> back;
        {
            std::lock_guard lock(mutex_);
            back.swap(returned_);
        }
        for (ConnectionPtr& c : back) {
            c->started = !c->in.isEmpty();
            c->deadline =
                now + std::chrono::milliseconds(c->started ? limits_.requestMs : limits_.idleMs);
            pending_ += c->in.size();
            // A request sent before the answer to the last one is looked at now.
            if (c->started) examine(c);
            if (c) open.push_back(std::move(c));
        }

        fds.clear();
        fds.push_back({wakeRead_, POLLIN, 0});
        const bool accepting = open_ < limits_.maxConnections && now >= acceptPausedUntil;
        fds.push_back({accepting ? listener_ : -1, POLLIN, 0});
        Clock::time_point next = now + std::chrono::seconds(1);
        if (acceptPausedUntil > now) next = std::min(next, acceptPausedUntil);
        for (const ConnectionPtr& c : open) {
            fds.push_back({c->fd, short(c->closing ? POLLRDHUP : POLLIN | POLLRDHUP), 0});
            next = std::min(next, c->deadline);
        }
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - now).count();
        if (::poll(fds.data(), fds.size(), int(std::max<qint64>(0, wait))) < 0 && errno != EINTR)
            break;
        if (stopping_) break;
        if (fds[0].revents) {
            char drain[256];
            while (::read(wakeRead_, drain, sizeof drain) > 0) {
            }
        }
        now = Clock::now();
        const std::size_t polled = open.size();
        if (fds[1].revents && !acceptNew(open))
            acceptPausedUntil = now + std::chrono::milliseconds(100);  // out of descriptors
        for (std::size_t i = 0; i < polled; ++i) {
            ConnectionPtr& c = open[i];
            const short events = fds[i + 2].revents;
            if (c->closing) {
                if (events || now >= c->deadline) closeReading(c);
            } else if (events) {
                if (!receive(*c))
                    closeReading(c);
                else if (examine(c) && c->peerDone)
                    closeReading(c);  // gone before sending a whole request
            } else if (now >= c->deadline) {
                if (c->started)
                    refuse(c, 408, pathOf(c->in));
                else
                    closeReading(c);
            }
        }
        std::erase(open, nullptr);
    }
    for (ConnectionPtr& c : open) closeReading(c);
}

bool HttpServer::acceptNew(std::vector<ConnectionPtr>& open) {
    while (open_ < limits_.maxConnections) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
        // Headers and body leave in two writes; waiting for the peer's delayed
        // acknowledgement of the first would add 40 ms to every answer.
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        auto c = std::make_unique<Connection>();
        c->fd = fd;
        c->deadline = Clock::now() + std::chrono::milliseconds(limits_.idleMs);
        ++open_;
        open.push_back(std::move(c));
    }
    return true;
}

bool HttpServer::receive(Connection& c) {
    char buffer[16 * 1024];
    // A head and the body it may carry; anything beyond waits in the socket.
    const qsizetype most = limits_.headBytes + limits_.bodyBytes;
    while (c.in.size() < most && !c.peerDone) {
        if (pending_ >= limits_.pendingBytes) {
            c.overBudget = true;  // refused as a request that cannot be held now
            return true;
        }
        const ssize_t n = ::recv(
            c.fd, buffer,
            std::size_t(std::min<qsizetype>(qsizetype(sizeof buffer), most - c.in.size())), 0);
        if (n > 0) {
            if (!c.started) {
                c.started = true;
                c.deadline = Clock::now() + std::chrono::milliseconds(limits_.requestMs);
            }
            c.in.append(buffer, n);
            pending_ += n;
        } else if (n == 0) {
            c.peerDone = true;
        } else if (errno == EINTR) {
            continue;
        } else {
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
    }
    return true;
}

bool HttpServer::examine(ConnectionPtr& c) {
    if (c->overBudget) {
        refuse(c, 503, pathOf(c->in));
        return false;
    }
    // Blank lines before a request line are allowed and mean nothing.
    qsizetype blank = 0;
    while (blank < c->in.size() && (c->in[blank] == '\r' || c->in[blank] == '\n')) ++blank;
    if (blank > 0) {
        c->in.remove(0, blank);
        pending_ -= blank;
        c->scanned = std::max<qsizetype>(0, c->scanned - blank);
    }
    if (c->in.isEmpty()) {
        c->started = false;
        return true;
    }
    const qsizetype lineEnd = c->in.indexOf('\n');
    if (lineEnd < 0) {
        if (c->in.size() <= limits_.headBytes) return true;
        refuse(c, 414, pathOf(c->in));
        return false;
    }
    // Another method is refused before any of its body is read.
    const qsizetype space = c->in.indexOf(' ');
    if (space < 0 || space > lineEnd || !isServed(QByteArrayView(c->in).first(space))) {
        refuse(c, space < 0 || space > lineEnd ? 400 : 405, pathOf(c->in));
        return false;
    }
    qsizetype end = c->headEnd;
    if (end == 0) {
        end = headEnd(c->in, std::max<qsizetype>(0, c->scanned - 2));
        if (end < 0 && c->in.size() < limits_.headBytes) {
            c->scanned = c->in.size();
            return true;
        }
        if (end < 0 || end > limits_.headBytes) {
            refuse(c, lineEnd > limits_.headBytes ? 414 : 431, pathOf(c->in));
            return false;
        }
        c->headEnd = end;
    }
    Head head = parseHead(QByteArrayView(c->in).first(end));
    if (head.status == 0 && head.contentLength > limits_.bodyBytes) head.status = 413;
    if (head.status != 0) {
        refuse(c, head.status, pathOf(c->in));
        return false;
    }
    if (c->in.size() < end + head.contentLength) return true;  // the rest of its body

    // Whole: what follows is the next request, looked at once this one is answered.
    pending_ -= c->in.size();
    c->in.remove(0, end + qsizetype(head.contentLength));
    c->scanned = 0;
    c->headEnd = 0;
    auto job = std::make_unique<Job>();
    job->connection = std::move(c);
    job->request = std::move(head.request);
    job->keepAlive = head.keepAlive && !job->connection->peerDone;
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
    jobsReady_.notify_one();
    return false;
}

void HttpServer::refuse(ConnectionPtr& c, int status, const QByteArray& path) {
    if (refusal_) refusal_(path, status);
    QByteArray answer = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) +
                        "\r\nContent-Type: " + contentType_ + "\r\nContent-Length: " +
                        QByteArray::number(qsizetype(sizeof kRefusedBody - 1)) +
                        "\r\nConnection: close\r\n";
    if (status == 405) answer += "Allow: GET, HEAD\r\n";
    answer += "\r\n";
    answer += kRefusedBody;
    // A few hundred bytes fit any socket buffer; a peer that cannot take them is gone.
    [[maybe_unused]] const ssize_t n =
        ::send(c->fd, answer.constData(), std::size_t(answer.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
    ::shutdown(c->fd, SHUT_WR);
    pending_ -= c->in.size();
    c->in = QByteArray();
    // Closing at once with unread bytes would reset the connection and could
    // take the answer with it; the peer gets a moment to read it.
    c->closing = true;
    c->deadline = Clock::now() + std::chrono::milliseconds(kLingerMs);
}

void HttpServer::work() {
    for (;;) {
        std::unique_ptr<Job> job;
        {
            std::unique_lock lock(mutex_);
            jobsReady_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        answer(*job);
    }
}

void HttpServer::answer(Job& job) {
    Response response;
    try {
        response = handler_(job.request);
    } catch (...) {
        response = {500, kRefusedBody};
    }
    const bool head = job.request.method == "HEAD";
    QByteArray start = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
                       reason(response.status) + "\r\nContent-Type: " + contentType_ +
                       "\r\nContent-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    if (!job.keepAlive) start += "Connection: close\r\n";
    start += "\r\n";
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limits_.answerMs);
    Connection& c = *job.connection;
    const bool written = head || response.body.isEmpty() ? write(c, start, deadline, 0)
                                                         : write(c, start, deadline, MSG_MORE) &&
                                                               write(c, response.body, deadline, 0);
    if (written && job.keepAlive && !stopping_) {
        std::lock_guard lock(mutex_);
        returned_.push_back(std::move(job.connection));
        wake();
    } else {
        close(job.connection);
    }
}

bool HttpServer::write(Connection& c, const QByteArray& bytes, Clock::time_point deadline,
                       int flags) {
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::send(c.fd, bytes.constData() + done, std::size_t(bytes.size() - done),
                                 MSG_NOSIGNAL | flags);
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return false;
        Clock::time_point limit = deadline;
        if (stopping_) limit = std::min(limit, Clock::time_point(Clock::duration(stopDeadline_)));
        const Clock::time_point now = Clock::now();
        if (now >= limit) return false;
        // In slices, so that a stop shortens the wait.
        const auto slice = std::min<qint64>(
            100, std::chrono::ceil<std::chrono::milliseconds>(limit - now).count());
        pollfd p{c.fd, POLLOUT, 0};
        ::poll(&p, 1, int(slice));
    }
    return true;
}

void HttpServer::closeReading(ConnectionPtr& c) {
    pending_ -= c->in.size();
    close(c);
}

void HttpServer::close(ConnectionPtr& c) {
    if (!c) return;
    ::close(c->fd);
    --open_;
    c.reset();
}
