#pragma once

#include <QByteArray>
#include <QDateTime>

// An occurrence the user chose never to see again in one document (a row of
// `tignored`). It is told by the document's file name, the entry's forms and
// the text around it (an exception phrase of that document alone), not by
// its byte position, so that edits elsewhere in the document keep it.
// Texts are GBK bytes; the file name is the name's own bytes.
struct IgnoredOccurrence {
    qint64 id = 0;  // assigned by the database
    QByteArray file;
    QByteArray wrong;
    QByteArray right;
    QByteArray phrase;
    QDateTime date;

    bool operator==(const IgnoredOccurrence&) const = default;
};
