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

constexpr char kHeader[] = "tavrel-journal 1 ";
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
        if (!name.endsWith(kRunSuffix) && !name.endsWith(kUndoneSuffix)) continue;
        bool ok = false;
        const quint64 number = name.left(name.indexOf('.')).toULongLong(&ok);
        if (ok) files.emplace_back(number, name);
    }
    ::closedir(dir);
    std::sort(files.begin(), files.end());
    return files;
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
    : directory(std::move(other.directory)), tool(std::move(other.tool)), fd(other.fd) {
    other.fd = -1;
}

CorrectionJournal::Run::~Run() {
    if (fd >= 0) ::close(fd);
}

bool CorrectionJournal::Run::record(const QString& path, const QByteArray& before,
                                    const QByteArray& after,
                                    const std::vector<CorrectionRow>& replacements,
                                    QString* error) {
    const QByteArray directoryBytes = pathBytes(directory);
    auto fail = [&](int code) {
        if (error)
            *error = QStringLiteral("修改记录无法写入：") + displayName(directory) +
                     QStringLiteral("（") + systemErrorText(code) + QStringLiteral("）");
        return false;
    };
    if (fd < 0) {
        // The journal names the user's documents: readable by the user alone.
        for (qsizetype slash = directoryBytes.indexOf('/', 1); slash >= 0;
             slash = directoryBytes.indexOf('/', slash + 1))
            ::mkdir(directoryBytes.left(slash).constData(), 0700);
        if (::mkdir(directoryBytes.constData(), 0700) != 0 && errno != EEXIST) return fail(errno);
        // The next number; another program may take it first.
        std::vector<std::pair<quint64, QByteArray>> files = journalFiles(directory);
        quint64 number = files.empty() ? 1 : files.back().first + 1;
        QByteArray name;
        for (;; ++number) {
            name = directoryBytes + '/' + QByteArray::number(number).rightJustified(10, '0') +
                   kRunSuffix;
            fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
            if (fd >= 0) break;
            if (errno != EEXIST) return fail(errno);
        }
        if (!writeAll(fd, kHeader + tool + '\n')) {
            const int code = errno;
            ::close(fd);
            fd = -1;
            ::unlink(name.constData());
            return fail(code);
        }
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
    QByteArray entry =
        "document " + absolute.toBase64() + ' ' + sha256(before) + ' ' + sha256(after) + '\n';
    for (const CorrectionRow& r : replacements)
        entry += "replace " + QByteArray::number(r.start) + ' ' + r.wrong.toBase64() + ' ' +
                 r.right.toBase64() + '\n';
    entry += "end\n";
    // On the disk before the document is replaced.
    if (!writeAll(fd, entry) || ::fdatasync(fd) != 0) return fail(errno);
    return true;
}

std::optional<CorrectionJournal::RunRecord> CorrectionJournal::lastRun(QString* error) const {
    const std::vector<std::pair<quint64, QByteArray>> files = journalFiles(directory_);
    for (auto it = files.rbegin(); it != files.rend(); ++it) {
        if (!it->second.endsWith(kRunSuffix)) continue;
        const QString file = directory_ + QLatin1Char('/') + QString::fromLatin1(it->second);
        const std::optional<QByteArray> text = DocumentFile::read(file, error);
        if (!text) return std::nullopt;
        RunRecord run{file, {}};
        auto broken = [&] {
            if (error) *error = QStringLiteral("修改记录已损坏：") + displayName(file);
            return std::nullopt;
        };
        const QList<QByteArray> lines = text->split('\n');
        if (!lines.first().startsWith(kHeader)) return broken();
        std::optional<Document> open;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QList<QByteArray> fields = lines[i].split(' ');
            if (fields[0] == "document" && fields.size() == 4 && !open) {
                open = Document{
                    pathFromBytes(QByteArray::fromBase64(fields[1])), fields[2], fields[3], {}};
            } else if (fields[0] == "replace" && fields.size() == 4 && open) {
                bool ok = false;
                const qsizetype start = fields[1].toLongLong(&ok);
                if (!ok || start < 1) return broken();
                open->replacements.push_back(
                    {start, QByteArray::fromBase64(fields[2]), QByteArray::fromBase64(fields[3])});
            } else if (fields[0] == "end" && fields.size() == 1 && open) {
                run.documents.push_back(std::move(*open));
                open.reset();
            } else if (i + 1 < lines.size() && !lines[i].isEmpty()) {
                return broken();
            }
            // The last line of a run killed while writing it is not an entry.
        }
        // A run that recorded nothing changed nothing.
        if (!run.documents.empty()) return run;
    }
    return std::nullopt;
}

CorrectionJournal::UndoResult CorrectionJournal::undo(const RunRecord& run) const {
    UndoResult result;
    for (const Document& document : run.documents) {
        DocumentVersion version;
        const std::optional<QByteArray> now = DocumentFile::read(document.path, nullptr, &version);
        const QByteArray hash = now ? sha256(*now) : QByteArray();
        bool restored = false;
        if (now && hash == document.afterHash) {
            const std::optional<QByteArray> before = undoReplacements(*now, document.replacements);
            restored = before && sha256(*before) == document.beforeHash &&
                       DocumentFile::write(document.path, *before, nullptr, &version);
        } else {
            // Killed before its replacement, or undone by hand: nothing to do.
            restored = now && hash == document.beforeHash;
        }
        (restored ? result.restored : result.leftAlone).append(document.path);
    }
    const QByteArray file = pathBytes(run.file);
    ::rename(
        file.constData(),
        (file.left(file.size() - qsizetype(std::strlen(kRunSuffix))) + kUndoneSuffix).constData());
    return result;
}
