#include <QFileInfo>
#include <QTableView>

#include <map>

#include "documents/DocumentFile.h"
#include "gui/MainWindow.h"
#include "gui/documents/FileListItem.h"
#include "gui/proofread/HitTableModel.h"
#include "platform/Platform.h"
#include "platform/Prompter.h"
#include "proofread/HitReport.h"
#include "proofread/ProofreadPass.h"
#include "text/FileName.h"
#include "text/GbkCodec.h"

// 导出报告: the hit list written out for an editor, as CSV or as an HTML page.

namespace {

const QString kNotice = QStringLiteral("提示：");

// The row's context as the pass cut it, split where the hit stands.
HitContext contextOf(const HitTableModel::Row& row) {
    const qsizetype hitAt = row.contextBefore + 1;  // after 【
    return {row.context.left(row.contextBefore), row.context.mid(hitAt, row.contextHit),
            row.context.mid(hitAt + row.contextHit + 1)};
}

}  // namespace

void MainWindow::exportReport() {
    if (hitRows->rowCount() == 0) {
        prompter.notify(Prompter::Icon::Information, kNotice,
                        QStringLiteral("没有可导出的校对结果！"));
        return;
    }
    const QString path = prompter.saveFile(
        {QStringLiteral("导出报告"), currentDirectory(), QStringLiteral("校对报告.csv"),
         QStringLiteral("CSV 表格 (*.csv);;HTML 报告 (*.html)"), QStringLiteral("csv")});
    if (path.isEmpty()) return;

    // Each document once: its characters counted and its rows placed in lines.
    std::vector<HitReport::Document> documents;
    std::vector<HitReport::Hit> hits(static_cast<size_t>(hitRows->rowCount()));
    std::map<QString, std::vector<int>> rowsOf;
    QStringList order;
    for (int r = 0; r < hitRows->rowCount(); ++r) {
        const QString& file = hitRows->row(r).file;
        if (!rowsOf.count(file)) order << file;
        rowsOf[file].push_back(r);
    }
    QStringList unreadable;
    for (const QString& file : order) {
        const PassDocument document = ProofreadPass::read(documentPath(currentDirectory(), file));
        if (document.file.value_or(QByteArray()).isEmpty()) unreadable << displayName(file);
        const TextEncoding encoding = document.text.encoding;
        std::vector<Hit> placed;
        for (int r : rowsOf[file])
            placed.push_back({0, hitRows->row(r).start, hitRows->row(r).length});
        const HitReport::Measure m = ProofreadPass::measure(document, placed);
        documents.push_back({displayName(file), m.characters, qsizetype(placed.size())});
        for (size_t i = 0; i < placed.size(); ++i) {
            const int r = rowsOf[file][i];
            const HitTableModel::Row& row = hitRows->row(r);
            const HitReport::Measure::Place& at = m.places[i];
            hits[static_cast<size_t>(r)] = {r + 1,
                                            displayName(file),
                                            row.start,
                                            row.start + row.length - 1,
                                            at.line,
                                            at.column,
                                            at.endLine,
                                            at.endColumn,
                                            fromGbk(row.wrong),
                                            fromGbk(row.right),
                                            contextOf(row),
                                            row.ticked,
                                            encodingName(encoding)};
        }
    }
    const bool html = path.endsWith(QStringLiteral(".html"), Qt::CaseInsensitive) ||
                      path.endsWith(QStringLiteral(".htm"), Qt::CaseInsensitive);
    const QByteArray report =
        html ? HitReport::html(documents, hits, platform.now()) : HitReport::csv(hits);
    QString why;
    if (!DocumentFile::write(path, report, &why)) {
        prompter.notify(Prompter::Icon::Error, kNotice,
                        QStringLiteral("报告无法写入：") + displayName(path) +
                            QStringLiteral("（") + why + QStringLiteral("）"));
        return;
    }
    QString done = QStringLiteral("报告已导出：") + displayName(path);
    if (!unreadable.isEmpty())
        done += QStringLiteral("\r\n未能读取的文件（字数计为0）：") +
                unreadable.join(QStringLiteral("、"));
    prompter.notify(Prompter::Icon::Information, kNotice, done);
}
