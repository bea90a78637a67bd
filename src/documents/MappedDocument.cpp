#include "documents/MappedDocument.h"

#include "documents/DocumentFile.h"

namespace {

// Below this a copy costs less than setting up a mapping.
constexpr qint64 kMapFrom = 1024 * 1024;

}  // namespace

bool MappedDocument::open(const QString& path, QString* error) {
    file_.setFileName(path);
    if (file_.open(QIODevice::ReadOnly) && file_.size() >= kMapFrom) {
        const qint64 size = file_.size();
        if (const uchar* at = file_.map(0, size)) {
            bytes_ = QByteArray::fromRawData(reinterpret_cast<const char*>(at), size);
            return true;
        }
    }
    file_.close();
    std::optional<QByteArray> read = DocumentFile::read(path, error);
    bytes_ = read ? std::move(*read) : QByteArray();
    return read.has_value();
}
