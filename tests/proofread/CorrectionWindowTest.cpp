#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTableView>
#include <QTextCursor>
#include <QTimer>

#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>

#include "gui/proofread/HitTableModel.h"
#include "proofread/CheckCommand.h"
#include "proofread/CorrectionJournal.h"
#include "support/BytePath.h"
#include "support/FileSizeLimit.h"
#include "support/WindowFixture.h"

namespace {

const QString kAsk = QStringLiteral("系统将自动修改选中的文件内容错误并保存，确定修改吗？");

class CorrectionWindowTest : public WindowFixture {
  protected:
    HitTableModel* grid() {
        return qobject_cast<HitTableModel*>(find<QTableView>("resultGrid")->model());
    }
    QPlainTextEdit* editor() { return find<QPlainTextEdit>("documentEdit"); }
    QStringList errorFiles() {
        QStringList names;
        auto* list = find<QListWidget>("errorFileList");
        for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
        return names;
    }
    QString path(const char* name) { return documents() + QLatin1Char('/') + name; }

    void proofread() {
        prompter.expectMessage();
        find("menuProofread")->trigger();
        ASSERT_EQ(prompter.messages.back().text, QStringLiteral("校对完毕！"));
    }
    void untick(int r) { grid()->setData(grid()->index(r, 5), Qt::Unchecked, Qt::CheckStateRole); }
    QStringList gridTexts() {
        QStringList cells;
        for (int r = 0; r < grid()->rowCount(); ++r)
            for (int c = 0; c < 6; ++c)
                cells << (c == 5 ? QString::number(grid()
                                                       ->index(r, c)
                                                       .data(Qt::CheckStateRole)
                                                       .value<Qt::CheckState>())
                                 : grid()->index(r, c).data().toString());
        return cells;
    }
    // Answers the question with Yes and returns the final notice.
    QString correct() {
        prompter.expectMessage(Prompter::Answer::Yes);
        prompter.expectMessage();
        find("menuCorrect")->trigger();
        EXPECT_TRUE(prompter.allAnswered());
        EXPECT_EQ(prompter.messages.back().title, QStringLiteral("提示："));
        EXPECT_EQ(prompter.messages.back().icon, Prompter::Icon::Information);
        return prompter.messages.back().text;
    }
};

TEST_F(CorrectionWindowTest, NoRowsNoTicksOrNoLeaveEveryFileAlone) {
    addEntry("基本", "按装", "安装");
    const QByteArray text = gbk(QStringLiteral("按装"));
    writeDocument(QStringLiteral("a.txt"), text);
    start();
    find("menuCorrect")->trigger();  // no rows: nothing, no box
    EXPECT_TRUE(prompter.messages.empty());

    changeDirectory(documents());
    proofread();
    untick(0);
    prompter.expectMessage();
    find("menuCorrect")->trigger();
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(prompter.messages[1].text, QStringLiteral("没有选择要修改的文件！"));
    EXPECT_EQ(prompter.messages[1].title, QStringLiteral("提示："));
    EXPECT_EQ(prompter.messages[1].icon, Prompter::Icon::Information);

    grid()->setData(grid()->index(0, 5), Qt::Checked, Qt::CheckStateRole);
    prompter.expectMessage(Prompter::Answer::No);
    find("menuCorrect")->trigger();
    ASSERT_EQ(prompter.messages.size(), 3u);
    EXPECT_EQ(prompter.messages[2].text, kAsk);
    EXPECT_EQ(prompter.messages[2].title, QStringLiteral("询问？"));
    EXPECT_EQ(prompter.messages[2].icon, Prompter::Icon::Question);
    EXPECT_EQ(prompter.messages[2].buttons, Prompter::Buttons::YesNo);
    EXPECT_EQ(readBytes(path("a.txt")), text);
    EXPECT_EQ(errorFiles(), QStringList{"a.txt"});  // kept after No

    // Yes over unsaved edits asks about them first; 取消 leaves everything.
    editor()->setPlainText(QStringLiteral("改"));
    prompter.expectMessage(Prompter::Answer::Yes);
    prompter.expectMessage(Prompter::Answer::Cancel);
    find("menuCorrect")->trigger();
    EXPECT_EQ(prompter.messages.back().text, QStringLiteral("文档已修改，是否保存？"));
    EXPECT_EQ(readBytes(path("a.txt")), text);
    EXPECT_EQ(editor()->toPlainText(), QStringLiteral("改"));
}

TEST_F(CorrectionWindowTest, YesRewritesExactlyTheTickedHits) {
    addEntry("基本", "按装", "安装");
    addEntry("基本", "的的", "的", "的的确确");
    addEntry("基本", "象", "好像");
    writeDocument(QStringLiteral("a.txt"),
                  gbk(QStringLiteral("按装好了。\r\n他的的确确按装了，象我的的书。\r\n")));
    writeDocument(QStringLiteral("b.fbd"), gbk(QStringLiteral("象按装\n")));
    writeDocument(QStringLiteral("c.txt"), gbk(QStringLiteral("按装")));
    start();
    changeDirectory(documents());
    proofread();
    // Rows, documents in list order: b 按装, b 象, a 按装 ×2, a 的的, a 象, c 按装.
    ASSERT_EQ(grid()->rowCount(), 7);
    untick(3);  // a's second 按装
    untick(6);  // all of c
    const QStringList before = gridTexts();

    EXPECT_EQ(correct(), QStringLiteral("修改完毕！"));
    EXPECT_EQ(readBytes(path("a.txt")),
              gbk(QStringLiteral("安装好了。\r\n他的的确确按装了，好像我的书。\r\n")));
    EXPECT_EQ(readBytes(path("b.fbd")), gbk(QStringLiteral("好像安装\n")));
    EXPECT_EQ(readBytes(path("c.txt")), gbk(QStringLiteral("按装")));
    EXPECT_EQ(errorFiles(), QStringList({"b.fbd", "a.txt"}));

    // The grid stays as the scan left it; the editor shows the last rewritten document.
    EXPECT_EQ(gridTexts(), before);
    EXPECT_EQ(editor()->toPlainText(),
              QStringLiteral("安装好了。\n他的的确确按装了，好像我的书。\n"));
    EXPECT_EQ(state.currentFilePath, path("a.txt"));
    EXPECT_EQ(state.currentFileName, QStringLiteral("a.txt"));
    EXPECT_FALSE(state.documentDirty) << "the editor holds the file as written";
    EXPECT_FALSE(editor()->isReadOnly());
    EXPECT_FALSE(find<QLabel>("busyLabel")->isVisible());
    EXPECT_FALSE(find<QProgressBar>("progressBar")->isVisible());
    EXPECT_EQ(find<QLabel>("statusPanel0")->text(), QStringLiteral("修改完毕！"));

    // A second run finds every ticked row already corrected: skipped, nothing written.
    EXPECT_EQ(correct(), QStringLiteral("修改完毕！\r\n已跳过的记录：5条"));
    EXPECT_EQ(readBytes(path("b.fbd")), gbk(QStringLiteral("好像安装\n")));
}

TEST_F(CorrectionWindowTest, ALargeDocumentIsOpenedScannedAndRewrittenBesideTheWindow) {
    addEntry("基本", "按装", "安装");
    QString text;
    QByteArray bytes;
    for (int line = 0; bytes.size() <= MainWindow::kLargeDocument; ++line) {
        const QString next = QStringLiteral("第%1行，先按装，再检查。\r\n").arg(line);
        text += next;
        bytes += gbk(next);
    }
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    writeDocument(QStringLiteral("large.txt"), bytes);
    writeDocument(QStringLiteral("a.txt"), gbk(QStringLiteral("按装")));
    start();
    changeDirectory(documents());
    // The events that run while the document is read, decoded and laid out
    // find the window busy and saying so.
    int turns = 0;
    bool busyAndSaid = true;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        ++turns;
        busyAndSaid = busyAndSaid && window->isBusy() &&
                      find<QLabel>("busyLabel")->text() == QStringLiteral("打开中 ……");
    });
    ticker.start(0);
    window->show();
    QApplication::setActiveWindow(window.get());
    auto* list = find<QListWidget>("fileCheckList");
    list->setFocus();
    list->setCurrentRow(1);
    ticker.stop();
    EXPECT_GT(turns, 0);
    EXPECT_TRUE(busyAndSaid);
    EXPECT_FALSE(window->isBusy());
    EXPECT_EQ(QApplication::focusWidget(), list) << "the keys go on to the next document";
    EXPECT_EQ(editor()->toPlainText(), text);

    // Saved unchanged, then with an edit: the lines and their endings stay.
    QTextCursor cursor(editor()->document());
    cursor.insertText(QStringLiteral("改"));
    prompter.expectMessage(Prompter::Answer::Yes);
    prompter.expectMessage();
    find("menuSave")->trigger();
    EXPECT_EQ(readBytes(path("large.txt")), gbk(QStringLiteral("改")) + bytes);

    proofread();
    const qsizetype hits = text.count(QStringLiteral("按装"));
    ASSERT_EQ(grid()->rowCount(), hits + 1);
    // The last occurrence is left selected, where the text has it.
    EXPECT_EQ(editor()->textCursor().selectionStart(),
              text.lastIndexOf(QStringLiteral("按装")) + 1);
    EXPECT_EQ(editor()->textCursor().selectedText(), QStringLiteral("按装"));

    EXPECT_EQ(correct(), QStringLiteral("修改完毕！"));
    QString corrected = QStringLiteral("改") + text;
    corrected.replace(QStringLiteral("按装"), QStringLiteral("安装"));
    EXPECT_EQ(readBytes(path("large.txt")),
              gbk(QString(corrected).replace(QStringLiteral("\n"), QStringLiteral("\r\n"))));
    EXPECT_EQ(editor()->toPlainText(), corrected);
    EXPECT_FALSE(state.documentDirty);

    // A hit of another document picked while the large one opens is not
    // followed: the editor and the document it is saved to stay together.
    list->setCurrentRow(0);
    QTimer::singleShot(0, window.get(), [&] {
        find<QTableView>("resultGrid")->setCurrentIndex(grid()->index(0, 3));
    });
    list->setCurrentRow(1);
    EXPECT_EQ(state.currentFilePath, path("large.txt"));
    EXPECT_EQ(editor()->toPlainText(), corrected);
}

