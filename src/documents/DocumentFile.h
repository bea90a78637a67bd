#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// Reading and writing a document whole. Writing goes through a temporary file
// that replaces the old one only when everything was written, so a failed
// write leaves the old content whole.
class DocumentFile {
  public:
    static std::optional<QByteArray> read(const QString& path, QString* error = nullptr);
    static bool write(const QString& path, const QByteArray& bytes, QString* error = nullptr);
};

// The documents of a directory as the file list shows them: one search per
// pattern, "*.fbd", "*.txt", "*.htm", "*.html" in that order, names in order
// within a pattern, case-insensitive; a name two patterns match comes twice.
QStringList documentNames(const QString& directory);

// A document's path from its directory and file name, without doubling the
// separator of a root directory.
QString documentPath(const QString& directory, const QString& fileName);
