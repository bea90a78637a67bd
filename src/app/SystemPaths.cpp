#include <QCoreApplication>
#include <QStandardPaths>

#include "app/SystemPlatform.h"

QString systemProgramDirectory() {
    QString dir = QCoreApplication::applicationDirPath();
    if (!dir.endsWith('/')) dir += '/';
    return dir;
}

QString systemAppDataDirectory() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}
