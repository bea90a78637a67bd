#include "userinfo/UserInfoForm.h"

#include "library/Settings.h"
#include "library/WordDatabase.h"
#include "online/ServerClient.h"
#include "text/GbkCodec.h"

const QDateTime UserInfoForm::kFirstExchangeDate(QDate(2010, 10, 1), QTime(0, 0));

std::optional<UserInfoForm::MailSettings> UserInfoForm::mailSettingsFor(const QByteArray& email) {
    // "@" (0x40) is also a GBK trail byte: only one that stands as a character counts.
    for (qsizetype at = 0; at < email.size();
         at += GbkCodec::characterLength(email.constData(), email.size(), at)) {
        if (email[at] == '@') return MailSettings{"smtp." + email.mid(at + 1), email.left(at)};
    }
    return std::nullopt;
}

UserInfoForm::Values UserInfoForm::load(WordDatabase& database, const QByteArray& machineId,
                                        const QByteArray& defaultServer) {
    Values values;
    values[ServerAddress] =
        database.setting(machineId, Settings::kServerAddress).value_or(defaultServer);
    // Last, so that the caller sees whether the record could be read.
    if (const std::optional<UserInfo> info = database.userInfo(machineId)) {
        values[UserName] = info->puser;
        values[Email] = info->pemail;
        values[SmtpServer] = info->psmtp;
        values[MailUser] = info->pfxyhm;
        values[Password] = info->pdlkl;
    }
    return values;
}

UserInfoForm::Missing UserInfoForm::missingValue(const Values& values) {
    if (values[UserName].isEmpty()) return Missing::UserName;
    if (values[Email].isEmpty()) return Missing::Email;
    if (!ServerClient::isServerAddress(values[ServerAddress])) return Missing::ServerAddress;
    return Missing::Nothing;
}

bool UserInfoForm::save(WordDatabase& database, const QByteArray& machineId, const Values& values,
                        const QByteArray& defaultServer) {
    std::optional<UserInfo> stored = database.userInfo(machineId);
    const bool exists = stored.has_value();
    UserInfo info = exists ? *stored : UserInfo{};
    if (!exists) {
        info.pupdate = kFirstExchangeDate;
        info.pdwdate = kFirstExchangeDate;
    }
    info.puser = values[UserName];
    info.pmachine = machineId;
    info.pemail = values[Email];
    info.psmtp = values[SmtpServer];
    info.pfxyhm = values[MailUser];
    info.pdlkl = values[Password];
    const QByteArray server =
        values[ServerAddress] == defaultServer ? QByteArray() : values[ServerAddress];
    return database.inTransaction([&] {
        return (exists ? database.writeUserInfo(info) : database.createUserInfo(info)) &&
               database.writeSetting(machineId, Settings::kServerAddress, server);
    });
}

std::optional<SmtpAccount> UserInfoForm::mailAccount(const Values& values) {
    for (Row row : {Email, SmtpServer, MailUser, Password})
        if (values[row].isEmpty()) return std::nullopt;
    return SmtpAccount{values[SmtpServer], kSmtpPort, values[MailUser], values[Password],
                       kSmtpTimeoutMs};
}
