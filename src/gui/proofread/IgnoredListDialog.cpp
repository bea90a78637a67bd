#include "gui/proofread/IgnoredListDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "library/LibrarySource.h"
#include "library/WordDatabase.h"
#include "library/WritableLibrary.h"
#include "platform/Prompter.h"
#include "text/FileName.h"
#include "text/GbkCodec.h"

IgnoredListDialog::IgnoredListDialog(WordDatabase& database, Prompter& prompter, QWidget* parent)
    : QDialog(parent), database(database), prompter(prompter) {
    setObjectName(QStringLiteral("IgnoredListDialog"));
    setWindowTitle(QStringLiteral("已忽略的错误"));
    ignoredGrid = new QTableWidget(0, 4, this);
    ignoredGrid->setObjectName(QStringLiteral("ignoredGrid"));
    ignoredGrid->setHorizontalHeaderLabels({QStringLiteral("文件名"), QStringLiteral("误"),
                                            QStringLiteral("正"), QStringLiteral("上下文")});
    ignoredGrid->verticalHeader()->hide();
    ignoredGrid->horizontalHeader()->setStretchLastSection(true);
    ignoredGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    ignoredGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    ignoredGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    restoreButton = buttons->addButton(QStringLiteral("恢复"), QDialogButtonBox::ActionRole);
    restoreButton->setObjectName(QStringLiteral("restoreButton"));
    connect(restoreButton, &QPushButton::clicked, this, &IgnoredListDialog::restoreSelected);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ignoredGrid);
    layout->addWidget(buttons);
    resize(560, 320);
    fill();
}

void IgnoredListDialog::fill() {
    const std::vector<IgnoredOccurrence> all = database.ignoredOccurrences();
    if (!database.lastError().isEmpty())
        prompter.notify(Prompter::Icon::Error, QStringLiteral("提示："),
                        libraryReadFailure(database.lastError()));
    ignoredGrid->setRowCount(static_cast<int>(all.size()));
    for (int r = 0; r < ignoredGrid->rowCount(); ++r) {
        const IgnoredOccurrence& i = all[static_cast<size_t>(r)];
        const QString texts[] = {displayName(pathFromBytes(i.file)), fromGbk(i.wrong),
                                 fromGbk(i.right), fromGbk(i.phrase)};
        for (int c = 0; c < 4; ++c) {
            auto* item = new QTableWidgetItem(texts[c]);
            item->setData(Qt::UserRole, i.id);
            ignoredGrid->setItem(r, c, item);
        }
    }
    restoreButton->setEnabled(!all.empty());
    if (!all.empty()) ignoredGrid->selectRow(0);
}

void IgnoredListDialog::restoreSelected() {
    const QList<QTableWidgetItem*> selected = ignoredGrid->selectedItems();
    if (selected.isEmpty() || !requireWritable(database, prompter)) return;
    if (!database.removeIgnored(selected.first()->data(Qt::UserRole).toLongLong())) {
        prompter.notify(Prompter::Icon::Error, QStringLiteral("提示："),
                        QStringLiteral("词库写入失败：") + database.lastError());
        return;
    }
    fill();
}
