#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QBrush>
#include <QCryptographicHash>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QTranslator>

#include <memory>

#include "gui/QtPrompter.h"
#include "platform/Translations.h"
#include "support/WindowFixture.h"

namespace {

class MainWindowTest : public WindowFixture {
  protected:
    QByteArray libraryBytes() { return readBytes(libraryPath()); }
};

TEST_F(MainWindowTest, FirstStartCreatesTheUserRecordAndTheSecondTicksAutoUpdate) {
    start();
    EXPECT_TRUE(window->libraryAvailable());
    EXPECT_FALSE(find("menuAutoUpdate")->isChecked());
    EXPECT_EQ(state.programDirectory, platform.programDir);
    {
        WordDatabase db;
        ASSERT_EQ(db.open(libraryPath()), WordDatabase::OpenResult::Opened);
        const auto info = db.userInfo("-12345");
        ASSERT_TRUE(info.has_value());
        EXPECT_TRUE(info->pzdgx);
    }
    window.reset();

    start();
    EXPECT_TRUE(find("menuAutoUpdate")->isChecked());
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(MainWindowTest, OtherComputersRecordsAreLeftAlone) {
    {
        WordDatabase db;
        ASSERT_EQ(db.open(libraryPath()), WordDatabase::OpenResult::Created);
        UserInfo other;
        other.pmachine = "99";
        other.puser = "someone";
        other.pzdgx = true;
        ASSERT_TRUE(db.createUserInfo(other));
    }
    start();
    EXPECT_FALSE(find("menuAutoUpdate")->isChecked()) << "another computer's switch is not ours";
    window.reset();
    WordDatabase db;
    ASSERT_EQ(db.open(libraryPath()), WordDatabase::OpenResult::Opened);
    EXPECT_EQ(db.userInfo("99")->puser, "someone");
    EXPECT_TRUE(db.userInfo("99")->pzdgx);
    EXPECT_TRUE(db.userInfo("-12345")->pzdgx);
}

TEST_F(MainWindowTest, DamagedLibraryIsReportedOnceAndNeverTouched) {
    QFile f(libraryPath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, '\x17'));
    f.close();
    const QByteArray before = libraryBytes();

    prompter.expectMessage();
    start();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].icon, Prompter::Icon::Error);
    EXPECT_EQ(prompter.messages[0].title, QStringLiteral("提示："));
    EXPECT_EQ(prompter.messages[0].text, QStringLiteral("词库文件无法打开：") + libraryPath());
    EXPECT_FALSE(window->libraryAvailable());
    EXPECT_FALSE(find("menuAutoUpdate")->isChecked());

    // Every command that needs the library says so and does nothing else.
    for (const char* command : {"menuProofread", "menuAddWord", "menuSubmitWords",
                                "menuUpdateWords", "menuAutoUpdate", "menuUserInfo"}) {
        prompter.messages.clear();
        prompter.expectMessage();
        find(command)->trigger();
        ASSERT_EQ(prompter.messages.size(), 1u) << command;
        EXPECT_EQ(prompter.messages[0].icon, Prompter::Icon::Information);
        EXPECT_EQ(prompter.messages[0].title, QStringLiteral("提示："));
        EXPECT_EQ(prompter.messages[0].text, QStringLiteral("词库不可用！"));
    }
    EXPECT_FALSE(find("menuAutoUpdate")->isChecked());
    window.reset();
    EXPECT_EQ(libraryBytes(), before);
}

TEST_F(MainWindowTest, UnwritableProgramDirectoryKeepsTheLibraryPerUser) {
    platform.programDir = dir.filePath(QStringLiteral("not-there")) + QStringLiteral("/");
    start();
    EXPECT_TRUE(window->libraryAvailable());
    EXPECT_EQ(window->database().path(), platform.appDataDir + QStringLiteral("/jdck.mdb"));
}

