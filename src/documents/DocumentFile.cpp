#include "documents/DocumentFile.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

std::optional<QByteArray> DocumentFile::read(const QString& path, QString* error) {
    // Plain system calls: a folder of small documents reads in half the time
    // it takes through QFile, which asks for the file's state three times.
    auto fail = [&](int code) -> std::optional<QByteArray> {
        if (error) *error = QString::fromLocal8Bit(std::strerror(code));
        return std::nullopt;
    };
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail(errno);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        const int code = S_ISDIR(info.st_mode) ? EISDIR : errno;
        ::close(fd);
        return fail(code);
    }
    // The size known in advance is read in one call; a file whose size says
    // nothing (a pipe, a file of /proc) is read until its end.
    const bool sized = S_ISREG(info.st_mode) && info.st_size > 0;
    QByteArray bytes(sized ? static_cast<qsizetype>(info.st_size) : 64 * 1024, Qt::Uninitialized);
    qsizetype used = 0;
    for (;;) {
        if (used == bytes.size()) {
            if (sized) break;
            bytes.resize(bytes.size() * 2);
        }
        const ssize_t got =
            ::read(fd, bytes.data() + used, static_cast<size_t>(bytes.size() - used));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            const int code = errno;
            ::close(fd);
            return fail(code);
        }
        if (got == 0) break;
        used += got;
    }
    ::close(fd);
    bytes.truncate(used);
    return bytes;
}

bool DocumentFile::write(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile file(path);
    // Unbuffered, so that a short write shows in write() and not in a flush
    // whose partial result commit() would keep.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        file.write(bytes) != bytes.size() || !file.commit()) {
        if (error) *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

QString documentPath(const QString& directory, const QString& fileName) {
    return directory.endsWith(QLatin1Char('/')) ? directory + fileName
                                                : directory + QLatin1Char('/') + fileName;
}

QStringList documentNames(const QString& directory) {
    static const char* const kPatterns[] = {"*.fbd", "*.txt", "*.htm", "*.html"};
    const QDir dir(directory);
    QStringList names;
    for (const char* pattern : kPatterns)
        names += dir.entryList({QString::fromLatin1(pattern)}, QDir::Files, QDir::Name);
    return names;
}
