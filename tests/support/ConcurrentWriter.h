#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/fanotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QString>

#include <atomic>
#include <functional>
#include <thread>

// Another program that holds a document open for appending and adds `line`
// to it when told, then ends.
class AppendingProcess {
  public:
    AppendingProcess(const QString& path, const QByteArray& line) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND);
        int go[2];
        if (fd < 0 || ::pipe(go) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            char c;
            const bool told = ::read(go[0], &c, 1) == 1;
            _exit(told && ::write(fd, line.constData(), size_t(line.size())) == line.size() ? 0
                                                                                            : 1);
        }
        ::close(fd);
        ::close(go[0]);
        tell_ = go[1];
    }
    ~AppendingProcess() {
        if (tell_ >= 0) ::close(tell_);
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    }
    // True when the line was written.
    bool appendNow() {
        int status = 0;
        const bool done = pid_ > 0 && ::write(tell_, "x", 1) == 1 &&
                          ::waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status) &&
                          WEXITSTATUS(status) == 0;
        pid_ = 0;
        return done;
    }

  private:
    pid_t pid_ = 0;
    int tell_ = -1;
};

// While it lives, the first open of a file of `directory` whose name starts
// with `prefix` waits until `meanwhile` has run; every other open goes on at
// once. Needs root (fanotify); without it available() is false.
class PauseOnOpen {
  public:
    PauseOnOpen(const QString& directory, const QByteArray& prefix, std::function<void()> meanwhile)
        : prefix_(QFile::encodeName(directory) + '/' + prefix), meanwhile_(std::move(meanwhile)) {
        fd_ = fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY | O_CLOEXEC);
        if (fd_ >= 0 && fanotify_mark(fd_, FAN_MARK_ADD, FAN_OPEN_PERM | FAN_EVENT_ON_CHILD,
                                      AT_FDCWD, QFile::encodeName(directory).constData()) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
        if (fd_ >= 0) watcher_ = std::thread([this] { watch(); });
    }
    ~PauseOnOpen() {
        stop_ = true;
        if (watcher_.joinable()) watcher_.join();
        if (fd_ >= 0) ::close(fd_);
    }
    bool available() const { return fd_ >= 0; }
    bool paused() const { return paused_; }

  private:
    void watch() {
        alignas(fanotify_event_metadata) char buffer[4096];
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            const ssize_t got = ::read(fd_, buffer, sizeof buffer);
            auto* event = reinterpret_cast<fanotify_event_metadata*>(buffer);
            for (ssize_t left = got; FAN_EVENT_OK(event, left);
                 event = FAN_EVENT_NEXT(event, left)) {
                char path[4096];
                const QByteArray link = "/proc/self/fd/" + QByteArray::number(event->fd);
                const ssize_t size = ::readlink(link.constData(), path, sizeof path);
                if (!paused_ && size > 0 && QByteArray(path, size).startsWith(prefix_)) {
                    paused_ = true;
                    meanwhile_();
                }
                const fanotify_response allow{event->fd, FAN_ALLOW};
                (void)::write(fd_, &allow, sizeof allow);
                ::close(event->fd);
            }
        }
    }

    QByteArray prefix_;
    std::function<void()> meanwhile_;
    int fd_ = -1;
    std::atomic<bool> stop_{false}, paused_{false};
    std::thread watcher_;
};
