// Measures the word library window on a library of 50,000 entries: opening it
// (load and first paint), Find, and saving 1,000 edited rows; and beside it
// what SQLite's quick check of the whole file would add to opening it. The library file
// lives on the disk beside the program, not in memory, so that every commit is
// a real write.

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>

#include <cstdio>

#include "gui/library/WordGridModel.h"
#include "gui/library/WordLibraryWindow.h"
#include "library/WordDatabase.h"
#include "platform/Prompter.h"
#include "platform/SystemPlatform.h"
#include "text/GbkCodec.h"

namespace {

constexpr int kEntries = 50000;
constexpr int kEditedRows = 1000;

// Answers every box with OK and remembers the last text.
class QuietPrompter : public Prompter {
  public:
    QString last;
    int count = 0;
    Answer message(Icon, const QString&, const QString& text, Buttons) override {
        last = text;
        ++count;
        return Answer::Ok;
    }
    QStringList openFiles(const FileDialog&) override { return {}; }
    QString saveFile(const FileDialog&) override { return {}; }
};

QString wrongForm(int i) { return QStringLiteral("错字%1").arg(i); }

bool fillLibrary(WordDatabase& db) {
    return db.inTransaction([&] {
        for (int i = 1; i <= kEntries; ++i) {
            WordEntry e;
            e.tgrade = gbk(QStringLiteral("基本"));
            e.tclass = gbk(QStringLiteral("通用"));
            e.terror = gbk(wrongForm(i));
            e.tright = gbk(QStringLiteral("正字%1").arg(i));
            e.tbut = gbk(QStringLiteral("例外%1;错字%1甲").arg(i));
            e.tdate = QDateTime(QDate(2020, 1, 1), QTime(0, 0));
            if (db.addEntry(e) == 0) return false;
        }
        return true;
    });
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir(QCoreApplication::applicationDirPath() + QStringLiteral("/bench-XXXXXX"));
    const QString path = dir.filePath(QStringLiteral("jdck.mdb"));
    WordDatabase db;
    if (db.open(path) != WordDatabase::OpenResult::Created || !fillLibrary(db)) {
        std::fprintf(stderr, "cannot build the library: %s\n", qPrintable(db.lastError()));
        return 1;
    }
    // Opening as every command does, reading what a pass reads, and the quick
    // check that would find a damaged page before any of it.
    QElapsedTimer timer;
    db.close();
    timer.start();
    const bool reopened = db.open(path) == WordDatabase::OpenResult::Opened;
    const qint64 reopenMs = timer.elapsed();
    timer.restart();
    const size_t read = db.entriesForMode(ProofreadMode::Professional).size();
    const qint64 readMs = timer.elapsed();
    timer.restart();
    const bool intact = db.isIntact();
    const qint64 checkMs = timer.elapsed();
    if (!reopened || read != size_t(kEntries) || !intact) {
        std::fprintf(stderr, "cannot read the library back: %s\n", qPrintable(db.lastError()));
        return 1;
    }

    SystemPlatform platform;
    QuietPrompter prompter;

    timer.restart();
    WordLibraryWindow window(db, prompter, platform);
    window.show();
    QCoreApplication::processEvents();
    const qint64 openMs = timer.elapsed();
    WordGridModel& grid = window.grid();
    if (grid.dataRows() != kEntries + 1) {
        std::fprintf(stderr, "loaded %d rows\n", grid.dataRows());
        return 1;
    }

    // The slowest Find walks the whole column: a form near the end, and one that is nowhere.
    auto* search = window.findChild<QLineEdit*>(QStringLiteral("searchEdit"));
    qint64 findMs = 0;
    for (const QString& text : {wrongForm(kEntries - 3), QStringLiteral("无此字")}) {
        search->setText(text);
        timer.restart();
        window.find();
        QCoreApplication::processEvents();
        findMs = std::max(findMs, timer.elapsed());
    }

    // Edits as the user commits them, spread over the library.
    for (int k = 0; k < kEditedRows; ++k) {
        const int row = 1 + k * (kEntries / kEditedRows);
        grid.setData(grid.cellIndex(row, WordGridModel::RightColumn),
                     QStringLiteral("改正%1").arg(k));
    }
    QCoreApplication::processEvents();
    if (grid.pendingRows().size() != kEditedRows) {
        std::fprintf(stderr, "%zu rows pending\n", grid.pendingRows().size());
        return 1;
    }
    timer.restart();
    window.saveEditedRows();
    const qint64 saveMs = timer.elapsed();
    if (prompter.last != QStringLiteral("词汇已注入数据库！")) {
        std::fprintf(stderr, "save said: %s\n", qPrintable(prompter.last));
        return 1;
    }

    std::printf("library with %d entries: open %lld ms, read them %lld ms, quick check %lld ms\n",
                kEntries, static_cast<long long>(reopenMs), static_cast<long long>(readMs),
                static_cast<long long>(checkMs));
    std::printf("open with %d entries: %lld ms\n", kEntries, static_cast<long long>(openMs));
    std::printf("find (slowest of two): %lld ms\n", static_cast<long long>(findMs));
    std::printf("save %d edited rows: %lld ms\n", kEditedRows, static_cast<long long>(saveMs));
    return 0;
}
