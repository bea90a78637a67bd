#pragma once

#include <QByteArray>

// The outgoing mail account the mail check logs in with. Texts are GBK bytes.
struct SmtpAccount {
    QByteArray server;
    int port = 25;
    QByteArray user;
    QByteArray password;
    int timeoutMs = 3000;
};

// One SMTP login through libcurl: EHLO, STARTTLS when the server offers it
// (the certificate verified), AUTH, QUIT.
class SmtpLogin {
  public:
    struct Result {
        bool loggedIn = false;
        bool encrypted = false;  // the login went over STARTTLS
    };
    // Logged in only when the server answered AUTH with 235. A server that
    // offers no authentication, a failed certificate check and the time-out
    // are failures. `caFile` replaces the system's certificate store; empty keeps it.
    static Result login(const SmtpAccount& account, const QByteArray& caFile = {});
    static bool check(const SmtpAccount& account, const QByteArray& caFile = {}) {
        return login(account, caFile).loggedIn;
    }
};
