#include "platform/SystemPlatform.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStorageInfo>
#include <QThread>

#include <algorithm>

#include "platform/MachineId.h"
#include "platform/SmtpLogin.h"

namespace {

QByteArray readProcFile(const char* path) {
    QFile file(QString::fromLatin1(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool isPseudoFileSystem(const QByteArray& type) {
    static const QByteArrayList pseudo = {
        "proc",       "sysfs",    "devtmpfs", "devpts",  "cgroup",      "cgroup2",
        "securityfs", "debugfs",  "tracefs",  "pstore",  "bpf",         "mqueue",
        "hugetlbfs",  "configfs", "fusectl",  "autofs",  "binfmt_misc", "efivarfs",
        "rpc_pipefs", "nsfs",     "ramfs",    "squashfs"};
    return pseudo.contains(type);
}

}  // namespace

bool hasDefaultRoute(const QByteArray& ipv4RouteTable, const QByteArray& ipv6RouteTable) {
    // Iface Destination Gateway Flags ...; the first line is the header.
    const QByteArrayList v4 = ipv4RouteTable.split('\n');
    for (qsizetype i = 1; i < v4.size(); ++i) {
        const QList<QByteArray> f = v4[i].simplified().split(' ');
        if (f.size() < 4) continue;
        bool ok = false;
        const uint flags = f[3].toUInt(&ok, 16);
        if (ok && f[1] == "00000000" && (flags & 0x1)) return true;  // RTF_UP
    }
    // dest prefixlen src srcprefixlen nexthop metric refcnt use flags iface
    for (const QByteArray& line : ipv6RouteTable.split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() < 10) continue;
        bool ok = false;
        const uint flags = f[8].toUInt(&ok, 16);
        const bool reject = flags & 0x0200;  // RTF_REJECT
        if (ok && f[0] == QByteArray(32, '0') && f[1] == "00" && f[9] != "lo" && !reject &&
            (flags & 0x1))
            return true;
    }
    return false;
}

QString SystemPlatform::machineId() { return currentMachineId(); }

QString SystemPlatform::programDirectory() { return systemProgramDirectory(); }

QString SystemPlatform::appDataDirectory() { return systemAppDataDirectory(); }

bool SystemPlatform::startDetached(const QString& program) {
    return QProcess::startDetached(program, {});
}

QDateTime SystemPlatform::now() { return QDateTime::currentDateTime(); }

void SystemPlatform::pause(int milliseconds) { QThread::msleep(milliseconds); }

bool SystemPlatform::isOnline() {
    return hasDefaultRoute(readProcFile("/proc/net/route"), readProcFile("/proc/net/ipv6_route"));
}

QByteArray SystemPlatform::serverBaseUrl() { return QByteArrayLiteral(TAVREL_SERVER_URL); }

QByteArray SystemPlatform::httpGet(const QByteArray& url, const std::function<bool()>& stop) {
    return CurlHttp::get(url, httpLimits_, stop);
}

Platform::SmtpResult SystemPlatform::smtpLogin(const QByteArray& server, int port,
                                               const QByteArray& user, const QByteArray& password,
                                               int timeoutMs) {
    const SmtpLogin::Result result = SmtpLogin::login({server, port, user, password, timeoutMs});
    return {result.loggedIn, result.encrypted};
}

QStringList SystemPlatform::drives() {
    QStringList roots;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || !volume.isReady() || isPseudoFileSystem(volume.fileSystemType()))
            continue;
        QString root = volume.rootPath();
        if (!root.endsWith('/')) root += '/';
        if (!roots.contains(root)) roots.append(root);
    }
    std::sort(roots.begin(), roots.end());
    roots.removeAll(QStringLiteral("/"));
    roots.prepend(QStringLiteral("/"));
    return roots;
}
