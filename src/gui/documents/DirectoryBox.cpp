#include "gui/documents/DirectoryBox.h"

#include <QDir>

#include "documents/DocumentFile.h"
#include "text/FileName.h"

namespace {
constexpr int kPathRole = Qt::UserRole;
}

DirectoryBox::DirectoryBox(QWidget* parent) : QListWidget(parent) {
    connect(this, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        const QString target = item->data(kPathRole).toString();
        if (target.isEmpty()) return;
        // The directory shown, picked again, is listed again.
        if (target != current) setDirectory(target);
        emit directoryChanged(current);
    });
    // A click is enough for the directory shown: its documents are listed again.
    connect(this, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (item->data(kPathRole).toString() == current) emit directoryChanged(current);
    });
}

void DirectoryBox::setDirectory(const QString& path) {
    current = QDir::cleanPath(QDir(path).absolutePath());
    refill();
}

void DirectoryBox::refill() {
    clear();
    QDir dir(current);
    auto* here = new QListWidgetItem(
        current == QLatin1String("/") ? current : displayName(dir.dirName()), this);
    here->setToolTip(displayName(current));
    here->setData(kPathRole, current);
    here->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    if (!dir.isRoot()) {
        auto* up = new QListWidgetItem(QStringLiteral(".."), this);
        up->setData(kPathRole, QDir::cleanPath(dir.absoluteFilePath(QStringLiteral(".."))));
        up->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
    }
    for (const QString& name : subdirectoryNames(current)) {
        auto* item = new QListWidgetItem(displayName(name), this);
        item->setData(kPathRole, dir.absoluteFilePath(name));
        item->setIcon(style()->standardIcon(QStyle::SP_DirIcon));
    }
    setCurrentItem(here);
}

QString DirectoryBox::driveOf(const QString& path, const QStringList& drives) {
    QString best;
    const QString withSlash = path.endsWith('/') ? path : path + '/';
    for (const QString& drive : drives)
        if (withSlash.startsWith(drive) && drive.size() > best.size()) best = drive;
    return best;
}
