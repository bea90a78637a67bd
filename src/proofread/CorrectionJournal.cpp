#include "proofread/CorrectionJournal.h"

#include <QCryptographicHash>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "documents/DocumentFile.h"
#include "text/FileName.h"
#include "text/SystemError.h"

namespace {

// Version 2 runs end each entry with its hash and the run with its count.
constexpr char kHeader[] = "tavrel-journal 2 ";
constexpr char kHeaderV1[] = "tavrel-journal 1 ";
// A run is .open while it is written and .run once closed, so that a run
// cut short afterwards is told from one that was interrupted.
constexpr char kOpenSuffix[] = ".open";
constexpr char kRunSuffix[] = ".run";
constexpr char kUndoneSuffix[] = ".undone";

QByteArray sha256(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

// The journal's files as (sequence number, name), oldest first.
std::vector<std::pair<quint64, QByteArray>> journalFiles(const QString& directory) {
    std::vector<std::pair<quint64, QByteArray>> files;
    DIR* dir = ::opendir(pathBytes(directory).constData());
    if (!dir) return files;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (!name.endsWith(kRunSuffix) && !name.endsWith(kUndoneSuffix) &&
            !name.endsWith(kOpenSuffix))
            continue;
        bool ok = false;
        const quint64 number = name.left(name.indexOf('.')).toULongLong(&ok);
        if (ok) files.emplace_back(number, name);
    }
    ::closedir(dir);
    std::sort(files.begin(), files.end());
    return files;
}

// Where a path leads, links followed; empty when it leads nowhere.
QByteArray canonical(const QByteArray& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.constData(), resolved) ? QByteArray(resolved) : QByteArray();
}

// When a run file was last written to, in nanoseconds.
qint64 lastWritten(const QByteArray& file) {
    struct stat info {};
    if (::stat(file.constData(), &info) != 0) return 0;
    return qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

bool writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += n;
    }
    return true;
}

}  // namespace

std::optional<QByteArray> undoReplacements(const QByteArray& after,
                                           const std::vector<CorrectionRow>& replacements) {
    QByteArray before;
    qsizetype from = 0;   // in `after`
    qsizetype shift = 0;  // position in `after` minus position in the old bytes
    for (const CorrectionRow& r : replacements) {
        const qsizetype at = r.start - 1 + shift;
        if (at < from || at + r.right.size() > after.size() ||
            QByteArrayView(after).sliced(at, r.right.size()) != r.right)
            return std::nullopt;
        before += QByteArrayView(after).sliced(from, at - from);
        before += r.wrong;
        from = at + r.right.size();
        shift += r.right.size() - r.wrong.size();
    }
    before += QByteArrayView(after).sliced(from);
    return before;
}

CorrectionJournal::Run::Run(QString directory, QByteArray tool)
    : directory(std::move(directory)), tool(std::move(tool)) {}

CorrectionJournal::Run::Run(Run&& other) noexcept
    : directory(std::move(other.directory)),
      tool(std::move(other.tool)),
      fd(other.fd),
      name(std::move(other.name)),
      kept(other.kept),
      recorded(other.recorded),
      broken(std::move(other.broken)) {
    other.fd = -1;
}

CorrectionJournal::Run::~Run() {
    if (fd < 0) return;
    // The run's end and count: without them a closed run's reader knows the
    // record was cut short. Failing here leaves the run open: interrupted.
    if (broken.isEmpty() && writeAll(fd, "close " + QByteArray::number(recorded) + '\n') &&
        ::fdatasync(fd) == 0)
        ::rename(name.constData(), (name.left(name.lastIndexOf('.')) + kRunSuffix).constData());
    ::close(fd);
}

