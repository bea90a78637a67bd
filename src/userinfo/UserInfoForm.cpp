#include "userinfo/UserInfoForm.h"

#include "library/WordDatabase.h"
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

UserInfoForm::Values UserInfoForm::load(WordDatabase& database, const QByteArray& machineId) {
    const std::optional<UserInfo> info = database.userInfo(machineId);
    if (!info) return {};
    return {info->puser, info->pemail, info->psmtp, info->pfxyhm, info->pdlkl};
}

UserInfoForm::Missing UserInfoForm::missingValue(const Values& values) {
    if (values[UserName].isEmpty()) return Missing::UserName;
    if (values[Email].isEmpty()) return Missing::Email;
    return Missing::Nothing;
}

bool UserInfoForm::save(WordDatabase& database, const QByteArray& machineId, const Values& values) {
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
    return exists ? database.writeUserInfo(info) : database.createUserInfo(info);
}

std::optional<SmtpAccount> UserInfoForm::mailAccount(const Values& values) {
    for (Row row : {Email, SmtpServer, MailUser, Password})
        if (values[row].isEmpty()) return std::nullopt;
    return SmtpAccount{values[SmtpServer], kSmtpPort, values[MailUser], values[Password],
                       kSmtpTimeoutMs};
}
