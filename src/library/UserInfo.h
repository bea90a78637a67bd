#pragma once

#include <QByteArray>
#include <QDateTime>

// The user record of one computer (a row of `tuserinfo`). Texts are GBK bytes.
struct UserInfo {
    QByteArray pmachine;  // machineId of the computer the row belongs to
    QByteArray puser;     // user name
    QByteArray pemail;    // e-mail address
    QByteArray psmtp;     // outgoing mail server
    QByteArray pfxyhm;    // mail account user
    QByteArray pdlkl;     // mail account password
    QDateTime pupdate;    // entries saved after this date are submitted
    QDateTime pdwdate;    // sent as the last-download date
    bool pzdgx = false;   // download updates at start-up

    bool operator==(const UserInfo&) const = default;
};
