#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Reading and writing a document whole. Writing goes through a temporary file
// that replaces the old one only when everything was written, so a failed
// write leaves the old content whole.
class DocumentFile {
  public:
    static std::optional<QByteArray> read(const QString& path, QString* error = nullptr);
    static bool write(const QString& path, const QByteArray& bytes, QString* error = nullptr);
};

// A document's path from its directory and file name, without doubling the
// separator of a root directory.
QString documentPath(const QString& directory, const QString& fileName);
