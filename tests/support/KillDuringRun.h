#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QStringList>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

extern char** environ;

// Starts a program with its output going to /dev/null; 0 when it cannot start.
inline pid_t startQuietly(const QString& program, const QStringList& arguments) {
    std::vector<QByteArray> args{QFile::encodeName(program)};
    for (const QString& a : arguments) args.push_back(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) ADD_FAILURE() << "cannot start " << program.toStdString();
    return spawned == 0 ? pid : 0;
}

// Runs a program to its end; its exit status, or -1 when it did not exit normally.
inline int runToEnd(const QString& program, const QStringList& arguments) {
    const pid_t pid = startQuietly(program, arguments);
    int status = 0;
    if (pid == 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// Starts a program, waits until `ready` says the moment has come, waits
// `delay` more and kills it with SIGKILL. True when the kill met the program
// running; false when it had ended first.
inline bool killWhen(const QString& program, const QStringList& arguments,
                     const std::function<bool()>& ready, std::chrono::microseconds delay,
                     int timeoutMs = 60000) {
    const pid_t pid = startQuietly(program, arguments);
    if (pid == 0) return false;
    QElapsedTimer timer;
    timer.start();
    int status = 0;
    while (!ready()) {
        if (waitpid(pid, &status, WNOHANG) == pid) return false;
        if (timer.elapsed() > timeoutMs) {
            ADD_FAILURE() << program.toStdString() << " never reached the moment to kill it";
            break;
        }
    }
    if (delay.count() > 0) std::this_thread::sleep_for(delay);
    if (waitpid(pid, &status, WNOHANG) == pid) return false;
    ::kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return true;
}

// Files stamped with an old modification time, so that any write to them,
// in place or by replacing the file, shows at once.
class StampedFiles {
  public:
    static constexpr time_t kStamp = 1000000000;  // 2001

    explicit StampedFiles(QStringList paths) : paths_(std::move(paths)) {
        const timespec times[2] = {{kStamp, 0}, {kStamp, 0}};
        for (const QString& path : paths_)
            EXPECT_EQ(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    }
    int touched() const {
        int count = 0;
        struct stat info {};
        for (const QString& path : paths_)
            if (::stat(QFile::encodeName(path).constData(), &info) == 0 &&
                info.st_mtim.tv_sec != kStamp)
                ++count;
        return count;
    }

  private:
    QStringList paths_;
};
