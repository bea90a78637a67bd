#include "gui/userinfo/UserInfoWindow.h"

#include <QBrush>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>

#include "library/WordDatabase.h"
#include "library/WritableLibrary.h"
#include "online/ServerClient.h"
#include "platform/Platform.h"
#include "platform/Prompter.h"
#include "text/GbkCodec.h"

namespace {

using Form = UserInfoForm;

const QColor kLabelColour(0, 0, 0x80);
// The classic size of a Chinese interface font.
constexpr int kFontPixelSize = 12;
constexpr int kLabelColumnWidth = 150;
// Six rows in the grid's design height.
constexpr int kRowHeight = 25;

const char* const kLabels[Form::RowCount] = {"用户名",   "电子邮箱",     "邮箱服务器（SMTP）",
                                             "邮箱用户", "邮箱登录口令", "服务器地址"};

template <typename T>
T* named(T* object, const char* name) {
    object->setObjectName(QLatin1String(name));
    return object;
}

// Shows the password as bullets and edits it in a masked line; its label
// stays readable.
class MaskedCellDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.column() == 1) option->text = QString(option->text.size(), QChar(0x25CF));
    }

  public:
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor)) line->setEchoMode(QLineEdit::Password);
        return editor;
    }
};

}  // namespace

UserInfoWindow::UserInfoWindow(WordDatabase& database, Prompter& prompter, Platform& platform,
                               QWidget* parent)
    : QDialog(parent), database(database), prompter(prompter), platform(platform) {
    setObjectName(QStringLiteral("UserInfoWindow"));
    setWindowTitle(QStringLiteral("用户信息"));
    setFixedSize(467, 349);
    move(50, 50);
    buildControls();
    onUserInfoWindowCreated();
}

UserInfoWindow::~UserInfoWindow() = default;

void UserInfoWindow::buildControls() {
    label1 = named(new QLabel(this), "label1");
    label1->setGeometry(0, 0, 464, 320);

    userInfoGroup = named(new QGroupBox(this), "userInfoGroup");
    userInfoGroup->setGeometry(34, 32, 392, 248);

    userInfoGrid = named(new QTableWidget(Form::RowCount, 2, userInfoGroup), "userInfoGrid");
    userInfoGrid->setGeometry(38, 28, 320, 152);
    userInfoGrid->horizontalHeader()->hide();
    userInfoGrid->verticalHeader()->hide();
    userInfoGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    userInfoGrid->verticalHeader()->setDefaultSectionSize(kRowHeight);
    userInfoGrid->setColumnWidth(0, kLabelColumnWidth);
    userInfoGrid->horizontalHeader()->setStretchLastSection(true);
    userInfoGrid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    userInfoGrid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    userInfoGrid->setWordWrap(false);
    userInfoGrid->setItemDelegateForRow(Form::Password, new MaskedCellDelegate(userInfoGrid));
    // The handler runs after the editor has closed: a notice shown while the
    // editor still had focus would make it commit a second time.
    connect(userInfoGrid, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (writingCells || item->column() != 1) return;
        const int row = item->row();
        QMetaObject::invokeMethod(
            this, [this, row] { onUserInfoCellEdited(row); }, Qt::QueuedConnection);
    });

    mailCheckButton =
        named(new QPushButton(QStringLiteral("检测邮箱"), userInfoGroup), "mailCheckButton");
    mailCheckButton->setGeometry(96, 200, 88, 32);
    connect(mailCheckButton, &QPushButton::clicked, this, &UserInfoWindow::checkMailServer);
    okButton = named(new QPushButton(QStringLiteral("确  定"), userInfoGroup), "okButton");
    okButton->setGeometry(212, 200, 88, 32);
    connect(okButton, &QPushButton::clicked, this, &UserInfoWindow::saveUserInfo);
    // Enter belongs to the cell being edited, never to a button.
    for (QPushButton* button : {mailCheckButton, okButton}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    userInfoStatusLabel = named(new QLabel(userInfoGroup), "userInfoStatusLabel");
    userInfoStatusLabel->setGeometry(96, 88, 200, 24);
    userInfoStatusLabel->setAlignment(Qt::AlignCenter);
    userInfoStatusLabel->setAutoFillBackground(true);
    userInfoStatusLabel->hide();
}

void UserInfoWindow::onUserInfoWindowCreated() {
    QFont font = userInfoGrid->font();
    font.setPixelSize(kFontPixelSize);
    userInfoGrid->setFont(font);

    const Form::Values stored =
        Form::load(database, platform.machineId().toLatin1(), platform.serverBaseUrl());
    if (!database.lastError().isEmpty())
        prompter.notify(Prompter::Icon::Error, QStringLiteral("提示："),
                        QStringLiteral("词库读取失败：") + database.lastError());

    writingCells = true;
    for (int row = 0; row < Form::RowCount; ++row) {
        auto* label = new QTableWidgetItem(QString::fromUtf8(kLabels[row]));
        label->setFlags(Qt::ItemIsEnabled);
        label->setForeground(QBrush(kLabelColour));
        userInfoGrid->setItem(row, 0, label);
        userInfoGrid->setItem(row, 1, new QTableWidgetItem(fromGbk(stored[row])));
    }
    writingCells = false;
    userInfoGrid->setCurrentCell(Form::UserName, 1);
}

QString UserInfoWindow::cellText(int row) const {
    const QTableWidgetItem* item = userInfoGrid->item(row, 1);
    return item ? item->text() : QString();
}

