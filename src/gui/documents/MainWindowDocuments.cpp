#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTextCursor>
#include <QTextDocument>
#include <QThread>

#include "documents/DocumentFile.h"
#include "gui/MainWindow.h"
#include "gui/ProgramState.h"
#include "gui/documents/DirectoryBox.h"
#include "gui/documents/EditorDocument.h"
#include "gui/documents/FileListItem.h"
#include "gui/proofread/HitTableModel.h"
#include "platform/BackgroundWork.h"
#include "platform/Prompter.h"

// The file browser and the document commands.

namespace {

const QString kAsk = QStringLiteral("询问？");
const QString kNotice = QStringLiteral("提示：");

}  // namespace

QString MainWindow::currentDirectory() const { return directoryBox->directory(); }

void MainWindow::onDriveChanged() {
    directoryBox->setDirectory(driveBox->currentText());
    fillFileList();
}

void MainWindow::fillFileList() {
    fileCheckList->clear();
    hitRows->clear();
    hitDecisions.clear();
    setStatusText(QString());  // it spoke of the rows
    for (const QString& name : documentNames(currentDirectory(), documentSuffixes()))
        fileCheckList->addItem(documentItem(name));
}

void MainWindow::loadSelectedDocument() {
    // Focus alone makes an item current without selecting it; only a click or
    // a key that moves the selection loads.
    const QList<QListWidgetItem*> selected = fileCheckList->selectedItems();
    if (selected.isEmpty()) return;
    if (!mayReplaceDocument()) {
        selectShownDocument();
        return;
    }
    QListWidgetItem* item = selected.first();
    state.currentFileName = documentName(item);
    state.currentFilePath = documentPath(currentDirectory(), state.currentFileName);
    showDocument(state.currentFilePath);
    state.documentDirty = false;
}

void MainWindow::markDocumentDirty() { state.documentDirty = true; }

void MainWindow::openDocuments() {
    const QStringList paths =
        prompter.openFiles({QStringLiteral("打开文件"), currentDirectory(), QString(),
                            QStringLiteral("文本文件(*.fbd *.txt)"), QString()});
    if (!paths.isEmpty()) listDocuments(paths);
}

void MainWindow::listDocuments(const QStringList& paths) {
    if (paths.isEmpty()) return;
    if (QFileInfo(paths.first()).isDir()) {
        directoryBox->setDirectory(paths.first());
        fillFileList();
        return;
    }
    // Listing the chosen directory first drops the hit rows of the old one.
    directoryBox->setDirectory(QFileInfo(paths.first()).absolutePath());
    fillFileList();
    fileCheckList->clear();
    for (const QString& path : paths)
        fileCheckList->addItem(documentItem(QFileInfo(path).fileName()));
}

std::optional<QByteArray> MainWindow::showDocument(const QString& path) {
    // A large document takes a moment: it is read, decoded and laid out
    // beside the window, which says what it does.
    const bool large = isLargeDocument(path);
    const QString before = statusPanel0->text();
    if (large) {
        setStatusText(QStringLiteral("正在打开：") + displayName(path) + QStringLiteral(" ……"));
        if (!busy) {
            busyLabel->setText(QStringLiteral("打开中 ……"));
            busyLabel->show();
        }
    }
    PassDocument read = readDocument(path, large);
    putDocument(read);
    if (large) {
        setStatusText(before);
        if (!busy) busyLabel->hide();
    }
    return std::move(read.file);
}

PassDocument MainWindow::readDocument(const QString& path, bool aside) {
    PassDocument read;
    runAside([&] { read = ProofreadPass::read(path); }, aside);
    return read;
}

void MainWindow::putDocument(const PassDocument& document) {
    if (document.file)
        unreadablePath.clear();
    else
        unreadablePath = document.path;
    showText(document.text, document.file && !document.path.isEmpty());
    // The editor holds the file as it is: nothing to save.
    state.documentDirty = false;
}

bool MainWindow::isLargeDocument(const QString& path) {
    return QFileInfo(path).size() > kLargeDocument;
}

void MainWindow::runAside(const std::function<void()>& work, bool aside) {
    if (!aside) return work();
    const bool wasBusy = busy;
    // Locking the file list takes the keyboard from it; it is given back, so
    // that Down goes on to the next document.
    QWidget* focused = QApplication::focusWidget();
    const bool listFocused = focused == fileCheckList || focused == directoryBox;
    if (!wasBusy) setBusy(true);
    runWhileEventsTurn(work);
    if (wasBusy) return;
    setBusy(false);
    if (listFocused) focused->setFocus();
}

void MainWindow::showText(const DocumentText& shown, bool named) {
    const QByteArray& bytes = shown.bytes;
    const TextEncoding encoding = shown.encoding;
    if (bytes.size() <= kLargeDocument) {
        DocumentView view(bytes, encoding);
        const QString text = view.takeText();
        setShownView(std::move(view), named);
        documentEdit->setPlainText(text);
        return;
    }
    DocumentView view;
    std::unique_ptr<QTextDocument> document;
    QThread* here = QThread::currentThread();
    runAside([&] {
        view = DocumentView(bytes, encoding);
        document = editorDocumentOf(view.takeText(), here);
    });
    setShownView(std::move(view), named);
    // The editor's font and layout, given here as they belong to this thread.
    document->setDefaultFont(documentEdit->font());
    document->setDocumentLayout(new QPlainTextDocumentLayout(document.get()));
    // The editor deletes only the document it made itself; the ones put in
    // here are the window's to delete.
    QTextDocument* old = documentEdit->document();
    const bool oldIsOurs = old->parent() == documentEdit;
    document->setParent(documentEdit);
    documentEdit->setDocument(document.release());
    if (oldIsOurs) delete old;
}

