// Shows the usage document that ships beside the program in a window of its
// own, so that help opens on every installation, with or without a desktop's
// HTML viewer.
#include <QApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTextBrowser>
#include <QTranslator>
#include <QUrl>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTranslator chinese;
    if (chinese.load(QStringLiteral("qtbase_zh_CN"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&chinese);
    // Beside the program in a build; in an installation, where the usage
    // document of share/doc is from libexec/tavrel.
    const QString here = QCoreApplication::applicationDirPath();
    QString document = here + QStringLiteral("/usage.html");
    if (!QFileInfo::exists(document))
        document = QFileInfo(here + QStringLiteral("/../../share/doc/tavrel/usage.html"))
                       .absoluteFilePath();
    if (!QFileInfo::exists(document)) {
        QMessageBox::warning(nullptr, QStringLiteral("使用说明"),
                             QStringLiteral("找不到使用说明：") + document);
        return 1;
    }
    QTextBrowser browser;
    browser.setObjectName(QStringLiteral("usageBrowser"));
    browser.setWindowTitle(QStringLiteral("Tavrel 使用说明"));
    browser.setOpenExternalLinks(true);
    browser.setSource(QUrl::fromLocalFile(document));
    browser.resize(760, 600);
    browser.show();
    return QApplication::exec();
}
