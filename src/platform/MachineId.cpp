#include "platform/MachineId.h"

#include <unistd.h>

#include <QFile>

QString machineIdFromMachineIdFile(const QByteArray& contents, long hostIdFallback) {
    const QByteArray digits = contents.trimmed().left(8);
    bool ok = false;
    const quint32 value = digits.size() == 8 ? digits.toUInt(&ok, 16) : 0;
    if (!ok) return QString::number(static_cast<qint32>(static_cast<quint32>(hostIdFallback)));
    return QString::number(static_cast<qint32>(value));
}

QString currentMachineId() {
    QFile file(QStringLiteral("/etc/machine-id"));
    QByteArray contents;
    if (file.open(QIODevice::ReadOnly)) contents = file.read(64);
    return machineIdFromMachineIdFile(contents, gethostid());
}
