#include "platform/ToolMain.h"

#include <QCoreApplication>
#include <QFile>
#include <QIODevice>

#include <cstdio>

#include "text/FileName.h"

int runToolMain(int argc, char** argv, ToolCommand command) {
    QCoreApplication app(argc, argv);
    // The window's names, so that both find the same per-user library.
    QCoreApplication::setApplicationName(QStringLiteral("Tavrel"));
    QCoreApplication::setOrganizationName(QStringLiteral("Tavrel"));
    QFile out, err;
    out.open(stdout, QIODevice::WriteOnly);
    err.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
    // From the bytes: QCoreApplication::arguments() would spoil a file name
    // that is not UTF-8.
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << pathFromBytes(QByteArray(argv[i]));
    return command(arguments, out, err);
}

std::optional<int> answerCommonOption(const QString& argument, const char* tool, const char* usage,
                                      QIODevice& out) {
    if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
        out.write(usage);
        return 0;
    }
    if (argument == QLatin1String("--version")) {
        out.write(QByteArray(tool) + " " TAVREL_VERSION "\n");
        return 0;
    }
    return std::nullopt;
}