bool CorrectionJournal::Run::record(const QString& path, const QByteArray& before,
                                    const QByteArray& after,
                                    const std::vector<CorrectionRow>& replacements,
                                    QString* error) {
    const QByteArray directoryBytes = pathBytes(directory);
    auto message = [&](int code) {
        return QStringLiteral("修改记录无法写入：") + displayName(directory) +
               QStringLiteral("（") + systemErrorText(code) + QStringLiteral("）");
    };
    auto fail = [&](int code) {
        if (error) *error = message(code);
        return false;
    };
    if (!broken.isEmpty()) {
        if (error) *error = broken;
        return false;
    }
    if (fd < 0) {
        // The journal names the user's documents: readable by the user alone.
        for (qsizetype slash = directoryBytes.indexOf('/', 1); slash >= 0;
             slash = directoryBytes.indexOf('/', slash + 1))
            ::mkdir(directoryBytes.left(slash).constData(), 0700);
        if (::mkdir(directoryBytes.constData(), 0700) != 0 && errno != EEXIST) return fail(errno);
        // The next number; another program may take it first.
        std::vector<std::pair<quint64, QByteArray>> files = journalFiles(directory);
        quint64 number = files.empty() ? 1 : files.back().first + 1;
        for (;; ++number) {
            name = directoryBytes + '/' + QByteArray::number(number).rightJustified(10, '0') +
                   kOpenSuffix;
            fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
            if (fd >= 0) break;
            if (errno != EEXIST) return fail(errno);
        }
        const QByteArray header = kHeader + tool + '\n';
        if (!writeAll(fd, header)) {
            const int code = errno;
            ::close(fd);
            fd = -1;
            ::unlink(name.constData());
            return fail(code);
        }
        kept = header.size();
        // The oldest runs beyond the ones kept go.
        files = journalFiles(directory);
        for (size_t i = 0; i + kRunsKept < files.size(); ++i)
            ::unlink((directoryBytes + '/' + files[i].second).constData());
        const int dirFd = ::open(directoryBytes.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd >= 0) {
            ::fsync(dirFd);
            ::close(dirFd);
        }
    }
    // The undo may come from another directory.
    QByteArray absolute = pathBytes(path);
    if (!absolute.startsWith('/')) {
        char cwd[PATH_MAX];
        if (!::getcwd(cwd, sizeof cwd)) return fail(errno);
        absolute = QByteArray(cwd) + '/' + absolute;
    }
    QByteArray entry = "document " + absolute.toBase64() + ' ' + sha256(before) + ' ' +
                       sha256(after) + ' ' + canonical(absolute).toBase64() + '\n';
    for (const CorrectionRow& r : replacements)
        entry += "replace " + QByteArray::number(r.start) + ' ' + r.wrong.toBase64() + ' ' +
                 r.right.toBase64() + '\n';
    // Its own hash, so that a damaged entry is told from a whole one, and
    // when it was written, so that runs at once are undone in their order.
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    entry += "end " + sha256(entry) + ' ' +
             QByteArray::number(qint64(now.tv_sec) * 1000000000 + now.tv_nsec) + '\n';
    // On the disk before the document is replaced.
    if (!writeAll(fd, entry) || ::fdatasync(fd) != 0) {
        const int code = errno;
        // A short write is cut off, so that the next entry starts on a line of its own.
        if (::ftruncate(fd, kept) != 0 || ::fdatasync(fd) != 0) broken = message(code);
        return fail(code);
    }
    kept += entry.size();
    ++recorded;
    return true;
}

