#pragma once

#include <QByteArray>

#include "platform/CurlHttp.h"
#include "platform/Platform.h"
#include "platform/SystemPaths.h"

// The real services of this computer.
class SystemPlatform : public Platform {
  public:
    explicit SystemPlatform(HttpLimits httpLimits = {}) : httpLimits_(httpLimits) {}

    QString machineId() override;
    QString programDirectory() override;
    QString appDataDirectory() override;
    bool startDetached(const QString& program) override;
    QDateTime now() override;
    void pause(int milliseconds) override;
    bool isOnline() override;
    QStringList drives() override;
    // The build setting TAVREL_SERVER_URL.
    QByteArray serverBaseUrl() override;
    QByteArray httpGet(const QByteArray& url, const std::function<bool()>& stop) override;
    SmtpResult smtpLogin(const QByteArray& server, int port, const QByteArray& user,
                         const QByteArray& password, int timeoutMs) override;

  private:
    HttpLimits httpLimits_;
};

// "Connected" means there is a default route; the loopback reject route that
// every IPv6 table carries does not count.
bool hasDefaultRoute(const QByteArray& ipv4RouteTable, const QByteArray& ipv6RouteTable);
