#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTableView>
#include <QTextCursor>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <functional>
#include <limits>

#include "documents/DocumentFile.h"
#include "gui/MainWindow.h"
#include "gui/ProgramState.h"
#include "gui/documents/DirectoryBox.h"
#include "gui/documents/FileListItem.h"
#include "gui/proofread/HitTableModel.h"
#include "library/LibrarySource.h"
#include "platform/Prompter.h"
#include "proofread/ProofreadPass.h"
#include "text/TextCodec.h"

// The proofreading pass and result navigation.

namespace {

const QString kNotice = QStringLiteral("提示：");
const QString kHitChanged = QStringLiteral("该处已改动，请重新校对");
constexpr int kRepaintIntervalMs = 33;  // about 30 paints a second

// Shows a scan's progress without letting the painting slow the scan: the
// window is updated and its events run at most about 30 times a second. The
// progress bar counts the bytes of the document being scanned.
class WindowScanProgress : public ScanObserver {
  public:
    WindowScanProgress(QProgressBar* progressBar, const bool& exiting,
                       std::function<void(qsizetype, qsizetype)> select)
        : progressBar(progressBar), exiting(exiting), select(std::move(select)) {}

    // True when the window has not been updated for a while, so that what is
    // put into it now will be seen.
    bool due() const {
        return !sinceUpdate.isValid() || sinceUpdate.elapsed() >= kRepaintIntervalMs;
    }

    void startDocument(qsizetype size) {
        // A progress bar counts in int: a document past 2 GB is counted in larger units.
        shift = 0;
        while ((size >> shift) > std::numeric_limits<int>::max()) ++shift;
        progressBar->setMaximum(std::max(1, static_cast<int>(size >> shift)));
        bytes = 0;
        lastLength = 0;
    }
    void bytesDone(qsizetype done) override {
        bytes = done;
        if (!aside && due()) update();
    }
    bool stopRequested() override { return aside ? stop.load() : exiting; }
    // Runs `work`, a scan, with `run` on another thread: the progress is then
    // shown from a timer of the window's thread.
    void runAside(const std::function<void(const std::function<void()>&)>& run,
                  const std::function<void()>& work) {
        QTimer ticker;
        ticker.setInterval(kRepaintIntervalMs);
        QObject::connect(&ticker, &QTimer::timeout, [this] {
            progressBar->setValue(static_cast<int>(bytes >> shift));
            stop = exiting;
        });
        aside = true;
        stop = exiting;
        ticker.start();
        run(work);
        aside = false;
    }
    void occurrenceFound(qsizetype start, qsizetype length) override {
        lastStart = start;
        lastLength = length;
    }

    // After a document's rows are listed. A document that is showing is left
    // with its last occurrence selected, as a search entry by entry leaves it.
    void finishDocument(bool shown) {
        if (shown && lastLength > 0) select(lastStart - 1, lastLength);
        if (due()) update();
    }
    // Between the documents that are passed over.
    void passOver() {
        if (due()) update();
    }

  private:
    void update() {
        progressBar->setValue(static_cast<int>(bytes >> shift));
        QCoreApplication::processEvents();
        sinceUpdate.start();
    }

    QProgressBar* progressBar;
    const bool& exiting;
    std::function<void(qsizetype, qsizetype)> select;
    QElapsedTimer sinceUpdate;  // invalid until the first update: the first document is due
    std::atomic<qsizetype> bytes = 0;
    std::atomic<bool> stop = false;
    bool aside = false;
    qsizetype lastStart = 0, lastLength = 0;
    int shift = 0;
};

}  // namespace

void MainWindow::setBusy(bool running) {
    // Browsing or editing would change what the run is reading or writing.
    busy = running;
    driveBox->setEnabled(!running);
    directoryBox->setEnabled(!running);
    fileCheckList->setEnabled(!running);
    documentEdit->setReadOnly(running);
}

