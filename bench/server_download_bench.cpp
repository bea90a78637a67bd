// The download page as the program meets it: its own HTTP client, one request
// after another, each on a new connection as every exchange makes one. Prints
// requests per second and the 99th percentile latency.
//
// server_download_bench URL [seconds]

#include <QByteArray>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "online/ServerProtocol.h"
#include "platform/CurlHttp.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: server_download_bench URL [seconds]\n");
        return 2;
    }
    const QByteArray url(argv[1]);
    const qint64 limitMs = 1000 * (argc > 2 ? std::atoi(argv[2]) : 10);
    std::vector<qint64> latenciesNs;
    qint64 bytes = 0;
    QElapsedTimer total;
    total.start();
    while (total.elapsed() < limitMs) {
        QElapsedTimer one;
        one.start();
        const QByteArray body = CurlHttp::get(url);
        latenciesNs.push_back(one.nsecsElapsed());
        // An answer the program would not read is no request served; reading
        // all of it is left out, it would cost more than the request.
        if (!body.startsWith(ServerProtocol::kRecordsStart) || (bytes && body.size() != bytes)) {
            std::fprintf(stderr, "server_download_bench: no records from %s\n", url.constData());
            return 1;
        }
        bytes = body.size();
    }
    const double seconds = double(total.nsecsElapsed()) / 1e9;
    std::sort(latenciesNs.begin(), latenciesNs.end());
    const qint64 p99 = latenciesNs[latenciesNs.size() * 99 / 100];
    std::printf("%.2f requests/s, p99 %.2fms (%zu requests of %lld bytes)\n",
                double(latenciesNs.size()) / seconds, double(p99) / 1e6, latenciesNs.size(),
                static_cast<long long>(bytes));
    return 0;
}
