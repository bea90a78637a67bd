#include <QAction>
#include <QLabel>

#include "app/MainWindow.h"
#include "app/Platform.h"
#include "app/Prompter.h"
#include "online/ServerClient.h"
#include "online/UpdateMerger.h"

// The exchanges with the program's server. They block the window from start to
// end, so label4 is painted by hand after every change of caption.

namespace {

// The dates a user record starts with when an exchange creates it.
const QDateTime kFirstExchangeDate(QDate(2010, 10, 1), QTime(0, 0));
constexpr int kOfflinePauseMs = 2000;

void showNotice(QLabel* label, const QString& caption) {
    label->setText(caption);
    label->show();
    label->raise();
    label->repaint();
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
        showNotice(label4, QStringLiteral("与网站通讯失败！"));
        label4->hide();
        setStatusText(QStringLiteral("与网站通讯失败！"));
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
    } else {
        UserInfo created;
        created.pmachine = machine;
        created.pupdate = kFirstExchangeDate;
        created.pdwdate = kFirstExchangeDate;
        dbConnection.createUserInfo(created);
        lowerBound = kFirstExchangeDate;
    }

    showNotice(label4, QStringLiteral("正在检查当前更新词汇 ……"));
    const std::vector<WordEntry> entries = dbConnection.entriesLaterThan(lowerBound);
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

    ServerClient client(platform);
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
    if (!requireLibrary()) return;
    setStatusText(QStringLiteral("下载更新词汇 ……"));
    showNotice(label4, QStringLiteral("正在检查用户信息 ……"));

    const QByteArray machine = platform.machineId().toLatin1();
    QDateTime lastDownload;
    if (const auto info = dbConnection.userInfo(machine)) lastDownload = info->pdwdate;

    ServerClient client(platform);
    if (!reachServer(client)) return;
    showNotice(label4, QStringLiteral("与网站通讯成功！"));
    showNotice(label4, QStringLiteral("正在检查当前更新词汇 ……"));

    auto updateFailed = [this] {
        label4->hide();
        setStatusText(QStringLiteral("更新错误！"));
        prompter.notify(Prompter::Icon::Information, QStringLiteral("提示"),
                        QStringLiteral("更新错误！"));
    };
    const ServerClient::UpdateAnswer answer = client.requestUpdates(machine, lastDownload);
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
            updateFailed();
            return;
        case ServerClient::UpdateKind::Records:
            break;
    }

    const UpdateMerger::Result merged = UpdateMerger::merge(dbConnection, answer.records);
    if (merged.malformed) {
        updateFailed();
        return;
    }
    label4->hide();
    setStatusText(QStringLiteral("共更新有效词汇：%1组！").arg(merged.changed));
    prompter.notify(Prompter::Icon::Information, QStringLiteral("提示"),
                    QStringLiteral("更新完毕！\r\n共更新词汇：%1组！").arg(merged.changed));
}

void MainWindow::toggleAutoUpdate() {
    if (!requireLibrary()) {
        // The menu ticked itself on the click; nothing was stored, so take it back.
        menuAutoUpdate->setChecked(!menuAutoUpdate->isChecked());
        return;
    }
    // The click has already flipped the tick; the record follows it.
    const QByteArray machine = platform.machineId().toLatin1();
    const bool on = menuAutoUpdate->isChecked();
    if (auto info = dbConnection.userInfo(machine)) {
        info->pzdgx = on;
        dbConnection.writeUserInfo(*info);
    } else {
        UserInfo created;
        created.pmachine = machine;
        created.pzdgx = on;
        dbConnection.createUserInfo(created);
    }
}