void MainWindow::selectShownDocument() {
    const QSignalBlocker quiet(fileCheckList);
    for (int i = 0; i < fileCheckList->count(); ++i) {
        if (documentPath(currentDirectory(), documentName(fileCheckList->item(i))) ==
            state.currentFilePath) {
            fileCheckList->setCurrentRow(i);
            return;
        }
    }
    fileCheckList->clearSelection();
}

bool MainWindow::mayReplaceDocument() {
    // Without a document there is nowhere to save to.
    if (!state.documentDirty || state.currentFilePath.isEmpty()) return true;
    switch (prompter.askToSave(kAsk, QStringLiteral("文档已修改，是否保存？"))) {
        case Prompter::Answer::Save:
            return saveShownDocument();
        case Prompter::Answer::Discard:
            return true;
        default:
            return false;
    }
}

void MainWindow::selectBytes(qsizetype byteStart, qsizetype byteLength) {
    const auto [first, last] = shownView.charRange(byteStart, byteLength);
    // The editor may hold an edited text: keep the selection inside it.
    const int length = documentEdit->document()->characterCount() - 1;
    QTextCursor cursor(documentEdit->document());
    cursor.setPosition(static_cast<int>(std::min<qsizetype>(first, length)));
    cursor.setPosition(static_cast<int>(std::min<qsizetype>(last, length)),
                       QTextCursor::KeepAnchor);
    documentEdit->setTextCursor(cursor);
}

void MainWindow::setShownView(DocumentView view, bool named) {
    shownView = std::move(view);
    QString name;
    if (named)
        name = shownView.encoding() == TextEncoding::Binary ? QStringLiteral("非文本")
                                                            : encodingName(shownView.encoding());
    encodingPanel->setText(name);
}

std::optional<QByteArray> MainWindow::writeShownDocument(const QString& path) {
    if (!unreadablePath.isEmpty() && QFileInfo(path) == QFileInfo(unreadablePath)) {
        prompter.notify(Prompter::Icon::Error, kNotice,
                        QStringLiteral("文档读取失败，不能保存：") + displayName(path));
        return std::nullopt;
    }
    QString unencodable;
    const QByteArray bytes = shownView.encode(documentEdit->toPlainText(), &unencodable);
    if (!unencodable.isEmpty()) {
        // A binary document is shown, and written, as GBK.
        const TextEncoding encoding =
            shownView.encoding() == TextEncoding::Binary ? TextEncoding::Gbk : shownView.encoding();
        prompter.notify(Prompter::Icon::Error, kNotice,
                        QStringLiteral("文档含有不能以%1保存的字符：").arg(encodingName(encoding)) +
                            unencodable);
        return std::nullopt;
    }
    QString reason;
    if (!DocumentFile::write(path, bytes, &reason)) {
        prompter.notify(Prompter::Icon::Error, kNotice,
                        QStringLiteral("文档保存失败！") + QStringLiteral("\r\n") + reason);
        return std::nullopt;
    }
    return bytes;
}

void MainWindow::saveDocument() {
    if (state.currentFilePath.isEmpty()) return;
    if (!prompter.confirm(kAsk, QStringLiteral("真的需要保存文档吗？"))) {
        prompter.notify(Prompter::Icon::Information, kNotice, QStringLiteral("操作已被用户取消！"));
        return;
    }
    saveShownDocument();
}

bool MainWindow::saveShownDocument() {
    const std::optional<QByteArray> written = writeShownDocument(state.currentFilePath);
    if (!written) return false;
    // Hit positions now refer to the saved bytes.
    setShownView(DocumentView(*written, shownView.encoding()));
    state.documentDirty = false;
    prompter.notify(Prompter::Icon::Information, kNotice, QStringLiteral("已保存文档！"));
    return true;
}

void MainWindow::saveDocumentAs() {
    if (state.currentFilePath.isEmpty()) return;
    const QFileInfo current(state.currentFilePath);
    const QString name = current.fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString ext = dot >= 0 ? name.mid(dot + 1) : QString();
    const QString path = prompter.saveFile(
        {QString(), current.absolutePath(), name, QStringLiteral("*.") + ext, ext});
    if (path.isEmpty()) return;
    // The editor still belongs to the file it was loaded from.
    if (!writeShownDocument(path)) return;
    prompter.notify(Prompter::Icon::Information, kNotice, QStringLiteral("文件已保存！"));
}

void MainWindow::closeDocument() {
    if (!state.documentDirty) return;
    if (!prompter.confirm(QString(), QStringLiteral("文档数据已改变，确认放弃吗？"))) return;
    // No document is bound any more, so that Save cannot write the empty
    // editor over the one that was closed.
    state.currentFilePath.clear();
    state.currentFileName.clear();
    putDocument(PassDocument());
    selectShownDocument();
}
