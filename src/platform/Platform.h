#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

// The services of the computer the program runs on. main.cpp wires the real
// ones (SystemPlatform); tests pass their own, so that nothing depends on this
// machine's identity, clock, network or programs.
class Platform {
  public:
    virtual ~Platform() = default;

    // Decimal text of this computer's signed 32-bit identifier.
    virtual QString machineId() = 0;
    // The directory of the executable, ending in "/".
    virtual QString programDirectory() = 0;
    // Per-user data directory, used when the program directory is not writable.
    virtual QString appDataDirectory() = 0;
    // Starts a program without waiting for it; false when it could not start.
    virtual bool startDetached(const QString& program) = 0;
    virtual QDateTime now() = 0;
    // Blocking pause of the exchanges.
    virtual void pause(int milliseconds) = 0;
    virtual bool isOnline() = 0;
    // Scheme and host of the program's server, where its pages are fetched.
    virtual QByteArray serverBaseUrl() = 0;
    // One HTTP GET; the body whatever the status, empty when the request fails.
    // `stop`, when given, is asked many times a second while the request runs;
    // true ends it as a failure.
    virtual QByteArray httpGet(const QByteArray& url, const std::function<bool()>& stop) = 0;
    struct SmtpResult {
        bool loggedIn = false;   // the server accepted the user name and password
        bool encrypted = false;  // and the password went over STARTTLS
    };
    // Connects to an SMTP server, logs in and says QUIT.
    virtual SmtpResult smtpLogin(const QByteArray& server, int port, const QByteArray& user,
                                 const QByteArray& password, int timeoutMs) = 0;
    // Roots of the mounted volumes, "/" first.
    virtual QStringList drives() = 0;
};
