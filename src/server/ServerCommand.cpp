#include "server/ServerCommand.h"

#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>

#include <QDateTime>
#include <QFile>
#include <QIODevice>

#include <algorithm>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "documents/DocumentFile.h"
#include "library/LibraryText.h"
#include "platform/ToolMain.h"
#include "server/ExchangePages.h"
#include "server/ExchangeServer.h"
#include "server/ExchangeStore.h"
#include "text/GbkCodec.h"
#include "text/SystemError.h"
#include "text/TerminalText.h"

namespace {

constexpr char kUsage[] =
    "用法：tavrel-server [--listen ADDR:PORT] [--data DIR] [--key-file FILE] [--workers N]\n"
    "      tavrel-server review list|approve ID...|reject ID...|publish FILE.tsv\n"
    "                    [--data DIR] [--key-file FILE]\n"
    "默认监听 127.0.0.1:8642，数据目录为当前目录（exchange.db）。--key-file 的首行为数据库密钥。\n"
    "review list 列出待审核的词汇；approve 发布、reject 拒绝所列编号的词汇；\n"
    "publish 发布 tavrel-library export 导出的文本中的词汇。\n";

struct Options {
    QString host = QStringLiteral("127.0.0.1");
    int port = 8642;
    QString data = QStringLiteral(".");
    QString keyFile;
    int workers = ExchangeServer::kDefaultWorkers;
    QStringList review;  // the words after "review"
};

QDateTime now() { return QDateTime::currentDateTime(); }

bool parseListen(const QString& text, Options& o) {
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    bool ok = false;
    const int port = colon > 0 ? text.mid(colon + 1).toInt(&ok) : -1;
    if (!ok || port < 0 || port > 65535) return false;
    o.host = text.left(colon);
    // "[::1]:8642": the brackets only set the address apart from the port.
    if (o.host.startsWith(QLatin1Char('[')) && o.host.endsWith(QLatin1Char(']')))
        o.host = o.host.mid(1, o.host.size() - 2);
    o.port = port;
    return !o.host.isEmpty();
}

// Submitted texts are anything at all: a moderator sees every byte for what it is.
QByteArray shownField(const QByteArray& gbkField) { return terminalText(fromGbk(gbkField)); }

std::optional<QByteArray> readKey(const QString& keyFile, QIODevice& err, QString* why) {
    if (keyFile.isEmpty()) return QByteArray();
    struct stat info {};
    if (::stat(QFile::encodeName(keyFile).constData(), &info) == 0 &&
        (info.st_mode & (S_IRGRP | S_IROTH)) != 0)
        err.write(QStringLiteral("tavrel-server：警告：密钥文件 %1 可被其他用户读取（权限 %2），"
                                 "请执行 chmod 600 %1\n")
                      .arg(keyFile)
                      .arg(info.st_mode & 07777, 4, 8, QLatin1Char('0'))
                      .toUtf8());
    const std::optional<QByteArray> bytes = DocumentFile::read(keyFile, why);
    if (!bytes) return std::nullopt;
    const QByteArray key = bytes->left(bytes->indexOf('\n')).trimmed();
    if (key.isEmpty()) {
        *why = QStringLiteral("密钥文件的首行为空");
        return std::nullopt;
    }
    return key;
}

QByteArray submissionLine(const Submission& s) {
    const WordEntry& e = s.entry;
    return QByteArray::number(s.id) + '\t' + s.received.toString(Qt::ISODate).toLatin1() + '\t' +
           shownField(s.usid) + '\t' + shownField(s.usnm) + '\t' + shownField(s.usemail) + '\t' +
           shownField(e.tgrade) + '\t' + shownField(e.tclass) + '\t' + shownField(e.terror) + '\t' +
           shownField(e.tright) + '\t' + shownField(e.tbut) + '\n';
}

int review(const QStringList& words, ExchangeStore& store, QIODevice& out, QIODevice& err,
           const std::function<int(const QString&)>& fail) {
    const QString& command = words.front();
    if (command == QLatin1String("list") && words.size() == 1) {
        const std::vector<Submission> pending = store.pending();
        if (!store.lastError().isEmpty()) return fail(store.lastError());
        out.write("id\treceived\tusid\tusnm\tusemail\ttgrade\ttclass\tterror\ttright\ttbut\n");
        for (const Submission& s : pending) out.write(submissionLine(s));
        return 0;
    }
    if (command == QLatin1String("publish") && words.size() == 2) {
        QString why;
        const std::optional<QByteArray> bytes = DocumentFile::read(words[1], &why);
        std::optional<std::vector<WordEntry>> entries =
            bytes ? LibraryText::read(*bytes, &why) : std::nullopt;
        if (!entries || !store.publish(*entries, now(), &why))
            return fail(words[1] + QStringLiteral("：") + why + QStringLiteral("；未发布任何词汇"));
        err.write(QStringLiteral("已发布 %1 组词汇\n").arg(entries->size()).toUtf8());
        return 0;
    }
    const bool approving = command == QLatin1String("approve");
    if ((!approving && command != QLatin1String("reject")) || words.size() < 2) {
        err.write(kUsage);
        return 2;
    }
    std::vector<qint64> ids;
    for (const QString& word : words.mid(1)) {
        bool ok = false;
        ids.push_back(word.toLongLong(&ok));
        if (!ok || ids.back() <= 0) return fail(QStringLiteral("不是编号：") + word);
    }
    QString why;
    const bool done = approving ? store.approve(ids, now(), &why) : store.reject(ids, now(), &why);
    if (!done) return fail(why + QStringLiteral("；未作任何改动"));
    err.write(
        (approving ? QStringLiteral("已发布 %1 组词汇\n") : QStringLiteral("已拒绝 %1 组词汇\n"))
            .arg(ids.size())
            .toUtf8());
    return 0;
}

// Until SIGINT or SIGTERM: the signals are taken by a thread of our own, so
// the server stops between requests and the database is closed cleanly.
int serve(const Options& o, ExchangeStore& store, QIODevice& err,
          const std::function<int(const QString&)>& fail) {
    ExchangePages pages(store, now);
    std::mutex logMutex;
    ExchangeServer server(
        pages,
        [&](const QByteArray& line) {
            std::lock_guard lock(logMutex);
            err.write(line);
        },
        o.workers);
    if (!server.bind(o.host.toStdString(), o.port)) {
        if (server.bindError() == EADDRINUSE)
            return fail(QStringLiteral("端口已被占用：%1:%2").arg(o.host).arg(o.port));
        return fail(QStringLiteral("无法监听 %1:%2（%3）")
                        .arg(o.host)
                        .arg(o.port)
                        .arg(systemErrorText(server.bindError())));
    }
    // Every open connection is a descriptor; the usual soft limit of 1,024
    // would refuse clients long before the server is busy.
    if (rlimit files{};
        ::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = std::min<rlim_t>(files.rlim_max, 65536);
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    err.write(QStringLiteral("tavrel-server：监听 http://%1:%2，数据目录 %3\n")
                  .arg(o.host)
                  .arg(server.port())
                  .arg(o.data)
                  .toUtf8());

    sigset_t stopSignals, previous;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    // Before the workers start, so that they inherit the mask.
    pthread_sigmask(SIG_BLOCK, &stopSignals, &previous);
    std::thread waiter([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        server.stop();
    });
    const bool served = server.run();
    pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return served ? 0 : fail(QStringLiteral("服务中断"));
}

}  // namespace

int runServerCommand(const QStringList& arguments, QIODevice& out, QIODevice& err) {
    auto fail = [&](const QString& why) {
        err.write((QStringLiteral("tavrel-server：") + why).toUtf8() + '\n');
        return 2;
    };
    Options o;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (const std::optional<int> status = answerCommonOption(a, "tavrel-server", kUsage, out))
            return *status;
        const bool takesValue = a == QLatin1String("--listen") || a == QLatin1String("--data") ||
                                a == QLatin1String("--key-file") || a == QLatin1String("--workers");
        if (takesValue) {
            if (i + 1 == arguments.size()) return fail(a + QStringLiteral(" 缺少参数"));
            const QString& value = arguments[++i];
            bool ok = true;
            if (a == QLatin1String("--listen"))
                ok = parseListen(value, o);
            else if (a == QLatin1String("--data"))
                o.data = value;
            else if (a == QLatin1String("--key-file"))
                o.keyFile = value;
            else
                o.workers = value.toInt(&ok);
            // Each worker is a thread; beyond the bound they only cost memory.
            if (!ok || o.workers < 1 || o.workers > ExchangeServer::kMaxWorkers)
                return fail(
                    QStringLiteral("无效的参数：") + a + ' ' + value +
                    (a == QLatin1String("--workers")
                         ? QStringLiteral("（应为 1 到 %1）").arg(ExchangeServer::kMaxWorkers)
                         : QString()));
        } else if (a.startsWith(QLatin1Char('-'))) {
            return fail(QStringLiteral("未知的选项：") + a);
        } else if (o.review.isEmpty() && a != QLatin1String("review")) {
            return fail(QStringLiteral("多余的参数：") + a);
        } else {
            o.review.append(a);
        }
    }
    if (o.review.size() == 1) {
        err.write(kUsage);
        return 2;
    }

    QString why;
    const std::optional<QByteArray> key = readKey(o.keyFile, err, &why);
    if (!key) return fail(o.keyFile + QStringLiteral("：") + why);
    ExchangeStore store;
    if (!store.open(o.data, *key))
        return fail(QStringLiteral("数据库无法打开：") + store.lastError());
    if (o.review.isEmpty()) return serve(o, store, err, fail);
    return review(o.review.mid(1), store, out, err, fail);
}
