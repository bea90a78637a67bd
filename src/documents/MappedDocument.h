#pragma once

#include <QByteArray>
#include <QString>

#include "documents/DocumentFile.h"

// A document read to be scanned and not changed in place: a large file is
// mapped into memory rather than copied, which spares the copy's time and
// memory. The bytes stay valid while the object lives. A small or empty file
// is read as DocumentFile reads it.
class MappedDocument {
  public:
    MappedDocument() = default;
    ~MappedDocument();
    MappedDocument(const MappedDocument&) = delete;
    MappedDocument& operator=(const MappedDocument&) = delete;

    // False with the reason in `error` when the file cannot be read.
    bool open(const QString& path, QString* error = nullptr);
    const QByteArray& bytes() const { return bytes_; }
    // The state of the file that was read, for a rewrite to compare with.
    const DocumentVersion& version() const { return version_; }

  private:
    void unmap();
    QByteArray bytes_;
    void* mapped_ = nullptr;
    size_t mappedSize_ = 0;
    DocumentVersion version_;
};
