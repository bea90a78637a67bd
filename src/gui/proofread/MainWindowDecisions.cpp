#include <QAction>
#include <QMenu>
#include <QTableView>

#include <algorithm>

#include "documents/DocumentFile.h"
#include "gui/MainWindow.h"
#include "gui/proofread/ExceptionPhraseDialog.h"
#include "gui/proofread/IgnoredListDialog.h"
#include "platform/Platform.h"
#include "platform/Prompter.h"
#include "proofread/ProofreadPass.h"
#include "text/FileName.h"

// Decisions on hits: exception phrases learnt from them, occurrences ignored
// for good, and taking either back.

namespace {

const QString kNotice = QStringLiteral("提示：");

}  // namespace

void MainWindow::buildHitActions() {
    // Keys of the hit list only: elsewhere Ctrl+Z and Delete belong to the editor.
    auto action = [this](const char* caption, const char* name, QKeySequence keys,
                         void (MainWindow::*run)()) {
        auto* a = new QAction(QString::fromUtf8(caption), resultGrid);
        a->setObjectName(QLatin1String(name));
        a->setShortcut(keys);
        a->setShortcutContext(Qt::WidgetShortcut);
        connect(a, &QAction::triggered, this, [this, run] {
            if (!busy) (this->*run)();
        });
        resultGrid->addAction(a);
        return a;
    };
    menuAddException = action("加为例外", "menuAddException", QKeySequence(Qt::CTRL | Qt::Key_E),
                              &MainWindow::addHitException);
    menuIgnoreHit =
        action("忽略此处", "menuIgnoreHit", QKeySequence(Qt::Key_Delete), &MainWindow::ignoreHit);
    menuUndoDecision = action("撤销", "menuUndoDecision", QKeySequence(Qt::CTRL | Qt::Key_Z),
                              &MainWindow::undoHitDecision);
    resultGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(resultGrid, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const QModelIndex index = resultGrid->indexAt(at);
        if (index.isValid()) resultGrid->setCurrentIndex(index);
        QMenu menu(resultGrid);
        menuAddException->setEnabled(index.isValid() && !busy);
        menuIgnoreHit->setEnabled(index.isValid() && !busy);
        menuUndoDecision->setEnabled(!hitDecisions.empty() && !busy);
        menu.addActions({menuAddException, menuIgnoreHit, menuUndoDecision});
        menu.exec(resultGrid->viewport()->mapToGlobal(at));
        for (QAction* a : {menuAddException, menuIgnoreHit, menuUndoDecision}) a->setEnabled(true);
    });
}

std::optional<MainWindow::HitSite> MainWindow::currentHitSite() {
    const int row = resultGrid->currentIndex().row();
    if (row < 0 || row >= hitRows->rowCount() || !requireWritableLibrary()) return std::nullopt;
    const HitTableModel::Row& hit = hitRows->row(row);
    const PassDocument document = ProofreadPass::read(documentPath(currentDirectory(), hit.file));
    if (!document.file) {
        prompter.notify(Prompter::Icon::Error, kNotice,
                        QStringLiteral("无法读取 ") + displayName(document.path) +
                            QStringLiteral("：") + document.problem);
        return std::nullopt;
    }
    // The phrase is made of the document's text where the pass found the hit.
    const auto span = ProofreadPass::phraseAround(document, hit.start, hit.length, hit.wrong);
    if (!span) {
        prompter.notify(Prompter::Icon::Information, kNotice,
                        QStringLiteral("该处已改动，请重新校对"));
        return std::nullopt;
    }
    return HitSite{row, *span};
}

std::vector<HitTableModel::TakenRow> MainWindow::takeExcusedRows(
    const QString& file, const std::function<bool(const HitTableModel::Row&)>& match,
    const QByteArray& wrong, const QByteArray& phrases) {
    const PassDocument document = ProofreadPass::read(documentPath(currentDirectory(), file));
    if (!document.file) return {};
    const std::vector<qsizetype> excused = ProofreadPass::excused(document, wrong, phrases);
    std::vector<int> rows;
    for (int r = 0; r < hitRows->rowCount(); ++r) {
        const HitTableModel::Row& row = hitRows->row(r);
        if (row.file == file && match(row) &&
            std::binary_search(excused.begin(), excused.end(), row.start))
            rows.push_back(r);
    }
    return hitRows->takeRows(rows);
}

