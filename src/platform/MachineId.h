#pragma once

#include <QByteArray>
#include <QString>

// This computer's identifier as the decimal text of a signed 32-bit integer:
// the first 8 hex digits of /etc/machine-id, or gethostid() without that file.
QString machineIdFromMachineIdFile(const QByteArray& contents, long hostIdFallback);
QString currentMachineId();
