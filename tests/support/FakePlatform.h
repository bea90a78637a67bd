#pragma once

#include <QByteArrayList>
#include <QStringList>

#include <functional>
#include <vector>

#include "platform/CurlHttp.h"
#include "platform/Platform.h"
#include "platform/SmtpLogin.h"

// A computer whose identity, clock, network and programs the test decides.
class FakePlatform : public Platform {
  public:
    QString id = QStringLiteral("-12345");
    QString programDir;  // ends in "/"
    QString appDataDir;
    QDateTime clock = QDateTime(QDate(2026, 3, 14), QTime(9, 26, 53));
    // Offline unless a test says otherwise, so that a start-up download never
    // reaches out on its own.
    bool online = false;
    bool startSucceeds = true;
    QStringList started;
    std::vector<int> pauses;
    QStringList driveList = {QStringLiteral("/")};
    // Every URL asked for, in order. Without a handler the request really goes
    // out (tests point it at a loopback server), with limits short enough that
    // a silent server fails a test in about a second.
    QByteArrayList requestedUrls;
    // Tests point this at their loopback server.
    QByteArray serverUrl = QByteArrayLiteral(TAVREL_SERVER_URL);
    std::function<QByteArray(const QByteArray& url)> httpHandler;
    HttpLimits httpLimits{2000, 100, 1, 16 * 1024 * 1024};

    QString machineId() override { return id; }
    QString programDirectory() override { return programDir; }
    QString appDataDirectory() override { return appDataDir; }
    bool startDetached(const QString& program) override {
        started.append(program);
        return startSucceeds;
    }
    QDateTime now() override { return clock; }
    void pause(int milliseconds) override { pauses.push_back(milliseconds); }
    bool isOnline() override { return online; }
    QStringList drives() override { return driveList; }
    QByteArray serverBaseUrl() override { return serverUrl; }
    QByteArray httpGet(const QByteArray& url, const std::function<bool()>& stop) override {
        requestedUrls.append(url);
        return httpHandler ? httpHandler(url) : CurlHttp::get(url, httpLimits, stop);
    }

    // Every SMTP login asked for, in order. Without a handler the login really
    // goes out, to smtpPort when a test sets it (its SMTP server does not
    // listen on port 25).
    struct SmtpRequest {
        QByteArray server;
        int port;
        QByteArray user;
        QByteArray password;
        int timeoutMs;
    };
    std::vector<SmtpRequest> smtpRequests;
    int smtpPort = 0;

    SmtpResult smtpLogin(const QByteArray& server, int port, const QByteArray& user,
                         const QByteArray& password, int timeoutMs) override {
        smtpRequests.push_back({server, port, user, password, timeoutMs});
        const SmtpLogin::Result result =
            SmtpLogin::login({server, smtpPort ? smtpPort : port, user, password, timeoutMs});
        return {result.loggedIn, result.encrypted};
    }
};