TEST_F(MainWindowTest, MenuTreeAndToolbarCarryTheirCaptions) {
    start();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Tavrel"));
    QStringList titles;
    for (QAction* menu : window->menuBar()->actions()) titles << menu->text();
    EXPECT_EQ(titles,
              QStringList({" &F.文件 ", " &R.运行 ", " &B.词库 ", " &S.设置 ", " &H.帮助 "}));
    const struct {
        const char* name;
        const char* caption;
    } items[] = {{"menuOpen", "打开"},
                 {"menuSave", "保存"},
                 {"menuSaveAs", "另存为"},
                 {"menuClose", "关闭"},
                 {"menuProofread", "校对"},
                 {"menuCorrect", "修改"},
                 {"menuAddWord", "增加词汇"},
                 {"menuSubmitWords", "提交词汇表"},
                 {"menuUpdateWords", "更新词汇表"},
                 {"menuQuick", "快速校对"},
                 {"menuFine", "精细校对"},
                 {"menuProfessional", "专业校对"},
                 {"menuAutoUpdate", "自动更新"},
                 {"menuUserInfo", "用户信息"},
                 {"menuAbout", "关于"},
                 {"menuUsage", "使用说明"},
                 {"menuExit", "退出"}};
    for (const auto& item : items) {
        QAction* action = find(item.name);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->text(), QString::fromUtf8(item.caption)) << item.name;
        EXPECT_TRUE(action->isEnabled()) << item.name;
    }
    QMenu* mode = find<QMenu>("menuMode");
    EXPECT_EQ(mode->title(), QStringLiteral("校对方式"));
    EXPECT_EQ(mode->actions().size(), 3);

    const QList<QAction*> tools = find<QToolBar>("toolbar")->actions();
    ASSERT_EQ(tools.size(), 15);
    const char* texts[] = {"打开文件",   "另存为",     "校对", "添加词汇",
                           "上传词汇表", "下载词汇表", "帮助"};
    for (int i = 0; i < 15; ++i) {
        EXPECT_EQ(tools[i]->isSeparator(), i % 2 == 0) << i;
        if (i % 2) {
            EXPECT_EQ(tools[i]->text(), QString::fromUtf8(texts[i / 2])) << i;
            EXPECT_FALSE(tools[i]->icon().isNull()) << i;
        }
    }
}

TEST_F(MainWindowTest, ToolbarRunsTheMenuCommandsAndIndexThreeSaves) {
    start();
    const char* commands[] = {"menuOpen",        "menuSave",        "menuProofread", "menuAddWord",
                              "menuSubmitWords", "menuUpdateWords", "menuUsage"};
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (const char* name : commands)
        spies.push_back(std::make_unique<QSignalSpy>(find(name), &QAction::triggered));
    QSignalSpy saveAs(find("menuSaveAs"), &QAction::triggered);

    // Keep every command quiet: the library is there, no document is loaded,
    // and the usage program "starts" on the fake platform.
    const QList<QAction*> tools = find<QToolBar>("toolbar")->actions();
    for (int index : {0, 2, 14, 15, -1}) window->onToolbarButton(index);
    for (const auto& spy : spies) EXPECT_EQ(spy->count(), 0);

    tools[3]->trigger();
    EXPECT_EQ(spies[1]->count(), 1);
    EXPECT_EQ(saveAs.count(), 0);
    prompter
        .expectMessage();  // 提交词汇表 finds nothing to submit; offline, 更新词汇表 says nothing
    for (int index = 1; index <= 13; index += 2) {
        if (index == 1 || index == 7) continue;  // dialogs of later commands
        window->onToolbarButton(index);
        EXPECT_GE(spies[index / 2]->count(), 1) << index;
    }
    EXPECT_EQ(saveAs.count(), 0);
}

TEST(Translations, QtsOwnButtonsSpeakChinese) {
    QTranslator chinese;
    ASSERT_TRUE(installChineseTranslations(chinese)) << "qt6-translations-l10n is missing";
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                             QDialogButtonBox::Yes | QDialogButtonBox::No);
    struct Case {
        QDialogButtonBox::StandardButton button;
        const char* text;
    };
    for (const Case& c :
         {Case{QDialogButtonBox::Ok, "确定"}, Case{QDialogButtonBox::Cancel, "取消"},
          Case{QDialogButtonBox::Yes, "是"}, Case{QDialogButtonBox::No, "否"}})
        EXPECT_EQ(buttons.button(c.button)
                      ->text()
                      .remove(QLatin1Char('&'))
                      .section(QLatin1Char('('), 0, 0),
                  QString::fromUtf8(c.text));
    QCoreApplication::removeTranslator(&chinese);
}