TEST_F(CorrectionWindowTest, UndoGivesBackTheLastRunExceptWhatChangedSince) {
    addEntry("基本", "按装", "安装");
    const QByteArray a = gbk(QStringLiteral("按装好了\r\n")), b = gbk(QStringLiteral("又按装"));
    writeDocument(QStringLiteral("a.txt"), a);
    writeDocument(QStringLiteral("b.txt"), b);
    start();
    prompter.expectMessage();
    find("menuUndoCorrection")->trigger();
    EXPECT_EQ(prompter.messages.back().text, QStringLiteral("没有可撤销的修改！"));
    changeDirectory(documents());
    proofread();
    EXPECT_EQ(correct(), QStringLiteral("修改完毕！"));
    writeDocument(QStringLiteral("b.txt"), gbk(QStringLiteral("手改")));

    prompter.expectMessage(Prompter::Answer::No);
    find("menuUndoCorrection")->trigger();
    const ScriptedPrompter::Message asked = prompter.messages.back();
    EXPECT_EQ(asked.text, QStringLiteral("撤销最近一次修改（2个文件）吗？"));
    EXPECT_EQ(asked.title, QStringLiteral("询问？"));
    EXPECT_EQ(asked.icon, Prompter::Icon::Question);
    EXPECT_EQ(asked.buttons, Prompter::Buttons::YesNo);
    EXPECT_EQ(readBytes(path("a.txt")), gbk(QStringLiteral("安装好了\r\n")));
    EXPECT_EQ(grid()->rowCount(), 2);

    prompter.expectMessage(Prompter::Answer::Yes);
    prompter.expectMessage();
    find("menuUndoCorrection")->trigger();
    EXPECT_TRUE(prompter.allAnswered());
    EXPECT_EQ(prompter.messages.back().text,
              QStringLiteral("撤销完毕！\r\n未能撤销的文件：") + path("b.txt"));
    EXPECT_EQ(readBytes(path("a.txt")), a);
    EXPECT_EQ(readBytes(path("b.txt")), gbk(QStringLiteral("手改")));
    EXPECT_EQ(grid()->rowCount(), 0);  // its positions were those of the undone texts
    // The shown document, b.txt (the last one corrected), is read again.
    EXPECT_EQ(editor()->toPlainText(), QStringLiteral("手改"));
    EXPECT_FALSE(state.documentDirty);

    prompter.expectMessage();
    find("menuUndoCorrection")->trigger();
    EXPECT_EQ(prompter.messages.back().text, QStringLiteral("没有可撤销的修改！"));
}

