#pragma once

#include <QByteArray>

#include <cstdio>

// A file under its exact name bytes, written and read without the program's
// own name handling, so that a test of that handling does not lean on it.
inline bool writeAtBytePath(const QByteArray& path, const QByteArray& bytes) {
    FILE* f = std::fopen(path.constData(), "wb");
    if (!f) return false;
    const bool written =
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), f) == size_t(bytes.size());
    return std::fclose(f) == 0 && written;
}

// The first 64 KB of the file, or nothing when it cannot be opened.
inline QByteArray readAtBytePath(const QByteArray& path) {
    QByteArray bytes(64 * 1024, '\0');
    FILE* f = std::fopen(path.constData(), "rb");
    bytes.truncate(f ? qsizetype(std::fread(bytes.data(), 1, size_t(bytes.size()), f)) : 0);
    if (f) std::fclose(f);
    return bytes;
}
