#pragma once

#include <sys/mount.h>

#include <QByteArray>
#include <QTemporaryDir>

// A real file system of a few kilobytes (tmpfs) mounted on a temporary
// directory while the object lives: a disk that fills up, and one that can be
// made read-only, which holds even for root. Mounting needs root; without it
// available() is false and the test says so and skips.
class SmallDisk {
  public:
    explicit SmallDisk(qint64 bytes) {
        const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0755";
        mounted_ = dir_.isValid() && ::mount("tmpfs", QFile::encodeName(dir_.path()).constData(),
                                             "tmpfs", 0, options.constData()) == 0;
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(QFile::encodeName(dir_.path()).constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool available() const { return mounted_; }
    QString path() const { return dir_.path(); }
    QString filePath(const QString& name) const { return dir_.filePath(name); }
    // Nothing can be created, changed or removed on it any more.
    bool makeReadOnly() {
        return ::mount(nullptr, QFile::encodeName(dir_.path()).constData(), nullptr,
                       MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

  private:
    QTemporaryDir dir_;
    bool mounted_ = false;
};