TEST_F(CorrectionWindowTest, WhatCouldNotBeDoneIsNamedAndSaveStaysWithItsFile) {
    addEntry("基本", "按装", "安装");
    const QByteArray big = gbk(QStringLiteral("按装")) + QByteArray(2000, 'x');
    writeDocument(QStringLiteral("a.txt"), gbk(QStringLiteral("按装")));
    writeDocument(QStringLiteral("b.txt"), big);
    writeDocument(QStringLiteral("c.txt"), gbk(QStringLiteral("按装")));
    writeDocument(QStringLiteral("d.txt"), gbk(QStringLiteral("按装")));
    start();
    changeDirectory(documents());
    proofread();
    ASSERT_EQ(grid()->rowCount(), 4);
    QFile::remove(path("c.txt"));                                           // unreadable now
    writeDocument(QStringLiteral("d.txt"), gbk(QStringLiteral("新按装")));  // changed since

    QString notice;
    {
        // b's new content cannot be written; a's small one, and the journal's
        // entries, can.
        const FileSizeLimit full(1024);
        notice = correct();
    }
    EXPECT_EQ(notice,
              QStringLiteral("修改完毕！\r\n未能修改的文件：b.txt、c.txt\r\n已跳过的记录：2条"));
    EXPECT_EQ(readBytes(path("a.txt")), gbk(QStringLiteral("安装")));
    EXPECT_EQ(readBytes(path("b.txt")), big);
    EXPECT_FALSE(QFile::exists(path("c.txt")));
    EXPECT_EQ(readBytes(path("d.txt")), gbk(QStringLiteral("新按装")));
    EXPECT_EQ(QDir(documents()).entryList(QDir::Files),
              QStringList({"a.txt", "b.txt", "d.txt"}));  // no temporary left behind

    // The editor and Save still belong to a.txt, the last document written.
    EXPECT_EQ(state.currentFilePath, path("a.txt"));
    EXPECT_EQ(editor()->toPlainText(), QStringLiteral("安装"));
    prompter.expectMessage(Prompter::Answer::Yes);
    prompter.expectMessage();
    find("menuSave")->trigger();
    EXPECT_EQ(readBytes(path("a.txt")), gbk(QStringLiteral("安装")));
    EXPECT_EQ(readBytes(path("d.txt")), gbk(QStringLiteral("新按装")));
}

