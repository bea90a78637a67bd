#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// What identifies the state of a document that was read: another program's
// change since then shows as a different size, modification time or file.
struct DocumentVersion {
    qint64 size = -1;
    qint64 seconds = 0;
    qint64 nanoseconds = 0;
    quint64 device = 0;
    quint64 inode = 0;
    bool operator==(const DocumentVersion&) const = default;
};

// Reading and writing a document whole. Paths are held as FileName.h says.
//
// Only regular files (and symbolic links to them) are read: a pipe would block
// and a device never end.
//
// Writing goes through a temporary file in the same directory that takes the
// document's owner, group and mode and replaces it only when everything was
// written, so a failed write leaves the old content whole. A symbolic link
// stays a link and its target gets the text. A document with several hard
// links is rewritten in place, after its new size has been reserved on the
// disk and its new text kept apart (see keepRewritesIn), so that every link
// sees the text and a kill halfway can be finished. Given `expected`, a document that no
// longer is the version read is left alone.
class DocumentFile {
  public:
    static std::optional<QByteArray> read(const QString& path, QString* error = nullptr,
                                          DocumentVersion* version = nullptr);
    static bool write(const QString& path, const QByteArray& bytes, QString* error = nullptr,
                      const DocumentVersion* expected = nullptr);

    // A descriptor open for reading on a regular file, or -1 with the reason.
    static int openRegular(const QString& path, DocumentVersion* version, QString* error);

    // Where a rewrite in place keeps its new text until it is whole (a private
    // directory of the user's); without one, none is kept.
    static void keepRewritesIn(const QString& directory);
    // Finishes every rewrite in place that a kill interrupted, from what it
    // kept, and returns the documents finished. To be called before anything
    // else reads a document.
    static QStringList finishInterruptedRewrites();
};

// The documents of a directory as the file list shows them: one search per
// suffix, in the order given, names in order within a suffix,
// case-insensitive; a name two suffixes match comes twice.
QStringList documentNames(const QString& directory, const QStringList& suffixes);

// The readable, not hidden subdirectories of a directory, in name order.
QStringList subdirectoryNames(const QString& directory);

// A document's path from its directory and file name, without doubling the
// separator of a root directory.
QString documentPath(const QString& directory, const QString& fileName);