TEST_F(MainWindowTest, ResultGridHeaderAndInitialControls) {
    start();
    auto* grid = find<QTableView>("resultGrid")->model();
    ASSERT_EQ(grid->columnCount(), 7);
    EXPECT_EQ(grid->rowCount(), 0);
    const char* headers[] = {"序号", "文件名", "位置", "误", "正", "修改", "上下文"};
    for (int c = 0; c < 7; ++c) {
        EXPECT_EQ(grid->headerData(c, Qt::Horizontal).toString(), QString::fromUtf8(headers[c]));
        EXPECT_EQ(grid->headerData(c, Qt::Horizontal, Qt::ForegroundRole).value<QBrush>().color(),
                  QColor(0x58, 0x30, 0xE0));
    }
    EXPECT_EQ(find<QLabel>("fileListLabel")->text(), QStringLiteral("文件列表"));
    EXPECT_EQ(find<QLabel>("modeLabel")->text(), QStringLiteral("校对方式："));
    EXPECT_EQ(find<QLabel>("busyLabel")->text(), QStringLiteral("校对中……"));
    for (const char* hidden : {"busyLabel", "progressBar", "label4"})
        EXPECT_TRUE(find<QWidget>(hidden)->isHidden()) << hidden;
    for (const char* shown : {"label1", "filePanel", "driveBox", "directoryBox", "fileCheckList",
                              "drawPad", "documentEdit", "resultGrid", "toolbar"})
        EXPECT_FALSE(find<QWidget>(shown)->isHidden()) << shown;
}

TEST_F(MainWindowTest, ResizingAppliesTheLayoutRules) {
    start();
    window->show();
    window->resize(1024, 768);
    QApplication::processEvents();
    const QSize outer = window->frameGeometry().size();
    const MainWindowLayout expected = layoutForSize(outer.width(), outer.height());
    EXPECT_EQ(find<QWidget>("documentEdit")->geometry(), expected.documentEdit);
    EXPECT_EQ(find<QWidget>("resultGrid")->geometry(), expected.resultGrid);
    EXPECT_EQ(find<QWidget>("fileCheckList")->geometry(), expected.fileCheckList);
    auto* grid = find<QTableView>("resultGrid");
    EXPECT_EQ(grid->columnWidth(1), expected.resultGridColumn1Width);
    EXPECT_EQ(grid->columnWidth(4), expected.resultGridDefaultColumnWidth);

    // Never smaller than the design, where nothing overlaps.
    window->resize(500, 300);
    QApplication::processEvents();
    EXPECT_EQ(window->size(), QSize(778, 519));
}

// The next start opens where the last run left off: its directory listed,
// the window's place, the dragged column widths, the word library's size.
TEST_F(MainWindowTest, TheNextStartOpensWhereTheLastRunLeftOff) {
    const QString startDirectory = QDir::currentPath();
    writeDocument(QStringLiteral("a.txt"), "x");
    QDir().mkpath(documents() + QStringLiteral("/sub"));
    QFile(documents() + QStringLiteral("/sub/c.fbd")).open(QIODevice::WriteOnly);
    QDir::setCurrent(documents());
    auto directory = [this] { return find<DirectoryBox>("directoryBox")->directory(); };
    auto libraryWindowSize = [this](QSize resizeTo) {
        QSize shown;
        QTimer::singleShot(0, [&] {
            auto* dialog = QApplication::activeModalWidget();
            shown = dialog->size();
            if (resizeTo.isValid()) dialog->resize(resizeTo);
            static_cast<QDialog*>(dialog)->reject();
        });
        find("menuAddWord")->trigger();
        return shown;
    };

    start();  // the first start lists the start directory
    EXPECT_EQ(directory(), documents());
    EXPECT_EQ(listedFiles(), QStringList({"a.txt"}));
    window->show();
    changeDirectory(documents() + QStringLiteral("/sub"));
    window->resize(1000, 700);
    QApplication::processEvents();
    auto* grid = find<QTableView>("resultGrid");
    grid->horizontalHeader()->resizeSection(3, 97);
    const int layoutWidth4 = grid->columnWidth(4);
    libraryWindowSize(QSize(900, 600));
    find("menuExit")->trigger();
    window.reset();

    start();
    window->show();
    QApplication::processEvents();
    EXPECT_EQ(directory(), documents() + QStringLiteral("/sub"));
    EXPECT_EQ(listedFiles(), QStringList({"c.fbd"}));
    EXPECT_EQ(window->size(), QSize(1000, 700));
    grid = find<QTableView>("resultGrid");
    EXPECT_EQ(grid->columnWidth(3), 97);
    EXPECT_EQ(grid->columnWidth(4), layoutWidth4);
    EXPECT_EQ(libraryWindowSize(QSize()), QSize(900, 600));
    find("menuExit")->trigger();
    window.reset();

    // A directory gone since: the start directory again.
    QDir(documents() + QStringLiteral("/sub")).removeRecursively();
    start();
    EXPECT_EQ(directory(), documents());
    EXPECT_TRUE(prompter.messages.empty());
    QDir::setCurrent(startDirectory);
}

