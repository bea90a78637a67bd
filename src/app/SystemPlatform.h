#pragma once

#include <QByteArray>

#include "app/Platform.h"

// The real services of this computer.
class SystemPlatform : public Platform {
  public:
    QString machineId() override;
    QString programDirectory() override;
    QString appDataDirectory() override;
    bool startDetached(const QString& program) override;
    QDateTime now() override;
    void pause(int milliseconds) override;
    bool isOnline() override;
    QStringList drives() override;
};

// "Connected" means there is a default route; the loopback reject route that
// every IPv6 table carries does not count.
bool hasDefaultRoute(const QByteArray& ipv4RouteTable, const QByteArray& ipv6RouteTable);
