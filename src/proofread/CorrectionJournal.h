#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

#include "proofread/Corrector.h"

// The record of correction runs that lets each be undone byte for byte. A run
// is one file in the journal directory; each rewritten document's entry (its
// path, the hashes of its bytes before and after, the replacements made) is
// appended and flushed to disk before the document is replaced, so after a
// kill at any moment the journal matches what is on disk. Only replacements
// are kept, never whole documents. The last kRunsKept runs are kept.
class CorrectionJournal {
  public:
    static constexpr int kRunsKept = 20;

    explicit CorrectionJournal(QString directory) : directory_(std::move(directory)) {}

    // A run being written. Its file is made with the first entry.
    class Run {
      public:
        // Records that `path` goes from `before` to `after` by `replacements`
        // (positions in `before`). False, with the reason, when it could not
        // be recorded: the document must then be left as it is.
        bool record(const QString& path, const QByteArray& before, const QByteArray& after,
                    const std::vector<CorrectionRow>& replacements, QString* error);
        ~Run();
        Run(Run&&) noexcept;
        Run(const Run&) = delete;
        Run& operator=(const Run&) = delete;
        Run& operator=(Run&&) = delete;

      private:
        friend class CorrectionJournal;
        Run(QString directory, QByteArray tool);
        QString directory;
        QByteArray tool;
        int fd = -1;
        QByteArray name;  // its file
        qint64 kept = 0;  // the file's size after its last whole entry
        qsizetype recorded = 0;
        QString broken;  // why no entry can be added any more
    };
    Run startRun(const QByteArray& tool) const { return Run(directory_, tool); }

    struct Document {
        QString path;
        QByteArray beforeHash, afterHash;
        std::vector<CorrectionRow> replacements;  // ascending, positions in the old bytes
        QString file;  // the file the path led to at the run, links followed; empty in old runs
    };
    struct RunRecord {
        QString file;                     // the run's file in the journal directory
        std::vector<Document> documents;  // those its record still vouches for
        // Why the record may not name every document the run changed: cut
        // short or damaged; empty when it is whole.
        QString damage;
        qint64 written = 0;  // when it last recorded a document, in nanoseconds
    };
    // The run whose documents were written last among those not undone;
    // nullopt when there is none, or when the journal cannot be read (then
    // `error` says why).
    std::optional<RunRecord> lastRun(QString* error) const;

    struct UndoResult {
        QStringList restored;
        QStringList leftAlone;  // changed since the run, or no longer the file it wrote
        QStringList failed;     // could not be read or written now: to be tried again
        // Why the run could not be marked undone; it is then offered again.
        QString markError;
    };
    // Gives each document of the run its old bytes back, when it still holds
    // exactly what the run wrote and is the file the run wrote; one that holds
    // its old bytes already counts as restored. The run is marked undone when
    // no document failed.
    UndoResult undo(const RunRecord& run) const;

    const QString& directory() const { return directory_; }

  private:
    QString directory_;
};

// Where the journal lives in the per-user data directory.
inline QString journalDirectory(const QString& appDataDirectory) {
    return appDataDirectory + QStringLiteral("/journal");
}

// The bytes a correction gave back: `after` with every replacement undone.
// nullopt when `after` does not hold a replacement's right form where it
// must.
std::optional<QByteArray> undoReplacements(const QByteArray& after,
                                           const std::vector<CorrectionRow>& replacements);
