#include "server/ExchangeServer.h"

#include <QDateTime>

#include "server/ExchangePages.h"

namespace {

constexpr char kContentType[] = "text/html; charset=GBK";

// Sent values are anything at all; a log line must stay one line.
QByteArray printable(const QByteArray& bytes) {
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c > 0x20 && c < 0x7F && c != '%') {
            out += ch;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0xF];
        }
    }
    return out;
}

}  // namespace

ExchangeServer::Limits ExchangeServer::defaultLimits() {
    Limits limits;
    limits.headBytes = 3 * ExchangePages::kMaxQueryBytes + 8 * 1024;
    return limits;
}

ExchangeServer::ExchangeServer(ExchangePages& pages, Log log, int workers, const Limits& limits) {
    auto handle = [&pages, log](const HttpServer::Request& request) -> HttpServer::Response {
        const bool head = request.method == "HEAD";
        const ExchangePages::Answer answer = head ? pages.look(request.path, request.query)
                                                  : pages.answer(request.path, request.query);
        if (log)
            log(logLine(request.path, answer.usid,
                        head ? "HEAD " + answer.outcome : answer.outcome));
        return {answer.status, answer.body};
    };
    auto refused = [log](const QByteArray& path, int status) {
        if (log)
            log(logLine(path, {},
                        QByteArray::number(status) + (status == 414 ? " error! too long" : "")));
    };
    http_ = std::make_unique<HttpServer>(handle, refused, kContentType, workers, limits);
}

ExchangeServer::~ExchangeServer() { stop(); }

bool ExchangeServer::bind(const std::string& host, int port) { return http_->bind(host, port); }

int ExchangeServer::bindError() const { return http_->bindError(); }

int ExchangeServer::port() const { return http_->port(); }

bool ExchangeServer::run() { return http_->run(); }

void ExchangeServer::stop() { http_->stop(); }

bool ExchangeServer::isRunning() const { return http_->isRunning(); }

QByteArray ExchangeServer::logLine(const QByteArray& path, const QByteArray& usid,
                                   const QByteArray& outcome) {
    return QDateTime::currentDateTime().toString(Qt::ISODate).toLatin1() + ' ' + printable(path) +
           " usid=" + printable(usid) + ' ' + outcome + '\n';
}
