#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>

#include "documents/DocumentFile.h"
#include "gui/MainWindow.h"
#include "gui/ProgramState.h"
#include "gui/proofread/HitTableModel.h"
#include "platform/Platform.h"
#include "platform/Prompter.h"
#include "proofread/CorrectionJournal.h"
#include "proofread/ProofreadPass.h"
#include "text/FileName.h"

// Correcting files: rewriting the ticked hits of the last scan.

namespace {

const QString kNotice = QStringLiteral("提示：");

}  // namespace

void MainWindow::runCorrection() {
    const int n = hitRows->rowCount();
    if (n == 0) return;

    // Taken once: the grid is read as it stood when the command was given.
    errorFileList->clear();
    QStringList files;
    std::vector<std::vector<CorrectionRow>> rowsOfFile;
    qsizetype j = -1;
    for (int r = 0; r < n; ++r) {
        const HitTableModel::Row& hit = hitRows->row(r);
        if (!hit.ticked) continue;
        const QString& name = hit.file;
        // A document's rows stand together: the last one's is looked up first.
        if (j < 0 || files[j] != name) j = files.indexOf(name);
        if (j < 0) {
            j = files.size();
            files.append(name);
            rowsOfFile.emplace_back();
        }
        rowsOfFile[static_cast<size_t>(j)].push_back({hit.start, hit.wrong, hit.right});
    }
    errorFileList->addItems(files);
    const int m = static_cast<int>(files.size());
    if (m == 0) {
        prompter.notify(Prompter::Icon::Information, kNotice,
                        QStringLiteral("没有选择要修改的文件！"));
        return;
    }
    if (!prompter.confirm(QStringLiteral("询问？"),
                          QStringLiteral("系统将自动修改选中的文件内容错误并保存，确定修改吗？")))
        return;
    // The run shows the documents it rewrites in the editor.
    if (!mayReplaceDocument()) return;

    setBusy(true);
    busyLabel->setText(QStringLiteral("修改中 ……"));
    busyLabel->show();
    progressBar->setValue(0);
    progressBar->show();
    // The whole window, so that a box just answered is gone before the work starts.
    repaint();
    progressBar->setMaximum(m);

    const QString directory = currentDirectory();
    QStringList failed;
    QString journalError;  // why a document could not be recorded
    size_t skippedRows = 0;
    CorrectionJournal::Run run =
        CorrectionJournal(journalDirectory(platform.appDataDirectory())).startRun("tavrel");
    for (int j = 0; j < m && !exiting; ++j) {
        const QString& name = files[j];
        const QString path = documentPath(directory, name);
        const std::vector<CorrectionRow>& rows = rowsOfFile[static_cast<size_t>(j)];
        setStatusText(QStringLiteral("正在修改文件：") + displayName(path) + QStringLiteral("…… "));
        // A large document is read, corrected, recorded and written beside
        // the window, which keeps showing the run meanwhile.
        const bool large = isLargeDocument(path);
        PassDocument document;
        ProofreadPass::Correction correction;
        runAside(
            [&] {
                document = ProofreadPass::read(path);
                if (document.file) correction = ProofreadPass::correct(document, rows);
            },
            large);
        const CorrectionResult& result = correction.file.result;
        // Never written when unreadable: an empty text would wipe the document.
        bool written = false;
        if (document.file && !result.applied.empty()) {
            setStatusText(QStringLiteral("保存文件：") + displayName(path) + QStringLiteral("…… "));
            runAside(
                [&] {
                    QString why;
                    const ProofreadPass::Written outcome =
                        ProofreadPass::write(document, correction, run, &why);
                    if (outcome == ProofreadPass::Written::NotRecorded) journalError = why;
                    written = outcome == ProofreadPass::Written::Yes;
                },
                large);
        }
        skippedRows += document.file ? result.skipped.size() : rows.size();
        if (!document.file || (!result.applied.empty() && !written))
            failed.append(displayName(name));
        if (written) {
            // Only a document that was rewritten becomes the current one, so
            // that Save never writes it into another file.
            state.currentFilePath = path;
            state.currentFileName = name;
            unreadablePath.clear();
            showText(ProofreadPass::textAfter(document, correction), true);
            state.documentDirty = false;
        }
        progressBar->setValue(j + 1);
        progressBar->repaint();
        QCoreApplication::processEvents();
    }

    setBusy(false);
    busyLabel->hide();
    progressBar->hide();
    progressBar->setValue(0);
    if (exiting) return;  // the window was closed during the run
    setStatusText(QStringLiteral("修改完毕！"));
    QString done = QStringLiteral("修改完毕！");
    if (!failed.isEmpty())
        done += QStringLiteral("\r\n未能修改的文件：") + failed.join(QStringLiteral("、"));
    if (skippedRows > 0)
        done += QStringLiteral("\r\n已跳过的记录：") + QString::number(skippedRows) +
                QStringLiteral("条");
    if (!journalError.isEmpty()) done += QStringLiteral("\r\n") + journalError;
    prompter.notify(Prompter::Icon::Information, kNotice, done);
}

void MainWindow::undoCorrection() {
    const CorrectionJournal journal(journalDirectory(platform.appDataDirectory()));
    QString error;
    const std::optional<CorrectionJournal::RunRecord> run = journal.lastRun(&error);
    if (!run) {
        if (error.isEmpty())
            prompter.notify(Prompter::Icon::Information, kNotice,
                            QStringLiteral("没有可撤销的修改！"));
        else
            prompter.notify(Prompter::Icon::Error, kNotice, error);
        return;
    }
    if (!prompter.confirm(
            QStringLiteral("询问？"),
            QStringLiteral("撤销最近一次修改（%1个文件）吗？").arg(run->documents.size())))
        return;
    // The shown document is read again afterwards.
    if (!mayReplaceDocument()) return;
    const CorrectionJournal::UndoResult result = journal.undo(*run);
    // The rows' positions belong to the texts that were undone.
    hitRows->clear();
    hitDecisions.clear();
    if (!state.currentFilePath.isEmpty()) showDocument(state.currentFilePath);
    setStatusText(QStringLiteral("撤销完毕！"));
    QString done = QStringLiteral("撤销完毕！");
    if (!result.leftAlone.isEmpty() || !result.failed.isEmpty()) {
        QStringList names;
        for (const QString& path : result.leftAlone + result.failed) names << displayName(path);
        done += QStringLiteral("\r\n未能撤销的文件：") + names.join(QStringLiteral("、"));
    }
    // A failed document, or a run that could not be marked, is offered again.
    if (!result.failed.isEmpty()) done += QStringLiteral("\r\n可以再次撤销，恢复无法读写的文件。");
    if (!run->damage.isEmpty()) done += QStringLiteral("\r\n") + run->damage;
    if (!result.markError.isEmpty()) done += QStringLiteral("\r\n") + result.markError;
    prompter.notify(Prompter::Icon::Information, kNotice, done);
}
