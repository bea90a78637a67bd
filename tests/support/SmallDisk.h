#pragma once

#include <sys/mount.h>

#include <QByteArray>
#include <QFile>
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
    // Writes a file named `name` until no byte more fits; removing it frees the disk again.
    void fill(const QString& name = QStringLiteral("filler")) {
        QFile f(filePath(name));
        if (!f.open(QIODevice::WriteOnly)) return;
        const QByteArray block(4096, 'x');
        while (f.write(block) == block.size() && f.flush()) {
        }
    }
    // Nothing can be created, changed or removed on it any more.
    bool makeReadOnly() {
        return ::mount(nullptr, QFile::encodeName(dir_.path()).constData(), nullptr,
                       MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

  private:
    QTemporaryDir dir_;
    bool mounted_ = false;
};
