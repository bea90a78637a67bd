#include "gui/documents/EditorDocument.h"

#include <QTextDocument>
#include <QThread>

namespace {
// Lines are joined until a block holds this many characters: few enough
// blocks to build and lay out at once, small enough to lay out each quickly.
constexpr qsizetype kBlockCharacters = 2048;
}  // namespace

void joinLinesIntoBlocks(QString& text) {
    QChar* c = text.data();
    const qsizetype size = text.size();
    qsizetype blockStart = 0;
    for (qsizetype i = 0; i < size; ++i) {
        if (c[i] != QLatin1Char('\n')) continue;
        if (i - blockStart < kBlockCharacters)
            c[i] = QChar::LineSeparator;
        else
            blockStart = i + 1;
    }
}

std::unique_ptr<QTextDocument> editorDocumentOf(QString text, QThread* owner) {
    joinLinesIntoBlocks(text);
    auto document = std::make_unique<QTextDocument>();
    document->setPlainText(text);
    document->moveToThread(owner);
    return document;
}
