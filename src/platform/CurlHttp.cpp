#include "platform/CurlHttp.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace {

struct Body {
    QByteArray bytes;
    qint64 cap = 0;
    bool overflow = false;
};

size_t appendBody(char* data, size_t size, size_t count, void* user) {
    auto* body = static_cast<Body*>(user);
    const size_t length = size * count;
    if (body->bytes.size() + qint64(length) > body->cap) {
        body->overflow = true;
        return 0;  // curl ends the transfer with CURLE_WRITE_ERROR
    }
    body->bytes.append(data, qsizetype(length));
    return length;
}

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

// Runs the transfer in slices short enough for `stop` to be asked about 20
// times a second, also while the server sends nothing.
CURLcode performStoppable(CURL* handle, const HttpStop& stop) {
    CURLM* multi = curl_multi_init();
    if (!multi) return CURLE_OUT_OF_MEMORY;
    curl_multi_add_handle(multi, handle);
    CURLcode result = CURLE_ABORTED_BY_CALLBACK;
    int running = 1;
    while (running) {
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        if (!running) {
            int left = 0;
            while (CURLMsg* message = curl_multi_info_read(multi, &left))
                if (message->msg == CURLMSG_DONE) result = message->data.result;
            break;
        }
        if (stop()) break;
        curl_multi_poll(multi, nullptr, 0, 50, nullptr);
    }
    curl_multi_remove_handle(multi, handle);
    curl_multi_cleanup(multi);
    return result;
}

}  // namespace

QByteArray CurlHttp::get(const QByteArray& url, const HttpLimits& limits, const HttpStop& stop) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    std::unique_ptr<CURL, EasyDeleter> curl(curl_easy_init());
    if (!curl) return QByteArray();
    Body body;
    body.cap = limits.maxBodyBytes;
    CURL* h = curl.get();
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, long(limits.connectTimeoutMs));
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, limits.lowSpeedBytesPerSecond);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, limits.lowSpeedSeconds);
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(limits.maxBodyBytes));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &body);
    const CURLcode result = stop ? performStoppable(h, stop) : curl_easy_perform(h);
    if (result != CURLE_OK || body.overflow) return QByteArray();
    return body.bytes;
}
