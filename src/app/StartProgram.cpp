#include "app/StartProgram.h"

#include <QApplication>
#include <QFont>
#include <QTranslator>

#include "app/MainWindow.h"
#include "app/ProgramState.h"
#include "app/QtPrompter.h"
#include "app/SystemPlatform.h"
#include "app/Translations.h"
#include "library/LibraryLocation.h"
#include "library/StarterLibrary.h"
#include "library/WordDatabase.h"

int startProgram(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tavrel"));
    QApplication::setOrganizationName(QStringLiteral("Tavrel"));
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
    window.show();
    return QApplication::exec();
}