TEST_F(CorrectionWindowTest, CommandsDuringTheRunAreIgnoredAndClosingEndsIt) {
    addEntry("基本", "按装", "安装");
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        writeDocument(QString::fromLatin1(name), gbk(QStringLiteral("按装")));
    start();
    changeDirectory(documents());
    proofread();
    // Fires between two documents: a scan would cut the grid back, a second
    // correction would rewrite what this one is writing.
    bool busySeen = false;
    QTimer::singleShot(0, window.get(), [&] {
        busySeen = window->isBusy();
        find("menuProofread")->trigger();
        find("menuCorrect")->trigger();
        window->onToolbarButton(5);
    });
    EXPECT_EQ(correct(), QStringLiteral("修改完毕！"));
    EXPECT_TRUE(busySeen);
    EXPECT_EQ(prompter.messages.size(), 3u);
    EXPECT_EQ(grid()->rowCount(), 3);
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        EXPECT_EQ(readBytes(path(name)), gbk(QStringLiteral("安装"))) << name;

    // Closing finishes the document at hand, then ends without a notice.
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        writeDocument(QString::fromLatin1(name), gbk(QStringLiteral("按装")));
    QTimer::singleShot(0, window.get(), [&] { window->close(); });
    prompter.expectMessage(Prompter::Answer::Yes);
    find("menuCorrect")->trigger();
    EXPECT_EQ(prompter.messages.size(), 4u);
    EXPECT_EQ(readBytes(path("a.txt")), gbk(QStringLiteral("安装")));
    EXPECT_EQ(readBytes(path("b.txt")), gbk(QStringLiteral("按装")));
    EXPECT_FALSE(window->isBusy());
}