void MainWindow::runProofread() {
    if (!requireLibrary()) return;
    int ticked = 0;
    for (int i = 0; i < fileCheckList->count(); ++i)
        if (fileCheckList->item(i)->checkState() == Qt::Checked) ++ticked;
    if (ticked == 0) return;

    QString why;
    std::vector<IgnoredOccurrence> ignored;
    std::vector<WordEntry> entries = entriesToCheck(dbConnection, currentMode(), &why, &ignored)
                                         .value_or(std::vector<WordEntry>());
    if (!why.isEmpty()) {
        prompter.notify(Prompter::Icon::Error, kNotice, why);
        return;
    }
    if (entries.empty()) {
        prompter.notify(Prompter::Icon::Information, kNotice, QStringLiteral("尚没有校对词库！"));
        return;
    }
    // The pass shows the documents it reads in the editor.
    if (!mayReplaceDocument()) return;

    setBusy(true);
    resultGrid->setEnabled(false);
    busyLabel->setText(QStringLiteral("校对中 ……"));
    busyLabel->show();
    progressBar->setValue(0);
    progressBar->show();
    // The whole window, so that a box just answered is gone before the work starts.
    repaint();
    hitRows->clear();
    hitDecisions.clear();
    std::vector<EntryLine> lines;
    lines.reserve(entries.size());
    for (const WordEntry& entry : entries) lines.push_back(EntryLine::fromEntry(entry));
    // The lines share the forms' bytes; the rest of the entries is not needed
    // during the scan, and a large library would carry it twice.
    std::vector<WordEntry>().swap(entries);
    const ProofreadPass pass(std::move(lines), std::move(ignored));
    qsizetype ignoredHits = 0;

    QStringList unreadable;
    WindowScanProgress progress(progressBar, exiting, [this](qsizetype start, qsizetype length) {
        selectBytes(start, length);
    });
    const QString directory = currentDirectory();
    const int items = fileCheckList->count();
    int lastTicked = items - 1;
    while (lastTicked >= 0 && fileCheckList->item(lastTicked)->checkState() != Qt::Checked)
        --lastTicked;
    for (int i = 0; i < items && !exiting; ++i) {
        QListWidgetItem* item = fileCheckList->item(i);
        if (item->checkState() != Qt::Checked) {
            progress.passOver();
            continue;
        }
        {
            // The scan loads the document itself.
            const QSignalBlocker quiet(fileCheckList);
            fileCheckList->setCurrentRow(i);
        }
        const QString name = documentName(item);
        state.currentFilePath = documentPath(directory, name);
        setStatusText(QStringLiteral("正在校对：") + displayName(state.currentFilePath) +
                      QStringLiteral(" ……"));
        // A large document is read and scanned, and its rows made, beside the
        // window, which goes on showing the pass.
        const QString path = state.currentFilePath;
        const bool large = isLargeDocument(path);
        const PassDocument document = readDocument(path, large);
        // Bytes that are not text are named with the unreadable ones, never
        // reported clean.
        if (!document.problem.isEmpty()) unreadable.append(item->text());
        // Laying out a document in the editor costs more than scanning it: it
        // goes there when the window will show it, and the last one always.
        const bool shown = i == lastTicked || progress.due();
        if (shown) putDocument(document);
        progress.startDocument(document.text.bytes.size());
        std::vector<HitTableModel::Row> rows;
        auto scanIt = [&] {
            const ProofreadPass::Found found =
                pass.check(document, &progress, ProofreadPass::Detail::Contexts);
            ignoredHits += found.ignored;
            rows.reserve(found.hits.size());
            for (size_t h = 0; h < found.hits.size(); ++h) {
                const Hit& hit = found.hits[h];
                const HitContext& context = found.contexts[h];
                const EntryLine& entry = pass.form(hit.entry);
                rows.push_back({name, hit.start, hit.length, entry.wrong, entry.right, true,
                                context.marked(), entry.tid,
                                static_cast<int>(context.before.size()),
                                static_cast<int>(context.hit.size())});
            }
        };
        if (large)
            progress.runAside([this](const std::function<void()>& work) { runAside(work); },
                              scanIt);
        else
            scanIt();
        // Hundreds of thousands of rows go into the list in slices, the
        // window answering between them.
        constexpr size_t kSlice = 16384;
        for (size_t from = 0; from < rows.size(); from += kSlice) {
            const auto begin = rows.begin() + static_cast<std::ptrdiff_t>(from);
            const auto end =
                rows.begin() + static_cast<std::ptrdiff_t>(std::min(rows.size(), from + kSlice));
            hitRows->append({std::make_move_iterator(begin), std::make_move_iterator(end)});
            if (end != rows.end()) QCoreApplication::processEvents();
        }
        // The slices leave the rows moved from, not removed.
        if (!rows.empty()) resultGrid->scrollToBottom();
        progress.finishDocument(shown);
    }

    setBusy(false);
    busyLabel->hide();
    progressBar->hide();
    progressBar->setValue(0);
    resultGrid->setEnabled(true);
    if (exiting) return;  // the window was closed during the scan
    QStringList withHits;
    for (int r = 0; r < hitRows->rowCount(); ++r)
        if (!withHits.contains(hitRows->row(r).file)) withHits << hitRows->row(r).file;
    QString summary =
        QStringLiteral("校对完毕！共%1处，%2个文件").arg(hitRows->rowCount()).arg(withHits.size());
    if (ignoredHits > 0) summary += QStringLiteral("（已忽略%1处）").arg(ignoredHits);
    setStatusText(summary);
    QString done = QStringLiteral("校对完毕！");
    if (!unreadable.isEmpty())
        done += QStringLiteral("\r\n未能读取的文件：") + unreadable.join(QStringLiteral("、"));
    prompter.notify(Prompter::Icon::Information, kNotice, done);
}