void MainWindow::addHitException() {
    std::optional<HitSite> site = currentHitSite();
    if (!site) return;
    const HitTableModel::Row hit = hitRows->row(site->row);
    ExceptionPhraseDialog dialog(site->span, QStringLiteral("加为例外"), this);
    if (dialog.exec() != QDialog::Accepted) return;
    QByteArray phrase;
    const QString problem = phraseProblem(hit.wrong, dialog.phrase(), &phrase);
    if (!problem.isEmpty()) {
        prompter.notify(Prompter::Icon::Information, kNotice, problem);
        return;
    }
    std::optional<WordEntry> entry = dbConnection.entry(hit.entry);
    if (!entry) {
        prompter.notify(Prompter::Icon::Information, kNotice,
                        dbConnection.lastError().isEmpty()
                            ? QStringLiteral("该词条已不在词库中。")
                            : QStringLiteral("词库读取失败：") + dbConnection.lastError());
        return;
    }
    HitDecision decision;
    decision.entryBefore = entry;
    if (!entry->tbut.split(';').contains(phrase)) {
        entry->tbut += (entry->tbut.isEmpty() ? "" : ";") + phrase;
        // Dated now, so that 提交词汇表 sends it and colleagues receive it.
        entry->tdate = platform.now();
        if (!dbConnection.updateEntry(*entry)) {
            prompter.notify(Prompter::Icon::Error, kNotice,
                            QStringLiteral("词库写入失败：") + dbConnection.lastError());
            return;
        }
    }
    decision.exceptionsAfter = entry->tbut;
    // Every row of the entry that the phrase excuses, in every document of the pass.
    QStringList files;
    for (int r = 0; r < hitRows->rowCount(); ++r)
        if (hitRows->row(r).entry == hit.entry && !files.contains(hitRows->row(r).file))
            files << hitRows->row(r).file;
    for (const QString& file : files) {
        auto taken = takeExcusedRows(
            file, [&](const HitTableModel::Row& row) { return row.entry == hit.entry; }, hit.wrong,
            phrase);
        decision.rows.insert(decision.rows.end(), taken.begin(), taken.end());
    }
    hitDecisions.push_back(std::move(decision));
    setStatusText(QStringLiteral("已加为例外：") + dialog.phrase());
}

void MainWindow::ignoreHit() {
    std::optional<HitSite> site = currentHitSite();
    if (!site) return;
    const HitTableModel::Row hit = hitRows->row(site->row);
    // A context GBK cannot hold is narrowed, a side at a time, until it can
    // be stored; the hit alone still tells the occurrence.
    QByteArray phrase;
    PhraseSpan span = site->span;
    for (bool left = true; !phraseProblem(hit.wrong, span.phrase(), &phrase).isEmpty();
         left = !left) {
        const auto side = left ? PhraseSpan::Side::Left : PhraseSpan::Side::Right;
        const auto other = left ? PhraseSpan::Side::Right : PhraseSpan::Side::Left;
        if (!span.shrink(side) && !span.shrink(other)) break;
    }
    HitDecision decision;
    decision.ignoredId = dbConnection.addIgnored(
        {0, pathBytes(hit.file), hit.wrong, hit.right, phrase, platform.now()});
    if (decision.ignoredId == 0) {
        prompter.notify(Prompter::Icon::Error, kNotice,
                        QStringLiteral("词库写入失败：") + dbConnection.lastError());
        return;
    }
    decision.rows = takeExcusedRows(
        hit.file,
        [&](const HitTableModel::Row& row) {
            return row.wrong == hit.wrong && row.right == hit.right;
        },
        hit.wrong, phrase);
    hitDecisions.push_back(std::move(decision));
    setStatusText(QStringLiteral("已忽略：") + fromGbk(phrase));
}

void MainWindow::undoHitDecision() {
    if (hitDecisions.empty()) return;
    HitDecision decision = std::move(hitDecisions.back());
    hitDecisions.pop_back();
    if (decision.entryBefore) {
        const std::optional<WordEntry> now = dbConnection.entry(decision.entryBefore->tid);
        // Changed since in the word library: that change is the user's to keep.
        if (!now || now->tbut != decision.exceptionsAfter) {
            prompter.notify(Prompter::Icon::Information, kNotice,
                            QStringLiteral("该词条已在词库中改动，例外未撤销。"));
            return;
        }
        if (now->tbut != decision.entryBefore->tbut &&
            !dbConnection.updateEntry(*decision.entryBefore)) {
            prompter.notify(Prompter::Icon::Error, kNotice,
                            QStringLiteral("词库写入失败：") + dbConnection.lastError());
            hitDecisions.push_back(std::move(decision));
            return;
        }
    } else if (!dbConnection.removeIgnored(decision.ignoredId)) {
        prompter.notify(Prompter::Icon::Error, kNotice,
                        QStringLiteral("词库写入失败：") + dbConnection.lastError());
        hitDecisions.push_back(std::move(decision));
        return;
    }
    hitRows->restoreRows(decision.rows);
    if (!decision.rows.empty())
        resultGrid->setCurrentIndex(hitRows->index(decision.rows.back().first, 0));
    setStatusText(QStringLiteral("已撤销"));
}

void MainWindow::showIgnoredOccurrences() {
    if (!requireLibrary()) return;
    IgnoredListDialog dialog(dbConnection, prompter, this);
    dialog.exec();
}
