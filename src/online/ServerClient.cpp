#include "online/ServerClient.h"

#include <utility>

#include "library/Settings.h"
#include "library/WordDatabase.h"
#include "platform/Platform.h"

using P = ServerProtocol;

ServerClient::ServerClient(Platform& platform) : ServerClient(platform, platform.serverBaseUrl()) {}

ServerClient::ServerClient(Platform& platform, QByteArray baseUrl)
    : platform_(platform), baseUrl_(std::move(baseUrl)) {
    while (baseUrl_.endsWith('/')) baseUrl_.chop(1);
}

ServerClient::ServerClient(Platform& platform, WordDatabase& library)
    : ServerClient(platform,
                   library.setting(platform.machineId().toLatin1(), Settings::kServerAddress)
                       .value_or(platform.serverBaseUrl())) {}

bool ServerClient::isServerAddress(const QByteArray& address) {
    qsizetype host = 0;
    for (const char* scheme : {"http://", "https://"})
        if (address.startsWith(scheme)) host = qsizetype(qstrlen(scheme));
    if (host == 0 || host == address.size() || address[host] == '/') return false;
    for (char c : address)
        if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 0x7F ||
            c == '?' || c == '#')
            return false;
    return true;
}

bool ServerClient::isOnline() { return platform_.isOnline(); }

QByteArray ServerClient::fetch(const QByteArray& pathAndQuery) {
    return platform_.httpGet(baseUrl_ + pathAndQuery, stop_);
}

bool ServerClient::checkServer() { return fetch(P::kCheckPage).contains(P::kMarker); }

ServerClient::SubmitTemplate ServerClient::buildSubmitTemplate(const QByteArray& userName,
                                                               const QByteArray& machineId) {
    SubmitTemplate t;
    if (!userName.isEmpty()) t.leading.emplace_back(P::kUserNameKey, userName);
    t.leading.emplace_back(P::kMachineKey, machineId);
    return t;
}

QByteArray ServerClient::fillSubmitTemplate(const SubmitTemplate& request, const QByteArray& grade,
                                            const QByteArray& category, const QByteArray& wrong,
                                            const QByteArray& right, const QByteArray& exceptions) {
    P::Query items = request.leading;
    items.emplace_back(P::kGradeKey, grade);
    items.emplace_back(P::kClassKey, category);
    items.emplace_back(P::kWrongKey, wrong);
    items.emplace_back(P::kRightKey, right);
    items.emplace_back(P::kExceptionsKey, exceptions);
    return P::request(P::kSubmitEntryPage, items);
}

bool ServerClient::submitEntry(const QByteArray& filledRequest) {
    return fetch(filledRequest) == P::kAccepted;
}

QByteArray ServerClient::updatesRequest(const QByteArray& machineId,
                                        const QDateTime& lastDownload) {
    return P::request(P::kUpdatesPage, {{P::kMachineKey, machineId},
                                        {P::kDateKey, P::formatDateText(lastDownload)}});
}

ServerClient::UpdateAnswer ServerClient::requestUpdates(const QByteArray& machineId,
                                                        const QDateTime& lastDownload) {
    return P::classifyUpdateAnswer(fetch(updatesRequest(machineId, lastDownload)));
}

QByteArray ServerClient::userInfoRequest(const QByteArray& userName, const QByteArray& machineId,
                                         const QByteArray& email) {
    return P::request(
        P::kUserInfoPage,
        {{P::kUserNameKey, userName}, {P::kMachineKey, machineId}, {P::kEmailKey, email}});
}

bool ServerClient::submitUserInfo(const QByteArray& userName, const QByteArray& machineId,
                                  const QByteArray& email) {
    return fetch(userInfoRequest(userName, machineId, email)) == P::kAccepted;
}
