#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>

#include "gui/MainWindow.h"
#include "online/ServerClient.h"
#include "online/UpdateMerger.h"
#include "platform/Platform.h"
#include "platform/Prompter.h"
#include "text/GbkCodec.h"

// The exchanges with the program's server. The submission blocks the window
// from start to end, so label4 is painted by hand after every change of
// caption; the download lets the window's events run while it waits, so that
// its 取消 button can be clicked, and gives up after a minute in all.

namespace {

// The dates a user record starts with when an exchange creates it.
const QDateTime kFirstExchangeDate(QDate(2010, 10, 1), QTime(0, 0));
constexpr int kOfflinePauseMs = 2000;
constexpr int kDownloadLimitMs = 60000;

void showNotice(QLabel* label, const QString& caption) {
    label->setText(caption);
    label->show();
    label->raise();
    label->repaint();
}

enum class Access { Read, Write };

// Says why the library refused; the operation stops there.
void reportLibraryFailure(Prompter& prompter, QLabel* notice, Access access, const QString& why) {
    notice->hide();
    prompter.notify(Prompter::Icon::Error, QStringLiteral("提示："),
                    (access == Access::Read ? QStringLiteral("词库读取失败：")
                                            : QStringLiteral("词库写入失败：")) +
                        why);
}

// A wrong form as the user can read it: its characters, and each byte that is
// not part of one as \xHH.
QString shownForm(const QByteArray& bytes) {
    QString shown;
    for (const QChar c : GbkCodec::decode(bytes)) {
        const char16_t code = c.unicode();
        if (code >= GbkCodec::kRawByteBase && code <= GbkCodec::kRawByteBase + 0xFF)
            shown += QStringLiteral("\\x") +
                     QStringLiteral("%1")
                         .arg(code - GbkCodec::kRawByteBase, 2, 16, QLatin1Char('0'))
                         .toUpper();
        else
            shown += c;
    }
    return shown;
}

// The records left out because their wrong form would match half a character.
QString refusedNote(const QByteArrayList& refused) {
    if (refused.isEmpty()) return QString();
    QStringList names;
    for (const QByteArray& wrong : refused) names << shownForm(wrong);
    return QStringLiteral("\r\n以下词汇的错误字段含不完整的字符，未更新：") +
           names.join(QLatin1Char(';'));
}

}  // namespace

bool MainWindow::reachServer(ServerClient& client) {
    showNotice(label4, QStringLiteral("正在检查网络连接 ……"));
    if (!client.isOnline()) {
        showNotice(label4, QStringLiteral("互联网未正常连接！"));
        platform.pause(kOfflinePauseMs);
        label4->hide();
        return false;
    }
    showNotice(label4, QStringLiteral("互联网已连接！与网站通讯中 ……"));
    if (!client.checkServer()) {
        if (downloadCancelled || exiting) {
            label4->hide();
            return false;
        }
        showNotice(label4, QStringLiteral("与网站通讯失败！"));
        label4->hide();
        setStatusText(QStringLiteral("与网站通讯失败！"));
        if (!startUpDownloadRunning)
            prompter.notify(Prompter::Icon::Error, QStringLiteral("提示："),
                            QStringLiteral("与网站通讯失败！"));
        return false;
    }
    return true;
}

void MainWindow::submitNewEntries() {
    if (!requireLibrary()) return;
    setStatusText(QStringLiteral("提交词汇 ……"));
    showNotice(label4, QStringLiteral("正在检查用户信息 ……"));

    const QByteArray machine = platform.machineId().toLatin1();
    QByteArray userName;
    QDateTime lowerBound;
    if (const auto info = dbConnection.userInfo(machine)) {
        userName = info->puser;
        lowerBound = info->pupdate;
    } else if (!dbConnection.lastError().isEmpty()) {
        return reportLibraryFailure(prompter, label4, Access::Read, dbConnection.lastError());
    } else {
        UserInfo created;
        created.pmachine = machine;
        created.pupdate = kFirstExchangeDate;
        created.pdwdate = kFirstExchangeDate;
        if (!dbConnection.createUserInfo(created))
            return reportLibraryFailure(prompter, label4, Access::Write, dbConnection.lastError());
        lowerBound = kFirstExchangeDate;
    }

    showNotice(label4, QStringLiteral("正在检查当前更新词汇 ……"));
    const std::vector<WordEntry> entries = dbConnection.entriesLaterThan(lowerBound);
    if (entries.empty() && !dbConnection.lastError().isEmpty())
        return reportLibraryFailure(prompter, label4, Access::Read, dbConnection.lastError());
    if (entries.empty()) {
        label4->hide();
        setStatusText(QStringLiteral("没有更新词汇需要提交！"));
        prompter.notify(Prompter::Icon::Information, QStringLiteral("提示："),
                        QStringLiteral("没有更新词汇需要提交！"));
        return;
    }
    // A field without a value is sent as the empty text.
    auto text = [](const QByteArray& value) { return value.isNull() ? QByteArray("") : value; };
    updateWordsGrid.clear();
    updateWordsGrid.reserve(entries.size());
    for (const WordEntry& e : entries)
        updateWordsGrid.push_back(
            {text(e.tgrade), text(e.tclass), text(e.terror), text(e.tright), text(e.tbut)});

    ServerClient client(platform, dbConnection);
    if (!reachServer(client)) return;
    showNotice(label4, QStringLiteral("与网站通讯成功！"));
    showNotice(label4, QStringLiteral("正在提交 ……"));

    const ServerClient::SubmitTemplate request =
        ServerClient::buildSubmitTemplate(userName, machine);
    int accepted = 0;
    for (const auto& row : updateWordsGrid) {
        if (client.submitEntry(
                ServerClient::fillSubmitTemplate(request, row[0], row[1], row[2], row[3], row[4])))
            ++accepted;
    }

    label4->hide();
    setStatusText(QStringLiteral("共提交有效词汇：%1组！").arg(accepted));
    prompter.notify(
        Prompter::Icon::Information, QStringLiteral("提示"),
        QStringLiteral("提交完毕！\r\n共提交有效词汇：%1组！\r\n等待审核！").arg(accepted));
}

