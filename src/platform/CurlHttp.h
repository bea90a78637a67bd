#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <functional>

// What ends a request that would otherwise hang the window or fill memory.
struct HttpLimits {
    int connectTimeoutMs = 10000;
    // Slower than this many bytes a second for lowSpeedSeconds ends the request.
    long lowSpeedBytesPerSecond = 100;
    long lowSpeedSeconds = 15;
    qint64 maxBodyBytes = 16 * 1024 * 1024;
};

// Asked many times a second while a request runs; true ends the request as a
// failure. The window lets its events run here.
using HttpStop = std::function<bool()>;

// One HTTP GET through libcurl: one attempt, no redirects followed. The body
// whatever the status; the empty text when the request fails, breaks a limit
// or is stopped.
class CurlHttp {
  public:
    static QByteArray get(const QByteArray& url, const HttpLimits& limits = {},
                          const HttpStop& stop = {});
};
