#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QStringList>

// A real SMTP server on 127.0.0.1 (aiosmtpd, support/smtp_peer.py), started for
// one test and stopped with it. It records the logins and goodbyes it sees.
class SmtpPeer {
  public:
    struct Options {
        QByteArray user = "alice";
        QByteArray password = "s3cret";
        bool noAuth = false;
        // Offers STARTTLS with the committed certificate for 127.0.0.1, which
        // no system store trusts; AUTH then only after STARTTLS.
        bool tls = false;
    };

    static QByteArray certificatePath() { return TAVREL_SMTP_PEER_DIR "/smtp_peer_cert.pem"; }

    SmtpPeer() : SmtpPeer(Options{}) {}
    explicit SmtpPeer(const Options& options) {
        QStringList args = {QStringLiteral(TAVREL_SMTP_PEER_DIR "/smtp_peer.py"),
                            QStringLiteral("--user"), QString::fromUtf8(options.user),
                            QStringLiteral("--password"), QString::fromUtf8(options.password)};
        if (options.noAuth) args << QStringLiteral("--no-auth");
        if (options.tls)
            args << QStringLiteral("--tls") << QString::fromUtf8(certificatePath())
                 << QStringLiteral(TAVREL_SMTP_PEER_DIR "/smtp_peer_key.pem");
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.start(QStringLiteral("/usr/bin/python3"), args);
        if (!process_.waitForStarted(5000)) {
            ADD_FAILURE() << "cannot start the SMTP peer";
            return;
        }
        const QString first = nextLine(10000);
        bool ok = false;
        port_ = first.toInt(&ok);
        if (!ok)
            ADD_FAILURE() << "SMTP peer gave no port: " << first.toStdString()
                          << process_.readAllStandardError().toStdString();
    }
    ~SmtpPeer() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }
    SmtpPeer(const SmtpPeer&) = delete;
    SmtpPeer& operator=(const SmtpPeer&) = delete;

    int port() const { return port_; }

    // Every event seen so far ("auth ok alice", "auth failed bob", "quit"),
    // waiting up to `waitMs` for `expected` to arrive among them.
    QStringList events(const QString& expected = {}, int waitMs = 2000) {
        const QDeadlineTimer deadline(waitMs);
        while (!expected.isEmpty() && !events_.contains(expected) && !deadline.hasExpired()) {
            const QString line = nextLine(int(deadline.remainingTime()));
            if (!line.isNull()) events_ << line;
        }
        while (process_.canReadLine()) events_ << lineRead();
        return events_;
    }

  private:
    QString lineRead() { return QString::fromUtf8(process_.readLine()).trimmed(); }
    QString nextLine(int waitMs) {
        const QDeadlineTimer deadline(waitMs);
        while (!process_.canReadLine()) {
            if (deadline.hasExpired() || process_.state() == QProcess::NotRunning) return {};
            process_.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        }
        return lineRead();
    }

    QProcess process_;
    int port_ = 0;
    QStringList events_;
};