void UserInfoWindow::writeCell(int row, const QString& text) {
    writingCells = true;
    userInfoGrid->item(row, 1)->setText(text);
    writingCells = false;
}

void UserInfoWindow::onUserInfoCellEdited(int row) {
    if (row < 0 || row >= Form::RowCount) return;
    QString text = cellText(row);
    // Only spaces are blanks here; trimming works on characters so that a
    // character GBK cannot hold stays in the cell until saving names it.
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == QLatin1Char(' ')) ++begin;
    while (end > begin && text[end - 1] == QLatin1Char(' ')) --end;
    text = text.mid(begin, end - begin);
    // An emptied address goes back to the build's.
    if (row == Form::ServerAddress && text.isEmpty())
        text = QString::fromLatin1(platform.serverBaseUrl());
    writeCell(row, text);
    if (row != Form::Email || text.isEmpty()) return;

    const std::optional<Form::MailSettings> mail = Form::mailSettingsFor(gbk(text));
    if (!mail) {
        prompter.notify(Prompter::Icon::Information, QStringLiteral("提示："),
                        QStringLiteral("邮箱格式错误！"));
        return;
    }
    writeCell(Form::SmtpServer, fromGbk(mail->server));
    writeCell(Form::MailUser, fromGbk(mail->user));
}

std::optional<UserInfoForm::Values> UserInfoWindow::gridValues() {
    Form::Values values;
    QString unencodable;
    for (int row = 0; row < Form::RowCount; ++row) {
        QString missing;
        values[row] = GbkCodec::encode(cellText(row), &missing);
        for (QChar ch : missing)
            if (!unencodable.contains(ch)) unencodable += ch;
    }
    if (unencodable.isEmpty()) return values;
    prompter.notify(Prompter::Icon::Information, QStringLiteral("提示："),
                    QStringLiteral("含有不能以GBK保存的字符：") + unencodable);
    return std::nullopt;
}

void UserInfoWindow::showStatus(const QString& caption) {
    userInfoStatusLabel->setText(caption);
    userInfoStatusLabel->show();
    userInfoStatusLabel->raise();
    userInfoStatusLabel->repaint();
}

void UserInfoWindow::saveUserInfo() {
    const QString title = QStringLiteral("提示：");
    if (!requireWritable(database, prompter)) return;
    const std::optional<Form::Values> values = gridValues();
    if (!values) return;
    switch (Form::missingValue(*values)) {
        case Form::Missing::UserName:
            prompter.notify(Prompter::Icon::Information, title, QStringLiteral("请填写用户名！"));
            return;
        case Form::Missing::Email:
            prompter.notify(Prompter::Icon::Information, title,
                            QStringLiteral("请填写用户电子邮箱！"));
            return;
        case Form::Missing::ServerAddress:
            prompter.notify(Prompter::Icon::Information, title,
                            QStringLiteral("服务器地址须以 http:// 或 https:// 开头！"));
            return;
        case Form::Missing::Nothing:
            break;
    }

    showStatus(QStringLiteral("正在报讯用户信息 ……"));
    const QByteArray machine = platform.machineId().toLatin1();
    if (!Form::save(database, machine, *values, platform.serverBaseUrl())) {
        // Telling the user it was saved would be a lie.
        userInfoStatusLabel->hide();
        prompter.notify(Prompter::Icon::Error, title,
                        QStringLiteral("用户信息保存失败：") + database.lastError());
        return;
    }

    showStatus(QStringLiteral("检查互联网连接 ……"));
    ServerClient client(platform, database);
    if (client.isOnline()) {
        showStatus(QStringLiteral("已连接到互联网 ……"));
        const bool accepted =
            client.submitUserInfo((*values)[Form::UserName], machine, (*values)[Form::Email]);
        userInfoStatusLabel->hide();
        prompter.notify(Prompter::Icon::Information, title,
                        accepted ? QStringLiteral("用户信息已保存并提交！")
                                 : QStringLiteral("用户信息已保存！"));
        return;
    }
    showStatus(QStringLiteral("互联网连接失败！不能提交用户信息"));
    userInfoStatusLabel->hide();
    prompter.notify(Prompter::Icon::Information, title, QStringLiteral("用户信息已保存！"));
}

void UserInfoWindow::checkMailServer() {
    for (int row : {Form::Email, Form::SmtpServer, Form::MailUser, Form::Password})
        if (cellText(row).isEmpty()) return;
    const std::optional<Form::Values> values = gridValues();
    if (!values) return;
    const std::optional<SmtpAccount> account = Form::mailAccount(*values);
    if (!account) return;

    showStatus(QStringLiteral("检测发信服务器 ……"));
    const Platform::SmtpResult result = platform.smtpLogin(
        account->server, account->port, account->user, account->password, account->timeoutMs);
    userInfoStatusLabel->hide();
    QString notice =
        result.loggedIn
            ? QStringLiteral("发信服务器连接成功！\r\n邮箱地址用户名和登录口令核对无误！")
            : QStringLiteral("发信服务器连接失败！\r\n请检查核实邮箱地址用户名和登录口令！");
    // Said even on success: the user should know the password crossed the network readable.
    if (result.loggedIn && !result.encrypted)
        notice += QStringLiteral("\r\n注意：该服务器不支持加密，密码以明文发送。");
    prompter.notify(Prompter::Icon::Information, QStringLiteral("提示："), notice);
}
