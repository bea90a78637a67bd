#include "platform/SmtpLogin.h"

#include <curl/curl.h>
#include <poll.h>

#include <QDeadlineTimer>

#include <memory>
#include <mutex>

#include "text/GbkCodec.h"

namespace {

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

constexpr long kAuthAccepted = 235;
// Waiting for the goodbye must not keep the window much past the time-out.
constexpr int kQuitWaitMs = 1000;

bool waitForSocket(CURL* h, short events, const QDeadlineTimer& deadline) {
    curl_socket_t socket = CURL_SOCKET_BAD;
    if (curl_easy_getinfo(h, CURLINFO_ACTIVESOCKET, &socket) != CURLE_OK ||
        socket == CURL_SOCKET_BAD)
        return false;
    pollfd fd{socket, events, 0};
    const qint64 left = deadline.remainingTime();
    return left > 0 && ::poll(&fd, 1, int(left)) > 0;
}

// A connection kept for CURLOPT_CONNECT_ONLY is dropped without QUIT by
// curl_easy_cleanup, so the goodbye is said here.
void sayQuit(CURL* h, int waitMs) {
    const QDeadlineTimer deadline(waitMs);
    const char quit[] = "QUIT\r\n";
    size_t sent = 0;
    while (sent < sizeof quit - 1) {
        size_t n = 0;
        const CURLcode r = curl_easy_send(h, quit + sent, sizeof quit - 1 - sent, &n);
        if (r == CURLE_AGAIN) {
            if (!waitForSocket(h, POLLOUT, deadline)) return;
        } else if (r != CURLE_OK) {
            return;
        }
        sent += n;
    }
    // The reply ends with a line break; the server closes after it.
    char reply[256];
    for (;;) {
        size_t n = 0;
        const CURLcode r = curl_easy_recv(h, reply, sizeof reply, &n);
        if (r == CURLE_AGAIN) {
            if (!waitForSocket(h, POLLIN, deadline)) return;
        } else if (r != CURLE_OK || n == 0 || reply[n - 1] == '\n') {
            return;
        }
    }
}

// What the server answered to STARTTLS, seen on the wire: with
// CURLUSESSL_TRY curl goes on in clear without saying so afterwards.
struct StartTls {
    bool asked = false;
    bool answered = false;
    bool granted = false;
};

int watchStartTls(CURL*, curl_infotype type, char* data, size_t size, void* user) {
    auto* tls = static_cast<StartTls*>(user);
    const QByteArrayView line(data, qsizetype(size));
    if (type == CURLINFO_HEADER_OUT && line.startsWith("STARTTLS")) tls->asked = true;
    if (type == CURLINFO_HEADER_IN && tls->asked && !tls->answered) {
        tls->answered = true;
        tls->granted = line.startsWith("220");
    }
    return 0;
}

}  // namespace

SmtpLogin::Result SmtpLogin::login(const SmtpAccount& account, const QByteArray& caFile) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    // Built part by part, so that a server text holding "/", "@" or ":" cannot
    // point the login anywhere but at a host of that name.
    std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
    const QByteArray host = fromGbk(account.server).toUtf8();
    const QByteArray port = QByteArray::number(account.port);
    if (!url || curl_url_set(url.get(), CURLUPART_SCHEME, "smtp", 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_HOST, host.constData(), 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_PORT, port.constData(), 0) != CURLUE_OK)
        return {};

    std::unique_ptr<CURL, EasyDeleter> curl(curl_easy_init());
    if (!curl) return {};
    CURL* h = curl.get();
    curl_easy_setopt(h, CURLOPT_CURLU, url.get());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "smtp");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    // The login is all of the connection's set-up; no mail is sent.
    curl_easy_setopt(h, CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(h, CURLOPT_USERNAME, account.user.constData());
    curl_easy_setopt(h, CURLOPT_PASSWORD, account.password.constData());
    curl_easy_setopt(h, CURLOPT_USE_SSL, long(CURLUSESSL_TRY));
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!caFile.isEmpty()) curl_easy_setopt(h, CURLOPT_CAINFO, caFile.constData());
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, long(account.timeoutMs));
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, long(account.timeoutMs));
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, long((account.timeoutMs + 999) / 1000));
    StartTls tls;
    curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, watchStartTls);
    curl_easy_setopt(h, CURLOPT_DEBUGDATA, &tls);
    curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);

    if (curl_easy_perform(h) != CURLE_OK) return {};
    // curl skips AUTH without a word when the server does not offer it; only
    // the server's own acceptance counts.
    long reply = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &reply);
    sayQuit(h, kQuitWaitMs);
    // A refused handshake fails the whole login, so a granted STARTTLS is a TLS session.
    return {reply == kAuthAccepted, tls.granted};
}
