// The main window driven without a person, for the tests that kill it in the
// middle of its work:
//   window_helper correct PROGRAM_DIR DOCUMENTS_DIR
//     proofreads every document of DOCUMENTS_DIR and corrects every hit;
//   window_helper download PROGRAM_DIR ANSWER_FILE
//     downloads updates from a server whose answer is the file's content.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

#include "gui/MainWindow.h"
#include "gui/ProgramState.h"
#include "gui/documents/DirectoryBox.h"
#include "platform/Prompter.h"
#include "support/FakePlatform.h"

namespace {

// Says Yes to every question and OK to every notice.
class YesPrompter : public Prompter {
  public:
    Answer message(Icon, const QString&, const QString& text, Buttons buttons) override {
        std::fprintf(stderr, "%s\n", text.toUtf8().constData());
        if (buttons == Buttons::SaveDiscardCancel) return Answer::Save;
        return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
    QStringList openFiles(const FileDialog&) override { return {}; }
    QString saveFile(const FileDialog&) override { return {}; }
};

void trigger(MainWindow& window, const char* name) {
    if (auto* action = window.findChild<QAction*>(QLatin1String(name))) action->trigger();
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: window_helper correct|download PROGRAM_DIR PATH\n");
        return 2;
    }
    const QString command = QString::fromLocal8Bit(argv[1]);
    const QString path = QString::fromLocal8Bit(argv[3]);
    FakePlatform platform;
    platform.programDir = QString::fromLocal8Bit(argv[2]) + QLatin1Char('/');
    platform.appDataDir = platform.programDir + QStringLiteral("appdata");
    YesPrompter prompter;
    ProgramState state;
    MainWindow window(state, platform, prompter);

    if (command == QLatin1String("correct")) {
        // Into the directory as the user goes: from its parent, activating its entry.
        auto* box = window.findChild<DirectoryBox*>(QStringLiteral("directoryBox"));
        box->setDirectory(QFileInfo(path).absolutePath());
        for (int i = 0; i < box->count(); ++i)
            if (box->item(i)->text() == QFileInfo(path).fileName())
                emit box->itemActivated(box->item(i));
        trigger(window, "menuProofread");
        trigger(window, "menuCorrect");
    } else if (command == QLatin1String("download")) {
        QFile answerFile(path);
        if (!answerFile.open(QIODevice::ReadOnly)) return 2;
        const QByteArray answer = answerFile.readAll();
        platform.online = true;
        platform.httpHandler = [&](const QByteArray& url) {
            return url.contains("/index.asp") ? QByteArray("Halvorn") : answer;
        };
        trigger(window, "menuUpdateWords");
    } else {
        return 2;
    }
    return 0;
}
