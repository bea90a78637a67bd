// Opens the usage document that ships beside the program with the desktop's viewer.
#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString document = QCoreApplication::applicationDirPath() + QStringLiteral("/usage.html");
    if (!QFileInfo::exists(document)) {
        std::fprintf(stderr, "readme.exe: %s is missing\n", qPrintable(document));
        return 1;
    }
    const QString viewer = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (viewer.isEmpty() || !QProcess::startDetached(viewer, {document})) {
        std::fprintf(stderr, "readme.exe: no viewer for %s\n", qPrintable(document));
        return 1;
    }
    return 0;
}
