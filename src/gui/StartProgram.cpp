#include "gui/StartProgram.h"

#include <QApplication>
#include <QFile>
#include <QFont>
#include <QTranslator>

#include <cstdio>
#include <optional>

#include "gui/MainWindow.h"
#include "gui/ProgramState.h"
#include "gui/QtPrompter.h"
#include "library/LibraryLocation.h"
#include "library/StarterLibrary.h"
#include "library/WordDatabase.h"
#include "platform/SystemPlatform.h"
#include "platform/ToolMain.h"
#include "platform/Translations.h"
#include "text/FileName.h"

namespace {

constexpr char kUsage[] =
    "用法：tavrel [Qt的选项，如 -platform NAME] [文档…|目录]\n"
    "      tavrel --help|--version\n"
    "打开校对中文文档的窗口：列出目录中的文档（*.fbd、*.txt、*.htm、*.html），\n"
    "按词库校对、修改；首次在当前目录启动，此后在上次结束时所在的目录。\n"
    "给出文档时列出这些文档，给出目录时列出该目录中的文档。\n"
    "词库为程序所在目录的 jdck.mdb；安装后的程序，或该目录不可写且没有词库时，\n"
    "为 ~/.local/share/Tavrel/Tavrel/jdck.mdb。没有词库时以初始词库创建。\n"
    "  -h, --help  显示本说明\n"
    "  --version   显示版本\n"
    "没有显示器时用 xvfb-run -a tavrel 启动；QT_QPA_PLATFORM 选择Qt的显示平台\n"
    "（如 xcb、wayland，或不显示窗口的 offscreen）。\n";

// Answered before QApplication exists, so that it works without a display.
std::optional<int> answerOption(int argc, char** argv) {
    QFile out;
    out.open(stdout, QIODevice::WriteOnly);
    for (int i = 1; i < argc; ++i)
        if (const auto status =
                answerCommonOption(QString::fromLocal8Bit(argv[i]), "tavrel", kUsage, out))
            return status;
    return std::nullopt;
}

}  // namespace

int startProgram(int argc, char** argv) {
    if (const std::optional<int> status = answerOption(argc, argv)) return *status;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tavrel"));
    QApplication::setOrganizationName(QStringLiteral("Tavrel"));
    // So that a Wayland desktop pairs the window with its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.tavrel.Tavrel"));
    // The design's face is SimSun; without it, the installed CJK face.
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"),
                      QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("Noto Sans CJK SC")});
    QApplication::setFont(font);
    QTranslator chinese;
    installChineseTranslations(chinese);

    // Released when this function returns, after the message loop has ended.
    ProgramState state;
    SystemPlatform platform;
    QtPrompter prompter;
    {
        // A new installation starts with the starter library; an existing or
        // unreadable file is left for the window to open and report.
        WordDatabase library;
        StarterLibrary::openOrCreate(
            library, libraryFilePath(platform.programDirectory(), platform.appDataDirectory()));
    }
    MainWindow window(state, platform, prompter);
    prompter.setParent(&window);
    // Documents handed over by the desktop ("Open with"); Qt has taken its own
    // options out of argv. Names are bytes, whatever their encoding.
    QStringList given;
    for (int i = 1; i < argc; ++i) given << pathFromBytes(QByteArray(argv[i]));
    window.listDocuments(given);
    window.show();
    return QApplication::exec();
}
