#pragma once

#include <QByteArray>
#include <QDateTime>

#include <functional>
#include <utility>

#include "online/ServerProtocol.h"

class Platform;
class WordDatabase;

// The requests to the program's server and the classification of its
// answers. Every request is one blocking GET through the platform; a failed
// request reads as an empty answer.
class ServerClient {
  public:
    // The keys that come before an entry's values in a submission, in order.
    struct SubmitTemplate {
        ServerProtocol::Query leading;
    };
    using UpdateKind = ServerProtocol::UpdateKind;
    using UpdateAnswer = ServerProtocol::UpdateAnswer;

    // The server the platform names.
    explicit ServerClient(Platform& platform);
    // `baseUrl` is scheme and host (and port); a closing "/" is dropped.
    ServerClient(Platform& platform, QByteArray baseUrl);
    // The server chosen for this computer in the library, else the platform's.
    ServerClient(Platform& platform, WordDatabase& library);

    // An address the user may choose: "http://" or "https://", a host, and
    // nothing that could break the request line.
    static bool isServerAddress(const QByteArray& address);

    const QByteArray& baseUrl() const { return baseUrl_; }
    // Asked while every later request runs; true ends the request as a failure.
    void setStop(std::function<bool()> stop) { stop_ = std::move(stop); }

    bool isOnline();
    // One GET of the base address + pathAndQuery; the body, empty on failure.
    QByteArray fetch(const QByteArray& pathAndQuery);
    // True when "/index.asp" answers with a page holding the marker.
    bool checkServer();

    // Without a user name the form without `usnm` is used.
    static SubmitTemplate buildSubmitTemplate(const QByteArray& userName,
                                              const QByteArray& machineId);
    // The submit request (path and query) for one entry's values.
    static QByteArray fillSubmitTemplate(const SubmitTemplate& request, const QByteArray& grade,
                                         const QByteArray& category, const QByteArray& wrong,
                                         const QByteArray& right, const QByteArray& exceptions);
    // True exactly when the server answers "ok!".
    bool submitEntry(const QByteArray& filledRequest);

    // A null lastDownload is sent as the zero date, so that the server sends
    // everything.
    static QByteArray updatesRequest(const QByteArray& machineId, const QDateTime& lastDownload);
    UpdateAnswer requestUpdates(const QByteArray& machineId, const QDateTime& lastDownload);

    static QByteArray userInfoRequest(const QByteArray& userName, const QByteArray& machineId,
                                      const QByteArray& email);
    // True exactly when the server answers "ok!".
    bool submitUserInfo(const QByteArray& userName, const QByteArray& machineId,
                        const QByteArray& email);

  private:
    Platform& platform_;
    QByteArray baseUrl_;
    std::function<bool()> stop_;
};