TEST_F(MainWindowTest, ModesMoveMenuChecksAndRadiosTogether) {
    start();
    auto* quick = find<QRadioButton>("quickModeRadio");
    auto* fine = find<QRadioButton>("fineModeRadio");
    auto* professional = find<QRadioButton>("professionalModeRadio");
    auto modes = [&] {
        return std::vector<bool>{quick->isChecked(),
                                 fine->isChecked(),
                                 professional->isChecked(),
                                 find("menuQuick")->isChecked(),
                                 find("menuFine")->isChecked(),
                                 find("menuProfessional")->isChecked()};
    };
    EXPECT_EQ(modes(), (std::vector<bool>{true, false, false, true, false, false}));
    EXPECT_EQ(window->currentMode(), ProofreadMode::Quick);
    EXPECT_FALSE(professional->isEnabled());

    find("menuProfessional")->trigger();
    EXPECT_EQ(modes(), (std::vector<bool>{false, false, true, false, false, true}));
    EXPECT_EQ(window->currentMode(), ProofreadMode::Professional);

    fine->click();
    EXPECT_EQ(modes(), (std::vector<bool>{false, true, false, false, true, false}));
    EXPECT_EQ(window->currentMode(), ProofreadMode::Fine);

    fine->click();  // the mode already set stays set
    EXPECT_EQ(modes(), (std::vector<bool>{false, true, false, false, true, false}));
    find("menuFine")->trigger();
    EXPECT_EQ(modes(), (std::vector<bool>{false, true, false, false, true, false}));

    quick->click();
    EXPECT_EQ(modes(), (std::vector<bool>{true, false, false, true, false, false}));
    find("menuQuick")->trigger();
    EXPECT_EQ(modes(), (std::vector<bool>{true, false, false, true, false, false}));
}

TEST_F(MainWindowTest, UsageStartsTheProgramBesideUsFirstAndSaysWhenNoneStarts) {
    start();
    find("menuUsage")->trigger();
    EXPECT_EQ(platform.started, QStringList({"readme.exe"}));

    // Installed: bin/tavrel starts libexec/tavrel/readme.exe.
    auto makeProgram = [](const QString& path) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile program(path);
        ASSERT_TRUE(program.open(QIODevice::WriteOnly));
        program.write("#!/bin/sh\n");
        program.close();
        program.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    };
    QTemporaryDir prefix;
    state.programDirectory = prefix.filePath(QStringLiteral("bin/"));
    QDir().mkpath(state.programDirectory);
    const QString installed = prefix.filePath(QStringLiteral("libexec/tavrel/readme.exe"));
    makeProgram(installed);
    platform.started.clear();
    find("menuUsage")->trigger();
    EXPECT_EQ(platform.started, QStringList({QFileInfo(installed).canonicalFilePath()}));

    // Beside the program comes first.
    state.programDirectory = platform.programDir;
    const QString beside = platform.programDir + QStringLiteral("readme.exe");
    makeProgram(beside);
    platform.started.clear();
    window->onToolbarButton(13);
    EXPECT_EQ(platform.started, QStringList({QFileInfo(beside).canonicalFilePath()}));

    platform.started.clear();
    platform.startSucceeds = false;  // nothing can start: said, not silent
    prompter.expectMessage();
    find("menuUsage")->trigger();
    EXPECT_EQ(platform.started, QStringList({QFileInfo(beside).canonicalFilePath(), "readme.exe"}));
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, QStringLiteral("无法打开使用说明：找不到 readme.exe"));
}