void MainWindow::showSelectedHit() {
    const int row = resultGrid->currentIndex().row();
    // No hit row; or the scan is writing the rows, or a document is opening,
    // which would land in the editor after this one.
    if (row < 0 || row >= hitRows->rowCount() || !resultGrid->isEnabled() || busy) return;
    const HitTableModel::Row hit = hitRows->row(row);  // a copy: the question below lets events run
    const QString path = documentPath(currentDirectory(), hit.file);
    if (path != state.currentFilePath) {
        if (!mayReplaceDocument()) return;
        state.currentFilePath = path;
        showDocument(path);
    }
    if (!hitStillThere(hit.start - 1, TextCodec::recodeGbk(hit.wrong, shownView.encoding()))) {
        // Text typed before the hit moved it: selecting the old bytes would
        // show, and invite correcting, something else.
        QTextCursor cursor = documentEdit->textCursor();
        cursor.clearSelection();
        documentEdit->setTextCursor(cursor);
        setStatusText(kHitChanged);
        return;
    }
    if (statusPanel0->text() == kHitChanged) setStatusText(QString());
    // The keyboard stays in the list, so that Up and Down step through the hits.
    selectBytes(hit.start - 1, hit.length);
    documentEdit->ensureCursorVisible();
}

bool MainWindow::hitStillThere(qsizetype byteStart, const QByteArray& wrong) const {
    const auto [first, last] = shownView.charRange(byteStart, wrong.size());
    if (last > documentEdit->document()->characterCount() - 1) return false;
    QTextCursor cursor(documentEdit->document());
    cursor.setPosition(static_cast<int>(first));
    cursor.setPosition(static_cast<int>(last), QTextCursor::KeepAnchor);
    QString shown = cursor.selectedText();
    shown.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    shown.replace(QChar::LineSeparator, QLatin1Char('\n'));
    QString unencodable;
    const QByteArray bytes = shownView.encodePiece(shown, &unencodable);
    return unencodable.isEmpty() &&
           bytes.mid(byteStart - shownView.byteOffsetOf(first), wrong.size()) == wrong;
}
