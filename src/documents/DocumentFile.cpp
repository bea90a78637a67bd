#include "documents/DocumentFile.h"

#include <QRandomGenerator>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "text/FileName.h"
#include "text/SystemError.h"

namespace {

const QString kNotRegular = QStringLiteral("不是普通文件");
const QString kChanged = QStringLiteral("文档在读取后已被其他程序改动");
const QString kKeepOwner = QStringLiteral("无法保留文档的所有者和权限：");

QString reasonOf(int code) { return systemErrorText(code); }

DocumentVersion versionOf(const struct stat& info) {
    return {info.st_size, info.st_mtim.tv_sec, info.st_mtim.tv_nsec, info.st_dev, info.st_ino};
}

bool fail(QString* error, const QString& reason) {
    if (error) *error = reason;
    return false;
}

// Every byte, or false with errno set; unbuffered, so a short write shows here.
bool writeAll(int fd, const QByteArray& bytes, off_t at) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::pwrite(fd, bytes.constData() + done,
                                     static_cast<size_t>(bytes.size() - done), at + done);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) return false;
        done += put;
    }
    return true;
}

// The file a chain of symbolic links ends at, or the path itself when it is
// none (or not there yet); empty after too many links.
QByteArray linkTarget(QByteArray path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (::lstat(path.constData(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
        QByteArray link(std::max<qsizetype>(info.st_size, 4096) + 1, Qt::Uninitialized);
        const ssize_t size = ::readlink(path.constData(), link.data(), size_t(link.size()));
        if (size < 0) return path;
        link.truncate(size);
        if (!link.startsWith('/')) link.prepend(path.left(path.lastIndexOf('/') + 1));
        path = link;
    }
    return {};
}

constexpr char kRewriteSuffix[] = ".rewrite";
constexpr char kRewriteHeader[] = "tavrel-rewrite 1 ";

std::mutex& recoveryMutex() {
    static std::mutex m;
    return m;
}
QString& recoveryPlace() {
    static QString directory;
    return directory;
}

bool syncDirectory(const QByteArray& directory) {
    const int fd = ::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

// The new text of a rewrite in place, kept whole on the disk until the
// rewrite is: a kill halfway leaves a document that the record finishes.
// Its first line names the document (device, inode, the text's size and
// path), the text follows. Empty with errno set when it could not be kept.
QByteArray keepRewrite(const QByteArray& target, const struct stat& info, const QByteArray& bytes) {
    const QByteArray directory = pathBytes(recoveryPlace());
    if (directory.isEmpty()) return directory;
    ::mkdir(directory.constData(), 0700);
    QByteArray record;
    int fd = -1;
    for (int tries = 0; fd < 0 && tries < 100; ++tries) {
        record = directory + '/' +
                 QByteArray::number(QRandomGenerator::global()->generate64(), 36) + kRewriteSuffix;
        fd = ::open(record.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) return {};
    }
    if (fd < 0) return {};
    const QByteArray header = kRewriteHeader + QByteArray::number(quint64(info.st_dev)) + ' ' +
                              QByteArray::number(quint64(info.st_ino)) + ' ' +
                              QByteArray::number(bytes.size()) + ' ' + target.toBase64() + '\n';
    const bool kept =
        writeAll(fd, header, 0) && writeAll(fd, bytes, off_t(header.size())) && ::fsync(fd) == 0;
    int code = errno;
    ::close(fd);
    const bool synced = kept && syncDirectory(directory);
    if (kept) code = errno;
    if (!synced) {
        ::unlink(record.constData());
        errno = code;
        return {};
    }
    return record;
}

// A document with several hard links: the new size is reserved first, so a
// full disk stops the rewrite before the old text is touched, and the new
// text is kept apart first, so a kill in the middle can be finished.
bool rewriteInPlace(const QByteArray& target, const QByteArray& bytes,
                    const DocumentVersion* expected, QString* error, bool keep = true) {
    const int fd = ::open(target.constData(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return fail(error, reasonOf(errno));
    auto failClosed = [&](const QString& reason) {
        ::close(fd);
        return fail(error, reason);
    };
    struct stat info {};
    if (::fstat(fd, &info) != 0) return failClosed(reasonOf(errno));
    if (!S_ISREG(info.st_mode)) return failClosed(kNotRegular);
    if (expected && versionOf(info) != *expected) return failClosed(kChanged);
    // Kept before the size grows: a kill after that leaves the old text padded.
    QByteArray record;
    if (keep && !recoveryPlace().isEmpty()) {
        record = keepRewrite(target, info, bytes);
        if (record.isEmpty()) return failClosed(reasonOf(errno));
    }
    if (bytes.size() > info.st_size) {
        const int code = ::posix_fallocate(fd, 0, bytes.size());
        if (code != 0) {
            // Whatever was reserved goes back; the text was never touched.
            (void)::ftruncate(fd, info.st_size);
            if (!record.isEmpty()) ::unlink(record.constData());
            return failClosed(reasonOf(code));
        }
    }
    if (!writeAll(fd, bytes, 0) || ::ftruncate(fd, bytes.size()) != 0 || ::fsync(fd) != 0) {
        const int code = errno;
        // Not one byte may be lost: what was written is finished from the record.
        if (!record.isEmpty() && writeAll(fd, bytes, 0) && ::ftruncate(fd, bytes.size()) == 0 &&
            ::fsync(fd) == 0) {
            ::close(fd);
            ::unlink(record.constData());
            return true;
        }
        return failClosed(reasonOf(code));
    }
    if (::close(fd) != 0) return fail(error, reasonOf(errno));
    if (!record.isEmpty()) ::unlink(record.constData());
    return true;
}

}  // namespace

int DocumentFile::openRegular(const QString& path, DocumentVersion* version, QString* error) {
    // Not blocking: opening a pipe would wait for a writer.
    const int fd = ::open(pathBytes(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        fail(error, reasonOf(errno));
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const QString reason = info.st_mode == 0       ? reasonOf(errno)
                               : S_ISDIR(info.st_mode) ? reasonOf(EISDIR)
                                                       : kNotRegular;
        ::close(fd);
        fail(error, reason);
        return -1;
    }
    if (version) *version = versionOf(info);
    return fd;
}

std::optional<QByteArray> DocumentFile::read(const QString& path, QString* error,
                                             DocumentVersion* version) {
    // Plain system calls: a folder of small documents reads in half the time
    // it takes through QFile, which asks for the file's state three times.
    DocumentVersion read;
    const int fd = openRegular(path, &read, error);
    if (fd < 0) return std::nullopt;
    // The size known in advance is read in one call; a file whose size says
    // nothing (a file of /proc) is read until its end.
    const bool sized = read.size > 0;
    QByteArray bytes(sized ? static_cast<qsizetype>(read.size) : 64 * 1024, Qt::Uninitialized);
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
            fail(error, reasonOf(code));
            return std::nullopt;
        }
        if (got == 0) break;
        used += got;
    }
    ::close(fd);
    bytes.truncate(used);
    if (version) *version = read;
    return bytes;
}

bool DocumentFile::write(const QString& path, const QByteArray& bytes, QString* error,
                         const DocumentVersion* expected) {
    const QByteArray target = linkTarget(pathBytes(path));
    if (target.isEmpty()) return fail(error, reasonOf(ELOOP));
    struct stat info {};
    const bool exists = ::stat(target.constData(), &info) == 0;
    if (!exists && errno != ENOENT) return fail(error, reasonOf(errno));
    if (exists && !S_ISREG(info.st_mode)) return fail(error, kNotRegular);
    if (expected && (!exists || versionOf(info) != *expected)) return fail(error, kChanged);
    if (exists && info.st_nlink > 1) return rewriteInPlace(target, bytes, expected, error);

    // Beside the document, so that the rename stays on one file system. A new
    // document gets the mode the user's umask gives.
    QByteArray temp;
    int fd = -1;
    for (int tries = 0; fd < 0 && tries < 100; ++tries) {
        temp = target + '.' +
               QByteArray::number(QRandomGenerator::global()->generate() % 0x1000000, 36);
        // Private until it has the document's owner and mode: the text may be.
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return fail(error, reasonOf(errno));
    auto failRemoved = [&](const QString& reason) {
        if (fd >= 0) ::close(fd);
        ::unlink(temp.constData());
        return fail(error, reason);
    };
    if (!writeAll(fd, bytes, 0)) return failRemoved(reasonOf(errno));
    if (!exists) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        if (::fchmod(fd, 0666 & ~mask) != 0) return failRemoved(reasonOf(errno));
    } else {
        struct stat made {};
        if (::fstat(fd, &made) != 0) return failRemoved(reasonOf(errno));
        // Owner first: changing it may clear the set-id bits that the mode then restores.
        if ((made.st_uid != info.st_uid || made.st_gid != info.st_gid) &&
            ::fchown(fd, info.st_uid, info.st_gid) != 0)
            return failRemoved(kKeepOwner + reasonOf(errno));
        if (::fchmod(fd, info.st_mode & 07777) != 0)
            return failRemoved(kKeepOwner + reasonOf(errno));
    }
    if (::fsync(fd) != 0) return failRemoved(reasonOf(errno));
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0) return failRemoved(reasonOf(errno));
    if (expected) {
        // The last look before the old text goes.
        struct stat now {};
        if (::stat(target.constData(), &now) != 0 || versionOf(now) != *expected)
            return failRemoved(kChanged);
    }
    if (::rename(temp.constData(), target.constData()) != 0) return failRemoved(reasonOf(errno));
    return true;
}

void DocumentFile::keepRewritesIn(const QString& directory) {
    const std::lock_guard lock(recoveryMutex());
    recoveryPlace() = directory;
}

QStringList DocumentFile::finishInterruptedRewrites() {
    const std::lock_guard lock(recoveryMutex());
    QStringList finished;
    const QByteArray directory = pathBytes(recoveryPlace());
    DIR* dir = directory.isEmpty() ? nullptr : ::opendir(directory.constData());
    if (!dir) return finished;
    QByteArrayList records;
    while (const dirent* entry = ::readdir(dir))
        if (QByteArray(entry->d_name).endsWith(kRewriteSuffix))
            records << directory + '/' + entry->d_name;
    ::closedir(dir);
    for (const QByteArray& record : records) {
        const std::optional<QByteArray> kept = read(pathFromBytes(record));
        const qsizetype lineEnd = kept ? kept->indexOf('\n') : -1;
        const QList<QByteArray> fields =
            lineEnd > 0 ? kept->left(lineEnd).split(' ') : QList<QByteArray>();
        // A record cut short was made before its document was touched.
        if (fields.size() == 6 && kept->startsWith(kRewriteHeader) &&
            fields[4].toLongLong() == kept->size() - lineEnd - 1) {
            const QByteArray target = QByteArray::fromBase64(fields[5]);
            const QByteArray bytes = kept->mid(lineEnd + 1);
            struct stat info {};
            // Only the very file it was made for, and only while it is not whole.
            if (::stat(target.constData(), &info) == 0 &&
                quint64(info.st_dev) == fields[2].toULongLong() &&
                quint64(info.st_ino) == fields[3].toULongLong() &&
                read(pathFromBytes(target)) != bytes &&
                rewriteInPlace(target, bytes, nullptr, nullptr, false))
                finished << pathFromBytes(target);
        }
        ::unlink(record.constData());
    }
    return finished;
}

QString documentPath(const QString& directory, const QString& fileName) {
    return directory.endsWith(QLatin1Char('/')) ? directory + fileName
                                                : directory + QLatin1Char('/') + fileName;
}

namespace {

// The names of a directory's entries, not hidden, sorted, whose type `wanted`
// takes (it gets the entry's full path in bytes and its file type). Listed by
// bytes: QDir would give a name that is not UTF-8 in a form no file has.
template <typename Wanted>
QStringList namesIn(const QString& directory, Wanted wanted) {
    const QByteArray where = pathBytes(directory);
    QStringList names;
    if (DIR* dir = ::opendir(where.constData())) {
        const QByteArray prefix = where.endsWith('/') ? where : where + '/';
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] == '.') continue;  // hidden, or . and ..
            const QByteArray path = prefix + entry->d_name;
            // The entry's type where the directory tells it: no stat per document.
            mode_t type = entry->d_type == DT_REG ? S_IFREG : entry->d_type == DT_DIR ? S_IFDIR : 0;
            if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
                struct stat info {};
                if (::stat(path.constData(), &info) == 0) type = info.st_mode & S_IFMT;
            }
            if (type != 0 && wanted(path, type)) names << pathFromBytes(QByteArray(entry->d_name));
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

QStringList documentNames(const QString& directory, const QStringList& suffixes) {
    const QStringList files =
        namesIn(directory, [](const QByteArray&, mode_t type) { return type == S_IFREG; });
    QStringList names;
    for (const QString& suffix : suffixes)
        for (const QString& name : files)
            if (name.endsWith(suffix, Qt::CaseInsensitive)) names << name;
    return names;
}

QStringList subdirectoryNames(const QString& directory) {
    return namesIn(directory, [](const QByteArray& path, mode_t type) {
        return type == S_IFDIR && ::access(path.constData(), R_OK) == 0;
    });
}