void MainWindow::downloadUpdates() {
    if (!requireWritableLibrary()) return;
    setStatusText(QStringLiteral("下载更新词汇 ……"));
    showNotice(label4, QStringLiteral("正在检查用户信息 ……"));

    // The window's events run while the download waits: the commands that
    // would touch the library meanwhile are ignored, and 取消 is there to click.
    setBusy(true);
    downloadCancelled = false;
    cancelDownloadButton->show();
    cancelDownloadButton->raise();
    const auto done = qScopeGuard([this] {
        cancelDownloadButton->hide();
        setBusy(false);
    });
    // On the platform's clock, the one every other time of the program comes from.
    const QDateTime deadline = platform.now().addMSecs(kDownloadLimitMs);
    const auto stop = [this, deadline] {
        QCoreApplication::processEvents();
        return downloadCancelled || exiting || platform.now() >= deadline;
    };
    // Cancelled or the window closed: nothing more to say.
    const auto abandoned = [this] {
        if (!downloadCancelled && !exiting) return false;
        label4->hide();
        return true;
    };

    const QByteArray machine = platform.machineId().toLatin1();
    QDateTime lastDownload;
    if (const auto info = dbConnection.userInfo(machine))
        lastDownload = info->pdwdate;
    else if (!dbConnection.lastError().isEmpty())
        return reportLibraryFailure(prompter, label4, Access::Read, dbConnection.lastError());

    ServerClient client(platform, dbConnection);
    client.setStop(stop);
    if (!reachServer(client)) return;
    showNotice(label4, QStringLiteral("与网站通讯成功！"));
    showNotice(label4, QStringLiteral("正在检查当前更新词汇 ……"));

    auto updateFailed = [this](const QString& note) {
        label4->hide();
        setStatusText(QStringLiteral("更新错误！"));
        prompter.notify(Prompter::Icon::Information, QStringLiteral("提示"),
                        QStringLiteral("更新错误！") + note);
    };
    // The server sends what was published on the asked day too, so asking
    // next time from the day of this request misses nothing.
    const QDate askedOn = platform.now().date();
    const ServerClient::UpdateAnswer answer = client.requestUpdates(machine, lastDownload);
    if (abandoned()) return;
    switch (answer.kind) {
        case ServerClient::UpdateKind::Refused:
            label4->hide();
            return;
        case ServerClient::UpdateKind::Nothing:
            label4->hide();
            setStatusText(QStringLiteral("没有可更新内容！"));
            prompter.notify(Prompter::Icon::Information, QStringLiteral("提示"),
                            QStringLiteral("没有更新内容！"));
            return;
        case ServerClient::UpdateKind::Malformed:
            updateFailed(QString());
            return;
        case ServerClient::UpdateKind::Records:
            break;
    }

    const UpdateMerger::Result merged = UpdateMerger::merge(dbConnection, answer.records, stop);
    if (abandoned()) return;
    if (merged.readFailed || merged.writeFailed)
        return reportLibraryFailure(prompter, label4,
                                    merged.readFailed ? Access::Read : Access::Write, merged.error);
    if (merged.malformed || merged.stopped) return updateFailed(refusedNote(merged.refused));

    // Only a download that took in every record moves the date on; the next
    // one asks again for whatever this one left out.
    if (merged.complete()) {
        std::optional<UserInfo> info = dbConnection.userInfo(machine);
        if (!info && !dbConnection.lastError().isEmpty())
            return reportLibraryFailure(prompter, label4, Access::Read, dbConnection.lastError());
        UserInfo record = info.value_or(UserInfo{});
        record.pmachine = machine;
        record.pdwdate = QDateTime(askedOn, QTime(0, 0));
        if (!(info ? dbConnection.writeUserInfo(record) : dbConnection.createUserInfo(record)))
            return reportLibraryFailure(prompter, label4, Access::Write, dbConnection.lastError());
    }
    label4->hide();
    setStatusText(QStringLiteral("共更新有效词汇：%1组！").arg(merged.changed));
    prompter.notify(Prompter::Icon::Information, QStringLiteral("提示"),
                    QStringLiteral("更新完毕！\r\n共更新词汇：%1组！").arg(merged.changed) +
                        refusedNote(merged.refused));
}

void MainWindow::toggleAutoUpdate() {
    // The click has already flipped the tick; it shows the new state only once
    // the record holds it.
    const bool on = menuAutoUpdate->isChecked();
    menuAutoUpdate->setChecked(!on);
    if (!requireWritableLibrary()) return;
    const QByteArray machine = platform.machineId().toLatin1();
    std::optional<UserInfo> info = dbConnection.userInfo(machine);
    if (!info && !dbConnection.lastError().isEmpty())
        return reportLibraryFailure(prompter, label4, Access::Read, dbConnection.lastError());
    bool stored = false;
    if (info) {
        info->pzdgx = on;
        stored = dbConnection.writeUserInfo(*info);
    } else {
        UserInfo created;
        created.pmachine = machine;
        created.pzdgx = on;
        stored = dbConnection.createUserInfo(created);
    }
    if (!stored) {
        menuAutoUpdate->setChecked(!on);
        return reportLibraryFailure(prompter, label4, Access::Write, dbConnection.lastError());
    }
    menuAutoUpdate->setChecked(on);
}
