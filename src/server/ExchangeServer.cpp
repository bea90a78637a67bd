#include "server/ExchangeServer.h"

#include <httplib.h>
#include <sys/socket.h>

#include <QDateTime>

#include "online/ServerProtocol.h"
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

QByteArray bytesOf(const std::string& s) { return QByteArray(s.data(), qsizetype(s.size())); }

}  // namespace

ExchangeServer::ExchangeServer(ExchangePages& pages, Log log, int workers)
    : server_(std::make_unique<httplib::Server>()) {
    server_->new_task_queue = [workers] { return new httplib::ThreadPool(size_t(workers)); };
    // A proofreader's program sends its entries one request after another.
    server_->set_keep_alive_max_count(1000);
    // Headers and body leave in two writes; waiting for the peer's delayed
    // acknowledgement of the first would add 40 ms to every answer.
    server_->set_tcp_nodelay(true);
    server_->set_socket_options([this](int socket) {
        const int on = 1;
        // As the library's own options: a restart binds beside old connections.
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        setsockopt(socket, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
        socket_ = socket;
    });
    server_->Get(".*", [&pages, log](const httplib::Request& req, httplib::Response& res) {
        const std::string& target = req.target;
        const std::size_t mark = target.find('?');
        const QByteArray query =
            mark == std::string::npos ? QByteArray() : bytesOf(target.substr(mark + 1));
        const QByteArray path = bytesOf(req.path);
        const ExchangePages::Answer answer = pages.answer(path, query);
        res.status = answer.status;
        if (answer.status != 200) {
            // A body of its own keeps the error handler below from answering again.
            res.set_content(answer.body.constData(), std::size_t(answer.body.size()), kContentType);
        } else {
            // The download is one shared answer of several hundred kilobytes;
            // written from where it lies, it is never copied per request.
            const QByteArray body = answer.body;
            res.set_content_provider(
                std::size_t(body.size()), kContentType,
                [body](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                    return sink.write(body.constData() + offset, length);
                });
        }
        if (log) log(logLine(path, answer.usid, answer.outcome));
    });
    // What HTTP itself refuses (an overlong request line, a malformed request,
    // another method) reaches no page; it still answers in the exchange's terms.
    using Refusal = httplib::Server::HandlerWithResponse;
    server_->set_error_handler(Refusal([log](const httplib::Request& req, httplib::Response& res) {
        if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        const bool tooLong = res.status == 414;
        const char* body = tooLong ? ServerProtocol::kRefused : "";
        res.set_content(body, kContentType);
        if (log)
            log(logLine(bytesOf(req.path), {},
                        QByteArray::number(res.status) + (tooLong ? " error! too long" : "")));
        return httplib::Server::HandlerResponse::Handled;
    }));
}

ExchangeServer::~ExchangeServer() { stop(); }

bool ExchangeServer::bind(const std::string& host, int port) {
    if (port == 0) {
        port_ = server_->bind_to_any_port(host);
    } else {
        port_ = server_->bind_to_port(host, port) ? port : -1;
    }
    // The HTTP library listens with a queue of five: when more programs
    // connect at once the rest are dropped and wait a second or more to try
    // again. Listening again only lengthens the queue.
    if (port_ > 0) ::listen(socket_, SOMAXCONN);
    return port_ > 0;
}

bool ExchangeServer::run() { return server_->listen_after_bind(); }

void ExchangeServer::stop() { server_->stop(); }

bool ExchangeServer::isRunning() const { return server_->is_running(); }

QByteArray ExchangeServer::logLine(const QByteArray& path, const QByteArray& usid,
                                   const QByteArray& outcome) {
    return QDateTime::currentDateTime().toString(Qt::ISODate).toLatin1() + ' ' + printable(path) +
           " usid=" + printable(usid) + ' ' + outcome + '\n';
}
