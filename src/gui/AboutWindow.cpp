#include "gui/AboutWindow.h"

#include <QFont>
#include <QLabel>
#include <QPushButton>

AboutWindow::AboutWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutWindow"));
    setWindowTitle(QStringLiteral("关于"));
    setFixedSize(463, 354);

    auto* background = new QLabel(this);
    background->setObjectName(QStringLiteral("label1"));
    background->setGeometry(0, 0, 463, 354);
    background->setStyleSheet(QStringLiteral("background-color: #f4efe4;"));

    auto* name = new QLabel(QStringLiteral("Tavrel"), this);
    name->setObjectName(QStringLiteral("transparentLabel1"));
    QFont lisu;
    lisu.setFamilies(
        {QStringLiteral("LiSu"), QStringLiteral("隶书"), QStringLiteral("WenQuanYi Zen Hei")});
    lisu.setPointSize(40);
    name->setFont(lisu);
    name->setAttribute(Qt::WA_TranslucentBackground);
    name->setAlignment(Qt::AlignCenter);
    name->setGeometry(0, 90, 463, 90);

    auto* author = new QLabel(QStringLiteral("中文文档校对工具　·　Tavrel 开发组"), this);
    author->setObjectName(QStringLiteral("transparentLabel2"));
    author->setAttribute(Qt::WA_TranslucentBackground);
    author->setAlignment(Qt::AlignCenter);
    author->setGeometry(0, 220, 463, 30);

    auto* version = new QLabel(QStringLiteral("版本 ") + QStringLiteral(TAVREL_VERSION), this);
    version->setObjectName(QStringLiteral("versionLabel"));
    version->setAttribute(Qt::WA_TranslucentBackground);
    version->setAlignment(Qt::AlignCenter);
    version->setGeometry(0, 250, 463, 24);

    auto* close = new QPushButton(QStringLiteral("关闭"), this);
    close->setObjectName(QStringLiteral("closeButton"));
    close->setGeometry(463 / 2 - 40, 300, 80, 28);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}
