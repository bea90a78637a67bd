#include "documents/MappedDocument.h"

#include <sys/mman.h>
#include <unistd.h>

namespace {

// Below this a copy costs less than setting up a mapping.
constexpr qint64 kMapFrom = 1024 * 1024;

}  // namespace

MappedDocument::~MappedDocument() { unmap(); }

void MappedDocument::unmap() {
    bytes_ = QByteArray();
    if (mapped_) ::munmap(mapped_, mappedSize_);
    mapped_ = nullptr;
}

bool MappedDocument::open(const QString& path, QString* error) {
    unmap();
    const int fd = DocumentFile::openRegular(path, &version_, error);
    if (fd < 0) return false;
    if (version_.size >= kMapFrom) {
        const auto size = static_cast<size_t>(version_.size);
        void* at = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
        if (at != MAP_FAILED) {
            ::close(fd);
            mapped_ = at;
            mappedSize_ = size;
            bytes_ = QByteArray::fromRawData(static_cast<const char*>(at), version_.size);
            return true;
        }
    }
    ::close(fd);
    std::optional<QByteArray> read = DocumentFile::read(path, error, &version_);
    bytes_ = read ? std::move(*read) : QByteArray();
    return read.has_value();
}
