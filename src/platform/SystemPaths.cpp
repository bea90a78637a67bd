#include "platform/SystemPaths.h"

#include <QCoreApplication>
#include <QStandardPaths>

QString systemProgramDirectory() {
    QString dir = QCoreApplication::applicationDirPath();
    if (!dir.endsWith('/')) dir += '/';
    return dir;
}

QString systemAppDataDirectory() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}
