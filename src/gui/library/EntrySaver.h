#pragma once

#include <QString>

class Platform;
class WordDatabase;
class WordGridModel;

// Checks the pending rows of the word library grid and writes them to the
// library, one committed row at a time. It reports what the user is to see in
// its result and through Progress; it shows nothing itself.
class EntrySaver {
  public:
    class Progress {
      public:
        virtual ~Progress() = default;
        // The check begins over `total` pending rows.
        virtual void checkStarted(int total) = 0;
        virtual void writingStarted() = 0;
        // The row being checked or written, to be highlighted.
        virtual void rowReached(int row) = 0;
        virtual void positionChanged(int position) = 0;
        virtual void finished() = 0;
    };

    enum class Outcome {
        NothingPending,
        Rejected,  // some rows failed the check; nothing was written
        Saved,
        Failed  // the library refused a row; the rows before it stay written
    };

    struct Result {
        Outcome outcome = Outcome::NothingPending;
        // "序号：" and the wrong forms of the rejected rows, or empty.
        QString logicFailures;
        QString unencodableFailures;
        // Rows not written because their wrong form is empty.
        int skipped = 0;
        QString error;
    };

    EntrySaver(WordGridModel& grid, WordDatabase& database, Platform& platform);

    Result save(Progress& progress);

    // Only ASCII spaces count: a full-width space may be part of an entry.
    static QString trimSpaces(const QString& text);
    // The check every entry with exception phrases must pass: the phrases,
    // searched as one text, contain the wrong form.
    static bool exceptionsContainWrongForm(const QString& wrong, const QString& exceptions);

  private:
    void check(Progress& progress, Result& result);
    bool write(int row, Result& result);

    WordGridModel& grid;
    WordDatabase& database;
    Platform& platform;
};
