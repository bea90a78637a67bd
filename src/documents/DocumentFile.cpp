#include "documents/DocumentFile.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

std::optional<QByteArray> DocumentFile::read(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) *error = file.errorString();
        return std::nullopt;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFile::NoError) {
        if (error) *error = file.errorString();
        return std::nullopt;
    }
    return bytes;
}

bool DocumentFile::write(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile file(path);
    // Unbuffered, so that a short write shows in write() and not in a flush
    // whose partial result commit() would keep.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        file.write(bytes) != bytes.size() || !file.commit()) {
        if (error) *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

QString documentPath(const QString& directory, const QString& fileName) {
    return directory.endsWith(QLatin1Char('/')) ? directory + fileName
                                                : directory + QLatin1Char('/') + fileName;
}

QStringList documentNames(const QString& directory) {
    static const char* const kPatterns[] = {"*.fbd", "*.txt", "*.htm", "*.html"};
    const QDir dir(directory);
    QStringList names;
    for (const char* pattern : kPatterns)
        names += dir.entryList({QString::fromLatin1(pattern)}, QDir::Files, QDir::Name);
    return names;
}