TEST(QtPrompterTest, ABoxStandsOverTheWindowInFront) {
    QWidget main;
    QtPrompter prompter(&main);
    QDialog front;
    front.setModal(true);
    front.show();
    QWidget* parent = nullptr;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        parent = box->parentWidget();
        box->accept();
    });
    prompter.notify(Prompter::Icon::Information, QStringLiteral("提示："), QStringLiteral("x"));
    EXPECT_EQ(parent, &front);
}

TEST(ReadmeProgram, ShowsTheUsageDocumentInAWindowOfItsOwn) {
    // Needing no viewer, it shows its window and waits: offscreen, it is still
    // running after a moment instead of ending with a complaint.
    QProcess readme;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("DISPLAY"));
    readme.setProcessEnvironment(env);
    readme.start(qEnvironmentVariable("TAVREL_BIN_DIR") + QStringLiteral("/readme.exe"), {});
    ASSERT_TRUE(readme.waitForStarted());
    EXPECT_FALSE(readme.waitForFinished(1500)) << readme.readAllStandardError().constData();
    readme.kill();
    readme.waitForFinished();
}

TEST_F(MainWindowTest, AboutWindowIsModalAndClosesWithItsButton) {
    start();
    QString title, name, version;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        title = modal->windowTitle();
        if (auto* label = modal->findChild<QLabel*>(QStringLiteral("transparentLabel1")))
            name = label->text();
        if (auto* label = modal->findChild<QLabel*>(QStringLiteral("versionLabel")))
            version = label->text();
        auto* close = modal->findChild<QPushButton*>(QStringLiteral("closeButton"));
        if (close)
            close->click();
        else
            static_cast<QDialog*>(modal)->reject();
    });
    find("menuAbout")->trigger();
    EXPECT_EQ(title, QStringLiteral("关于"));
    EXPECT_EQ(name, QStringLiteral("Tavrel"));
    EXPECT_EQ(version, QStringLiteral("版本 " TAVREL_VERSION));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(MainWindowTest, ExitAndTheCloseBoxEndTheRunWithoutAQuestion) {
    for (const bool closeBox : {false, true}) {
        start();
        window->show();
        state.documentDirty = true;
        QTimer::singleShot(0, [&] {
            if (closeBox)
                window->close();
            else
                find("menuExit")->trigger();
        });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        bool timedOut = false;
        QObject::connect(&watchdog, &QTimer::timeout, [&] {
            timedOut = true;
            QApplication::exit(1);
        });
        watchdog.start(10000);
        EXPECT_EQ(QApplication::exec(), 0) << (closeBox ? "close box" : "menu");
        EXPECT_FALSE(timedOut);
        EXPECT_FALSE(window->isVisible());
        EXPECT_FALSE(window->database().isOpen());
        EXPECT_TRUE(prompter.messages.empty());
        window.reset();
    }
}

TEST_F(MainWindowTest, UnsavedEditsAreAskedAboutBeforeTheProgramEnds) {
    const QString path = writeDocument(QStringLiteral("a.txt"), "old");
    for (const bool closeBox : {false, true}) {
        SCOPED_TRACE(closeBox ? "close box" : "menu");
        start();
        window->show();
        changeDirectory(documents());
        find<QListWidget>("fileCheckList")->setCurrentRow(0);
        find<QPlainTextEdit>("documentEdit")->setPlainText(QStringLiteral("new"));
        auto quit = [&] {
            if (closeBox)
                window->close();
            else
                find("menuExit")->trigger();
        };

        prompter.expectMessage(Prompter::Answer::Cancel);
        quit();
        ASSERT_TRUE(window->isVisible());
        EXPECT_TRUE(window->database().isOpen());
        EXPECT_EQ(prompter.messages.back().text, QStringLiteral("文档已修改，是否保存？"));

        prompter.expectMessage(Prompter::Answer::Save);
        prompter.expectMessage();
        QTimer::singleShot(0, quit);
        QTimer::singleShot(10000, [] { QApplication::exit(1); });
        EXPECT_EQ(QApplication::exec(), 0);
        EXPECT_FALSE(window->isVisible());
        EXPECT_FALSE(window->database().isOpen());
        EXPECT_EQ(readBytes(path), "new");
        EXPECT_TRUE(prompter.allAnswered());
        writeDocument(QStringLiteral("a.txt"), "old");
        window.reset();
    }
}

}  // namespace
