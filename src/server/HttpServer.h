#pragma once

#include <QByteArray>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// HTTP/1.1 as the exchange needs it and no more: GET and HEAD, answers of
// known length, connections kept open between requests.
//
// One thread accepts connections and gathers requests as their bytes come,
// so a client that sends slowly holds no worker; only a request that has
// arrived whole goes to a worker. Every request must arrive within a time
// and a size, every answer leave within a time, and stop() ends everything
// within a bounded time whatever the clients do.
class HttpServer {
  public:
    struct Request {
        QByteArray method;  // "GET" or "HEAD"
        QByteArray path;    // percent-decoded
        QByteArray query;   // the text after "?", as sent
    };
    struct Response {
        int status = 200;
        QByteArray body;
    };
    // Runs on a worker; HEAD gets the same call, only the body is not sent.
    using Handler = std::function<Response(const Request&)>;
    // A request refused before it reached the handler: the path as far as it
    // was read, and the status it was answered with.
    using Refusal = std::function<void(const QByteArray& path, int status)>;

    struct Limits {
        qsizetype headBytes = 64 * 1024;  // request line and header lines
        qsizetype bodyBytes = 4 * 1024;   // read and dropped: no page takes a body
        int requestMs = 10000;            // from a request's first byte to its last
        int idleMs = 5000;                // an open connection waiting for a request
        int answerMs = 60000;             // to write one answer: the program's whole download
        int stopMs = 1000;                // for answers under way once stop() is called
        int maxConnections = 2048;
        // Buffered bytes of unfinished requests, all connections together.
        qsizetype pendingBytes = 64 * 1024 * 1024;
    };

    HttpServer(Handler handler, Refusal refusal, QByteArray contentType, int workers,
               const Limits& limits);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Port 0 takes a free port. On failure bindError() is the errno, EADDRINUSE
    // when another program listens there.
    bool bind(const std::string& host, int port);
    int port() const { return port_; }
    int bindError() const { return bindError_; }
    // Serves until stop(); false when nothing was bound.
    bool run();
    // From any thread, before or during run().
    void stop();
    bool isRunning() const { return running_; }

  private:
    using Clock = std::chrono::steady_clock;
    struct Connection;
    struct Job;
    using ConnectionPtr = std::unique_ptr<Connection>;

    // The reading thread: accepts, reads, refuses and times out connections.
    void serveConnections();
    // False when out of descriptors.
    bool acceptNew(std::vector<ConnectionPtr>& open);
    // Reads what has come; false on a failed connection.
    bool receive(Connection& c);
    // Looks at the bytes read so far: hands a whole request to a worker (c is
    // then null) or refuses a bad one (false either way); true while it waits.
    bool examine(ConnectionPtr& c);
    void refuse(ConnectionPtr& c, int status, const QByteArray& path);
    void closeReading(ConnectionPtr& c);
    void work();
    void answer(Job& job);
    bool write(Connection& c, const QByteArray& bytes, Clock::time_point deadline, int flags);
    void close(ConnectionPtr& c);
    void wake();

    Handler handler_;
    Refusal refusal_;
    QByteArray contentType_;
    int workerCount_;
    Limits limits_;

    int listener_ = -1;
    int port_ = -1;
    int bindError_ = 0;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> running_{false};
    std::atomic<Clock::rep> stopDeadline_{0};
    std::atomic<int> open_{0};  // connections not yet closed, workers' included
    qsizetype pending_ = 0;     // the reading thread's only

    std::mutex mutex_;
    std::condition_variable jobsReady_;
    std::deque<std::unique_ptr<Job>> jobs_;
    std::vector<ConnectionPtr> returned_;  // answered, to read the next request
    std::vector<std::thread> workers_;
};
