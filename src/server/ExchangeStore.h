#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QDateTime>
#include <QString>

#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "library/SqlConnection.h"
#include "library/WordEntry.h"

// One entry as a proofreader sent it, waiting for a moderator.
struct Submission {
    qint64 id = 0;
    QByteArray usid;
    QByteArray usnm;
    QByteArray usemail;  // of the submitter's user record, for the moderator; not stored here
    WordEntry entry;     // tid and tdate unused
    QDateTime received;
};

// The exchange server's own database: the submissions waiting for review, the
// published entries and the users. One connection, used by one caller at a
// time, so the server's worker threads and a moderator's command in another
// process can share the file (the log lets readers go on beside a writer).
// Texts are GBK bytes, stored as they come.
class ExchangeStore {
  public:
    static constexpr char kFileName[] = "exchange.db";
    static constexpr int kBusyTimeoutMs = 5000;

    // Opens or creates DIR/exchange.db, keyed when `key` is not empty. A file
    // that exists but cannot be read (a wrong key, another format) is left as it is.
    bool open(const QString& directory, const QByteArray& key);
    QString lastError();

    // Why an entry cannot go out in a download record, or an empty text when it can:
    // ";" in grade, category or a form would shift the fields, "<br>" anywhere
    // would cut the record, and an entry without both forms corrects nothing.
    static QString unpublishable(const WordEntry& entry);
    // The exception phrases, without empty ones and repeats, in order.
    static QByteArrayList phrasesOf(const QByteArray& tbut);

    enum class SubmitResult { Queued, AlreadyPublished, Failed };
    // A second pending submission of the same pair from the same computer
    // takes the place of the first; one that a published entry already holds
    // queues nothing.
    SubmitResult submit(const Submission& submission);
    bool saveUser(const QByteArray& usid, const QByteArray& usnm, const QByteArray& usemail,
                  const QDateTime& now);

    std::vector<Submission> pending();
    // Publishes (or drops) the pending submissions `ids`: all of them, or none
    // when one is not pending; `error` names it.
    bool approve(const std::vector<qint64>& ids, const QDateTime& now, QString* error);
    bool reject(const std::vector<qint64>& ids, const QDateTime& now, QString* error);
    // Publishes the entries in one transaction: a pair already published gains
    // the new phrases and takes the new grade and category. All or none.
    bool publish(const std::vector<WordEntry>& entries, const QDateTime& now, QString* error);

    // The published entries, oldest publication first; tdate is the
    // publication. Nullopt when they cannot be read.
    std::optional<std::vector<WordEntry>> published();
    // Moves whenever the published entries may have changed: a commit of
    // another connection (a moderator's command) or a decision taken here.
    std::pair<qint64, qint64> publishedVersion();

  private:
    bool createSchema();
    bool publishLocked(const WordEntry& entry, const QDateTime& now);
    bool decide(const std::vector<qint64>& ids, const QDateTime& now, bool approved,
                QString* error);
    std::optional<Submission> pendingSubmission(qint64 id);
    std::optional<WordEntry> publishedWithForms(const QByteArray& wrong, const QByteArray& right);

    std::mutex mutex_;
    SqlConnection connection_;
    qint64 decisions_ = 0;
};
