#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// A document read to be scanned and not changed in place: a large file is
// mapped into memory rather than copied, which spares the copy's time and
// memory. The bytes stay valid while the object lives. A file that cannot be
// mapped (a pipe, a small or empty file) is read as DocumentFile reads it.
class MappedDocument {
  public:
    // False with the reason in `error` when the file cannot be read.
    bool open(const QString& path, QString* error = nullptr);
    const QByteArray& bytes() const { return bytes_; }

  private:
    QFile file_;
    QByteArray bytes_;
};
