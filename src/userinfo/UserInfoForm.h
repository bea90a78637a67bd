#pragma once

#include <QByteArray>
#include <QDateTime>

#include <array>
#include <optional>

#include "platform/SmtpLogin.h"

class WordDatabase;

// The values of the user information window, in the order of its grid rows,
// and what is done with them. Texts are GBK bytes.
class UserInfoForm {
  public:
    enum Row { UserName, Email, SmtpServer, MailUser, Password, ServerAddress, RowCount };
    using Values = std::array<QByteArray, RowCount>;

    static constexpr int kSmtpPort = 25;
    static constexpr int kSmtpTimeoutMs = 3000;
    // The dates a user record starts with when saving the window creates it.
    static const QDateTime kFirstExchangeDate;

    struct MailSettings {
        QByteArray server;
        QByteArray user;
    };

    // "smtp." + the part after the first "@", and the part before it; nothing
    // for an address without "@".
    static std::optional<MailSettings> mailSettingsFor(const QByteArray& email);

    // The stored values of this computer's record; all empty without one. The
    // server address is the one chosen for this computer, else `defaultServer`.
    static Values load(WordDatabase& database, const QByteArray& machineId,
                       const QByteArray& defaultServer);
    enum class Missing { Nothing, UserName, Email, ServerAddress };
    // The first value that must be filled in (or mended) before saving.
    static Missing missingValue(const Values& values);
    // Writes the values into this computer's record, creating it when there is
    // none; the record's dates and update switch stay as they are. A server
    // address that is `defaultServer` is not kept, so that the computer
    // follows the build's address.
    static bool save(WordDatabase& database, const QByteArray& machineId, const Values& values,
                     const QByteArray& defaultServer);

    // The account the mail check logs in with; nothing unless the address,
    // server, user and password are all filled in.
    static std::optional<SmtpAccount> mailAccount(const Values& values);
};