std::optional<CorrectionJournal::RunRecord> CorrectionJournal::lastRun(QString* error) const {
    // Two runs at once interleave their documents: the one that wrote last
    // is undone first.
    std::vector<std::pair<quint64, QByteArray>> files = journalFiles(directory_);
    std::erase_if(files, [](const auto& f) { return f.second.endsWith(kUndoneSuffix); });
    std::optional<RunRecord> latest;
    for (size_t index = 0; index < files.size(); ++index) {
        const QString file =
            directory_ + QLatin1Char('/') + QString::fromLatin1(files[index].second);
        const std::optional<QByteArray> text = DocumentFile::read(file, error);
        if (!text) return std::nullopt;
        RunRecord run{file, {}, {}};
        const QList<QByteArray> lines = text->split('\n');
        const bool v2 = lines.first().startsWith(kHeader);
        if (!v2 && !lines.first().startsWith(kHeaderV1)) {
            if (error) *error = QStringLiteral("修改记录已损坏：") + displayName(file);
            return std::nullopt;
        }
        std::optional<Document> open;
        QByteArray entry;  // the open entry's text, for its hash
        std::optional<qsizetype> closed;
        for (qsizetype i = 1; i < lines.size() && run.damage.isEmpty(); ++i) {
            const QList<QByteArray> fields = lines[i].split(' ');
            const bool last = i + 1 == lines.size();
            if (closed) {
                // Nothing may follow the close.
                if (!lines[i].isEmpty() || !last) run.damage = QStringLiteral("已损坏");
            } else if (last && !lines[i].isEmpty()) {
                // A last line without its line break was cut in the middle.
                if (v2) run.damage = QStringLiteral("不完整");
            } else if (fields[0] == "document" && (fields.size() == 4 || fields.size() == 5) &&
                       !open) {
                open =
                    Document{pathFromBytes(QByteArray::fromBase64(fields[1])),
                             fields[2],
                             fields[3],
                             {},
                             fields.size() == 5 ? pathFromBytes(QByteArray::fromBase64(fields[4]))
                                                : QString()};
                entry = lines[i] + '\n';
            } else if (fields[0] == "replace" && fields.size() == 4 && open) {
                bool ok = false;
                const qsizetype start = fields[1].toLongLong(&ok);
                if (!ok || start < 1) {
                    run.damage = QStringLiteral("已损坏");
                    continue;
                }
                open->replacements.push_back(
                    {start, QByteArray::fromBase64(fields[2]), QByteArray::fromBase64(fields[3])});
                entry += lines[i] + '\n';
            } else if (fields[0] == "end" && open &&
                       (v2 ? fields.size() == 3 && fields[1] == sha256(entry)
                           : fields.size() == 1)) {
                run.documents.push_back(std::move(*open));
                open.reset();
                if (v2) run.written = std::max(run.written, fields[2].toLongLong());
            } else if (fields[0] == "close" && fields.size() == 2 && v2 && !open) {
                bool ok = false;
                closed = fields[1].toLongLong(&ok);
                if (!ok || *closed != qsizetype(run.documents.size()))
                    run.damage = QStringLiteral("已损坏");
            } else if (!lines[i].isEmpty() || !last) {
                run.damage = QStringLiteral("已损坏");
            }
        }
        // A run killed while it wrote an entry had not touched that document
        // yet, so an open run is whole as far as it goes; a closed one that
        // lost its close was cut short.
        const bool interrupted = files[index].second.endsWith(kOpenSuffix);
        if (interrupted && run.damage == QStringLiteral("不完整")) run.damage.clear();
        if (run.damage.isEmpty() && v2 && !interrupted && !closed)
            run.damage = QStringLiteral("不完整");
        if (!run.damage.isEmpty())
            run.damage = QStringLiteral("修改记录") + run.damage + QStringLiteral("：") +
                         displayName(file) +
                         QStringLiteral("；记录中断处之后修改的文件无法撤销，也无法列出");
        // Runs of the first version say when they wrote only by their file.
        if (!v2) run.written = lastWritten(pathBytes(file));
        // A run that recorded nothing changed nothing; of two that wrote at
        // the same moment, the later started goes first.
        if ((!run.documents.empty() || !run.damage.isEmpty()) &&
            (!latest || run.written >= latest->written))
            latest = std::move(run);
    }
    return latest;
}

CorrectionJournal::UndoResult CorrectionJournal::undo(const RunRecord& run) const {
    UndoResult result;
    for (const Document& document : run.documents) {
        const QByteArray path = pathBytes(document.path);
        // A link put in the document's place since leads to a file the run never wrote.
        if (!document.file.isEmpty() && canonical(path) != pathBytes(document.file) &&
            !canonical(path).isEmpty()) {
            result.leftAlone.append(document.path);
            continue;
        }
        DocumentVersion version;
        const std::optional<QByteArray> now = DocumentFile::read(document.path, nullptr, &version);
        if (!now) {
            // Gone since is changed since; there but unreadable is a passing failure.
            struct stat info {};
            (::lstat(path.constData(), &info) == 0 ? result.failed : result.leftAlone)
                .append(document.path);
            continue;
        }
        const QByteArray hash = sha256(*now);
        if (hash == document.afterHash) {
            const std::optional<QByteArray> before = undoReplacements(*now, document.replacements);
            if (!before || sha256(*before) != document.beforeHash)
                result.leftAlone.append(document.path);
            else if (DocumentFile::write(document.path, *before, nullptr, &version))
                result.restored.append(document.path);
            else
                result.failed.append(document.path);
        } else if (hash == document.beforeHash) {
            // Killed before its replacement, or undone by hand: nothing to do.
            result.restored.append(document.path);
        } else {
            result.leftAlone.append(document.path);
        }
    }
    if (!result.failed.isEmpty()) return result;
    const QByteArray file = pathBytes(run.file);
    if (::rename(file.constData(),
                 (file.left(file.lastIndexOf('.')) + kUndoneSuffix).constData()) != 0)
        result.markError = QStringLiteral("修改记录无法写入：") + displayName(run.file) +
                           QStringLiteral("（") + systemErrorText(errno) + QStringLiteral("）");
    return result;
}
