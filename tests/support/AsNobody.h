#pragma once

#include <pwd.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QString>

#include <functional>
#include <optional>

// Runs `work` in a child process that has given up root for the user
// `nobody`: files root made 0444 are then read-only for it, as they are for a
// real user (root may write them all). Returns what `work` said, or nullopt
// when the test does not run as root and cannot switch.
inline std::optional<QByteArray> runAsNobody(const std::function<QByteArray()>& work) {
    const passwd* nobody = ::getpwnam("nobody");
    int pipeEnds[2];
    if (::geteuid() != 0 || !nobody || ::pipe(pipeEnds) != 0) return std::nullopt;
    const uid_t uid = nobody->pw_uid;
    const gid_t gid = nobody->pw_gid;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        QByteArray said = "cannot switch user";
        if (::setgid(gid) == 0 && ::setuid(uid) == 0) said = work();
        const bool written = ::write(pipeEnds[1], said.constData(), said.size()) == said.size();
        ::_exit(written ? 0 : 1);
    }
    ::close(pipeEnds[1]);
    QByteArray said;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;) said.append(buffer, n);
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) said += " (child failed)";
    return said;
}

// Gives `path` to nobody with the given mode, as a user's own file.
inline bool giveToNobody(const QString& path, mode_t mode) {
    const passwd* nobody = ::getpwnam("nobody");
    const QByteArray native = QFile::encodeName(path);
    return nobody && ::chown(native.constData(), nobody->pw_uid, nobody->pw_gid) == 0 &&
           ::chmod(native.constData(), mode) == 0;
}
