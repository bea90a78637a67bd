#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

#include "library/IgnoredOccurrence.h"
#include "library/ProofreadMode.h"
#include "library/SqlConnection.h"
#include "library/UserInfo.h"
#include "library/WordEntry.h"

// The library file: an SQLCipher database with the tables `words`,
// `tuserinfo`, `tsettings` (what the program remembers per computer) and
// `tignored` (occurrences the user chose not to see again). One method per query the
// program issues; every value is bound as a parameter, never pasted into SQL text. Each call
// prepares, runs and finalizes its own statement, so nothing stays open between operations.
class WordDatabase {
  public:
    static constexpr char kPassword[] = "kq7Lmw2PzR9tXv4Bn";
    static constexpr int kBusyTimeoutMs = 6000;
    static constexpr int kSchemaVersion = 1;

    enum class OpenResult { Opened, Created, Failed };

    WordDatabase() = default;
    ~WordDatabase();
    WordDatabase(const WordDatabase&) = delete;
    WordDatabase& operator=(const WordDatabase&) = delete;

    // A missing file is created with both tables. A file that exists but
    // cannot be read as a library (wrong key, other format, damage) is left
    // exactly as it is and Failed is returned. A library this user cannot
    // write is opened for reading only.
    OpenResult open(const QString& path);
    void close();
    bool isOpen() const { return connection_.isOpen(); }
    // Every write fails; the commands that would write say so first.
    bool isReadOnly() const { return connection_.isReadOnly(); }
    const QString& path() const { return path_; }
    // Why the last operation failed; empty after a success.
    const QString& lastError() const { return connection_.lastError(); }
    // What the user is told when open() failed.
    QString openFailure() const;

    // The entries a proofreading mode applies, in tid order.
    std::vector<WordEntry> entriesForMode(ProofreadMode mode);
    // The whole library in tid order.
    std::vector<WordEntry> allEntries();
    std::optional<WordEntry> entry(qint64 tid);
    // Stores a new entry; returns its tid, or 0 when it could not be stored.
    qint64 addEntry(const WordEntry& entry);
    // Stores new entries in one transaction: all of them, or none.
    bool addEntries(const std::vector<WordEntry>& entries);
    // Rewrites the stored entry with entry.tid.
    bool updateEntry(const WordEntry& entry);
    // As updateEntry, but the stored exception phrases stay as they are.
    bool updateEntryKeepingExceptions(const WordEntry& entry);
    std::vector<WordEntry> entriesWithForms(const QByteArray& wrong, const QByteArray& right);
    // Entries whose tdate is later than `moment`; a null moment is the zero
    // date, before every dated entry.
    std::vector<WordEntry> entriesLaterThan(const QDateTime& moment);
    // Stores a new entry as given: a null tbut is stored without a value.
    qint64 addEntryKeepingNulls(const WordEntry& entry);
    // Rewrites only the exception phrases of the entry `tid`.
    bool setExceptions(qint64 tid, const QByteArray& tbut);

    std::optional<UserInfo> userInfo(const QByteArray& machineId);
    bool createUserInfo(const UserInfo& info);
    // Writes every field of the record whose pmachine is info.pmachine.
    bool writeUserInfo(const UserInfo& info);

    // A remembered value of this computer; nothing when none is stored (also in
    // a read-only library made before settings were kept).
    std::optional<QByteArray> setting(const QByteArray& machineId, const char* name);
    // Stores the value; a null value removes it.
    bool writeSetting(const QByteArray& machineId, const char* name, const QByteArray& value);

    // Every ignored occurrence, oldest first; none in a read-only library made
    // before they were kept.
    std::vector<IgnoredOccurrence> ignoredOccurrences();
    // Stores a new one; returns its id, or 0 when it could not be stored.
    qint64 addIgnored(const IgnoredOccurrence& ignored);
    bool removeIgnored(qint64 id);

    // Whether every page of the file reads as the database it belongs to
    // (SQLite's quick check); false, with the reason, when one does not.
    bool isIntact();

    // Runs `work` in one transaction: everything it stored, or nothing.
    template <typename Work>
    bool inTransaction(Work&& work) {
        return connection_.inTransaction(std::forward<Work>(work));
    }

  private:
    bool createSchema();
    // Downloads look every record up by its forms.
    bool createFormIndex();
    bool createSettingsTable();
    bool createIgnoredTable();
    bool hasTable(const char* name);
    std::vector<WordEntry> selectEntries(const char* sql, const std::vector<QByteArray>& values);

    SqlConnection connection_;
    QString path_;
    bool creating_ = false;
};
