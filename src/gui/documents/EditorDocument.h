#pragma once

#include <QString>

#include <memory>

class QTextDocument;
class QThread;

// What the editor costs grows with its blocks (one a line) far more than
// with its characters: a large document's lines are joined into blocks of
// some thousand characters by line separators, which the editor shows as
// line breaks and gives back as "\n" (toPlainText). A character stays a
// character, so positions in the editor are those of the text.
void joinLinesIntoBlocks(QString& text);

// A document for the editor holding `text` with its lines joined; it may be
// built on any thread and belongs to `owner`'s thread when done. The caller
// gives it the editor's layout.
std::unique_ptr<QTextDocument> editorDocumentOf(QString text, QThread* owner);