TEST_F(CorrectionWindowTest, TheCommandLineFixesWhatTheWindowCorrects) {
    addEntry("基本", "按装", "安装");
    addEntry("基本", "的的", "的", "的的确确");
    addEntry("基本", "装好", "装完");
    addEntry("基本", "文字", "文本");
    const QByteArray texts[] = {gbk(QStringLiteral("他的的确确按装了，我的的书\r\n按装好")),
                                fixture("gbk_crlf.txt"), fixture("stray.fbd")};
    const char* names[] = {"a.txt", "b.txt", "c.fbd"};
    const QString copies = dir.filePath(QStringLiteral("copies"));
    QDir().mkpath(copies);
    for (int i = 0; i < 3; ++i) {
        writeDocument(QString::fromLatin1(names[i]), texts[i]);
        QFile::copy(path(names[i]), copies + QLatin1Char('/') + QLatin1String(names[i]));
    }
    start();
    changeDirectory(documents());
    proofread();
    ASSERT_GT(grid()->rowCount(), 3);
    correct();
    window.reset();  // the library is closed as at exit

    QBuffer out, err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    runCheckCommand({QStringLiteral("--library"), libraryPath(), QStringLiteral("--fix"), copies},
                    QString(), journalDirectory(platform.appDataDir), out, err);
    for (int i = 0; i < 3; ++i) {
        const QByteArray windowBytes = readBytes(path(names[i]));
        EXPECT_EQ(readBytes(copies + QLatin1Char('/') + QLatin1String(names[i])), windowBytes)
            << names[i];
        EXPECT_NE(windowBytes, texts[i]) << names[i];
    }
}

// Names that are not UTF-8, as Windows archives bring them: a directory and a
// document listed shown as GBK, scanned, corrected and saved under their own bytes.
TEST_F(CorrectionWindowTest, AGbkNamedDocumentIsCorrectedAndSavedUnderItsOwnName) {
    addEntry("基本", "按装", "安装");
    const QByteArray folder = QFile::encodeName(documents()) + "/\xCE\xC4\xB8\xE5";  // 文稿
    ASSERT_EQ(::mkdir(folder.constData(), 0755), 0);
    const QByteArray where = folder + "/\xB4\xED\xB1\xF0\xD7\xD6.txt";
    ASSERT_TRUE(writeAtBytePath(where, gbk(QStringLiteral("他按装了"))));

    start();
    changeDirectory(documents() + QStringLiteral("/文稿"));
    EXPECT_EQ(listedFiles(), QStringList({QStringLiteral("错别字.txt")}));
    proofread();
    ASSERT_EQ(grid()->rowCount(), 1);
    EXPECT_EQ(grid()->index(0, 1).data().toString(), QStringLiteral("错别字.txt"));
    EXPECT_EQ(correct(), QStringLiteral("修改完毕！"));
    EXPECT_EQ(readAtBytePath(where), gbk(QStringLiteral("他安装了")));

    editor()->appendPlainText(QStringLiteral("再装"));
    prompter.expectMessage(Prompter::Answer::Yes);
    prompter.expectMessage();
    find("menuSave")->trigger();
    EXPECT_EQ(prompter.messages.back().text, QStringLiteral("已保存文档！"));
    EXPECT_EQ(readAtBytePath(where), gbk(QStringLiteral("他安装了\n再装")));
    // The document alone: no temporary file left, no second name made.
    int entries = 0;
    if (DIR* d = ::opendir(folder.constData())) {
        while (const dirent* e = ::readdir(d)) entries += e->d_name[0] != '.';
        ::closedir(d);
    }
    EXPECT_EQ(entries, 1);
}

}  // namespace
