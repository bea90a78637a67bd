#include <gtest/gtest.h>

#include <QComboBox>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTest>

#include "gui/proofread/HitTableModel.h"
#include "support/FileSizeLimit.h"
#include "support/WindowFixture.h"

namespace {

class DocumentsWindowTest : public WindowFixture {
  protected:
    QPlainTextEdit* editor() { return find<QPlainTextEdit>("documentEdit"); }
    QListWidget* fileList() { return find<QListWidget>("fileCheckList"); }
    void select(const QString& name) {
        const auto found = fileList()->findItems(name, Qt::MatchExactly);
        ASSERT_FALSE(found.isEmpty()) << name.toStdString();
        fileList()->setCurrentItem(found.first());
    }
    const ScriptedPrompter::Message& lastMessage() {
        EXPECT_FALSE(prompter.messages.empty());
        return prompter.messages.back();
    }
};

TEST_F(DocumentsWindowTest, ChangingDirectoryListsDocumentsInPatternOrderAllTicked) {
    for (const char* name : {"b.txt", "a.fbd", "c.htm", "d.html", "e.TXT", "notes.doc", "f.htmx"})
        writeDocument(QString::fromLatin1(name), "x");
    QDir(documents()).mkdir(QStringLiteral("folder.txt"));
    start();
    auto* grid = qobject_cast<HitTableModel*>(find<QTableView>("resultGrid")->model());
    grid->append(std::vector<HitTableModel::Row>(
        3, {QStringLiteral("x.txt"), 1, 1, "x", "y"}));  // rows of an earlier pass

    changeDirectory(documents());
    EXPECT_EQ(listedFiles(), QStringList({"a.fbd", "b.txt", "e.TXT", "c.htm", "d.html"}));
    for (int i = 0; i < fileList()->count(); ++i)
        EXPECT_EQ(fileList()->item(i)->checkState(), Qt::Checked);
    EXPECT_EQ(grid->rowCount(), 0);
    EXPECT_TRUE(state.currentFilePath.isEmpty());
    EXPECT_TRUE(editor()->toPlainText().isEmpty());

    // A click on the directory shown lists it again, with what came since.
    writeDocument(QStringLiteral("new.txt"), "x");
    auto* box = find<DirectoryBox>("directoryBox");
    emit box->itemClicked(box->item(0));
    EXPECT_EQ(listedFiles(),
              QStringList({"a.fbd", "b.txt", "e.TXT", "new.txt", "c.htm", "d.html"}));
}

TEST_F(DocumentsWindowTest, ChangingDriveListsTheDrivesRoot) {
    writeDocument(QStringLiteral("root.txt"), "x");
    platform.driveList = {QStringLiteral("/"), documents() + QStringLiteral("/")};
    start();
    auto* drives = find<QComboBox>("driveBox");
    ASSERT_EQ(drives->count(), 2);
    drives->setCurrentIndex(1);
    emit drives->activated(1);
    EXPECT_EQ(find<DirectoryBox>("directoryBox")->directory(), documents());
    EXPECT_EQ(listedFiles(), QStringList({"root.txt"}));
    select(QStringLiteral("root.txt"));
    EXPECT_EQ(state.currentFilePath, documents() + QStringLiteral("/root.txt"));
}

TEST_F(DocumentsWindowTest, LoadingAndSavingAnUneditedDocumentKeepsEveryByte) {
    const char* names[] = {"gbk_crlf.txt", "gbk_lf.txt", "stray.fbd", "utf8.htm"};
    for (const char* name : names) writeDocument(QString::fromLatin1(name), fixture(name));
    start();
    changeDirectory(documents());
    for (const char* name : names) {
        SCOPED_TRACE(name);
        select(QString::fromLatin1(name));
        EXPECT_EQ(state.currentFileName, QString::fromLatin1(name));
        EXPECT_FALSE(state.documentDirty);
        prompter.expectMessage(Prompter::Answer::Yes);
        prompter.expectMessage();
        find("menuSave")->trigger();
        EXPECT_EQ(lastMessage().text, QStringLiteral("已保存文档！"));
        EXPECT_EQ(lastMessage().title, QStringLiteral("提示："));
        EXPECT_EQ(lastMessage().icon, Prompter::Icon::Information);
        EXPECT_EQ(readBytes(documents() + QLatin1Char('/') + QLatin1String(name)), fixture(name));
    }
    EXPECT_TRUE(editor()->toPlainText().contains(QStringLiteral("UTF-8")));
}

TEST_F(DocumentsWindowTest, SaveAsksFirstAndWritesTheEditedText) {
    const QString path = writeDocument(QStringLiteral("a.txt"), fixture("gbk_crlf.txt"));
    start();
    find("menuSave")->trigger();  // nothing selected yet: nothing happens
    EXPECT_TRUE(prompter.messages.empty());

    changeDirectory(documents());
    select(QStringLiteral("a.txt"));
    editor()->appendPlainText(QStringLiteral("新的一行"));
    EXPECT_TRUE(state.documentDirty);

    prompter.expectMessage(Prompter::Answer::No);
    prompter.expectMessage();
    find("menuSave")->trigger();
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(prompter.messages[0].text, QStringLiteral("真的需要保存文档吗？"));
    EXPECT_EQ(prompter.messages[0].title, QStringLiteral("询问？"));
    EXPECT_EQ(prompter.messages[0].icon, Prompter::Icon::Question);
    EXPECT_EQ(prompter.messages[0].buttons, Prompter::Buttons::YesNo);
    EXPECT_EQ(prompter.messages[1].text, QStringLiteral("操作已被用户取消！"));
    EXPECT_EQ(readBytes(path), fixture("gbk_crlf.txt"));
    EXPECT_TRUE(state.documentDirty);

    prompter.expectMessage(Prompter::Answer::Yes);
    prompter.expectMessage();
    window->onToolbarButton(3);
    EXPECT_EQ(readBytes(path), fixture("gbk_crlf.txt") + gbk(QStringLiteral("\r\n新的一行")));
    EXPECT_FALSE(state.documentDirty);
}

TEST_F(DocumentsWindowTest, AFailedWriteKeepsTheOldFileAndSaysWhy) {
    const QString path = writeDocument(QStringLiteral("a.txt"), fixture("gbk_lf.txt"));
    start();
    changeDirectory(documents());
    select(QStringLiteral("a.txt"));
    editor()->setPlainText(editor()->toPlainText().repeated(50));

    prompter.expectMessage(Prompter::Answer::Yes);
    prompter.expectMessage();
    {
        const FileSizeLimit full(16);
        find("menuSave")->trigger();
    }

    EXPECT_EQ(lastMessage().icon, Prompter::Icon::Error);
    EXPECT_EQ(lastMessage().title, QStringLiteral("提示："));
    EXPECT_TRUE(lastMessage().text.startsWith(QStringLiteral("文档保存失败！\r\n")));
    EXPECT_GT(lastMessage().text.size(), 9);
    EXPECT_EQ(readBytes(path), fixture("gbk_lf.txt"));
    EXPECT_TRUE(state.documentDirty);
    EXPECT_EQ(QDir(documents()).entryList(QDir::Files), QStringList({"a.txt"}));
}

TEST_F(DocumentsWindowTest, CharactersGbkCannotHoldAreNamedAndNothingIsWritten) {
    const QString path = writeDocument(QStringLiteral("a.txt"), fixture("gbk_lf.txt"));
    start();
    changeDirectory(documents());
    select(QStringLiteral("a.txt"));
    editor()->appendPlainText(QStringLiteral("한국 😀 한"));
    prompter.expectMessage(Prompter::Answer::Yes);
    prompter.expectMessage();
    find("menuSave")->trigger();
    EXPECT_EQ(lastMessage().icon, Prompter::Icon::Error);
    EXPECT_EQ(lastMessage().text, QStringLiteral("文档含有不能以GBK保存的字符：한국😀"));
    EXPECT_EQ(readBytes(path), fixture("gbk_lf.txt"));
}

TEST_F(DocumentsWindowTest, AnUnreadableDocumentIsNeverSavedOver) {
    writeDocument(QStringLiteral("gone.txt"), "old");
    start();
    changeDirectory(documents());
    QFile::remove(documents() + QStringLiteral("/gone.txt"));
    QDir(documents()).mkdir(QStringLiteral("gone.txt"));  // now a directory: cannot be read
    select(QStringLiteral("gone.txt"));
    EXPECT_TRUE(editor()->toPlainText().isEmpty());
    prompter.expectMessage(Prompter::Answer::Yes);
    prompter.expectMessage();
    find("menuSave")->trigger();
    EXPECT_EQ(lastMessage().icon, Prompter::Icon::Error);
    EXPECT_EQ(lastMessage().text, QStringLiteral("文档读取失败，不能保存：") + documents() +
                                      QStringLiteral("/gone.txt"));
    EXPECT_TRUE(QFileInfo(documents() + QStringLiteral("/gone.txt")).isDir());
}

TEST_F(DocumentsWindowTest, SaveAsPresetsNameAndExtensionAndKeepsTheCurrentFile) {
    const QString path = writeDocument(QStringLiteral("page.html"), fixture("utf8.htm"));
    start();
    find("menuSaveAs")->trigger();  // nothing selected: no dialog
    EXPECT_TRUE(prompter.dialogs.empty());
    changeDirectory(documents());
    select(QStringLiteral("page.html"));

    prompter.expectSaveFile(QString());  // cancelled
    find("menuSaveAs")->trigger();
    ASSERT_EQ(prompter.dialogs.size(), 1u);
    EXPECT_EQ(prompter.dialogs[0].fileName, QStringLiteral("page.html"));
    EXPECT_EQ(prompter.dialogs[0].filter, QStringLiteral("*.html"));
    EXPECT_EQ(prompter.dialogs[0].defaultSuffix, QStringLiteral("html"));
    EXPECT_TRUE(prompter.messages.empty());

    const QString copy = documents() + QStringLiteral("/copy.html");
    prompter.expectSaveFile(copy);
    prompter.expectMessage();
    editor()->moveCursor(QTextCursor::End);
    editor()->insertPlainText(QStringLiteral("<p>加</p>"));
    find("menuSaveAs")->trigger();
    EXPECT_EQ(lastMessage().text, QStringLiteral("文件已保存！"));
    EXPECT_EQ(lastMessage().title, QStringLiteral("提示："));
    // Written in the encoding the page was read in.
    EXPECT_EQ(readBytes(copy), fixture("utf8.htm") + QStringLiteral("<p>加</p>").toUtf8());
    EXPECT_EQ(readBytes(path), fixture("utf8.htm"));
    EXPECT_EQ(state.currentFilePath, path);
    EXPECT_TRUE(state.documentDirty);
}

TEST_F(DocumentsWindowTest, CloseDiscardsOnlyChangedTextAfterAsking) {
    const QString path = writeDocument(QStringLiteral("a.txt"), fixture("gbk_lf.txt"));
    start();
    changeDirectory(documents());
    select(QStringLiteral("a.txt"));
    find("menuClose")->trigger();  // unchanged: stays, no question
    EXPECT_FALSE(editor()->toPlainText().isEmpty());
    EXPECT_TRUE(prompter.messages.empty());

    editor()->appendPlainText(QStringLiteral("改"));
    prompter.expectMessage(Prompter::Answer::No);
    find("menuClose")->trigger();
    EXPECT_FALSE(editor()->toPlainText().isEmpty());
    EXPECT_EQ(prompter.messages.back().text, QStringLiteral("文档数据已改变，确认放弃吗？"));
    EXPECT_EQ(prompter.messages.back().title, QString());
    EXPECT_EQ(prompter.messages.back().icon, Prompter::Icon::Question);

    prompter.expectMessage(Prompter::Answer::Yes);
    find("menuClose")->trigger();
    EXPECT_TRUE(editor()->toPlainText().isEmpty());
    EXPECT_TRUE(state.currentFilePath.isEmpty());
    EXPECT_TRUE(state.currentFileName.isEmpty());

    // No document is bound: Save does nothing, the closed file keeps its text.
    const size_t asked = prompter.messages.size();
    find("menuSave")->trigger();
    window->onToolbarButton(3);
    EXPECT_EQ(prompter.messages.size(), asked);
    EXPECT_EQ(readBytes(path), fixture("gbk_lf.txt"));
    // Nor is anything left to ask about before the next document.
    select(QStringLiteral("a.txt"));
    EXPECT_EQ(prompter.messages.size(), asked);
    EXPECT_EQ(state.currentFilePath, path);
}

TEST_F(DocumentsWindowTest, SelectingAnotherDocumentAsksAboutUnsavedEdits) {
    using A = Prompter::Answer;
    const struct {
        const char* name;
        std::vector<A> answers;  // the question, then the notices that follow
        QString typed;
        bool goesOn, saved;
    } cases[] = {
        {"save", {A::Save, A::Ok}, QStringLiteral("改"), true, true},
        {"discard", {A::Discard}, QStringLiteral("改"), true, false},
        {"cancel", {A::Cancel}, QStringLiteral("改"), false, false},
        {"save fails", {A::Save, A::Ok}, QStringLiteral("😀"), false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString a = writeDocument(QStringLiteral("a.txt"), fixture("gbk_lf.txt"));
        writeDocument(QStringLiteral("b.txt"), "b");
        start();
        window->show();
        changeDirectory(documents());
        select(QStringLiteral("a.txt"));
        editor()->appendPlainText(c.typed);
        for (A answer : c.answers) prompter.expectMessage(answer);

        const QRect b = fileList()->visualItemRect(fileList()->item(1));
        QTest::mouseClick(fileList()->viewport(), Qt::LeftButton, {}, b.center());
        ASSERT_FALSE(prompter.messages.empty());
        const ScriptedPrompter::Message& question = prompter.messages.front();
        EXPECT_EQ(question.text, QStringLiteral("文档已修改，是否保存？"));
        EXPECT_EQ(question.title, QStringLiteral("询问？"));
        EXPECT_EQ(question.icon, Prompter::Icon::Question);
        EXPECT_EQ(question.buttons, Prompter::Buttons::SaveDiscardCancel);
        EXPECT_TRUE(prompter.allAnswered());
        EXPECT_EQ(readBytes(a), c.saved ? fixture("gbk_lf.txt") + gbk(QStringLiteral("\n改"))
                                        : fixture("gbk_lf.txt"));
        const QString shown = c.goesOn ? QStringLiteral("b.txt") : QStringLiteral("a.txt");
        EXPECT_EQ(state.currentFileName, shown);
        EXPECT_EQ(fileList()->selectedItems().value(0)->text(), shown);
        EXPECT_EQ(editor()->toPlainText().endsWith(c.typed), !c.goesOn);
        window.reset();
        state = ProgramState();
        prompter.messages.clear();
    }
}

TEST_F(DocumentsWindowTest, FocusAloneLoadsNothingAClickOrAKeyDoes) {
    writeDocument(QStringLiteral("a.txt"), "a");
    writeDocument(QStringLiteral("b.txt"), "b");
    start();
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    changeDirectory(documents());
    editor()->setFocus();
    fileList()->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(fileList()->hasFocus());
    EXPECT_TRUE(state.currentFilePath.isEmpty());
    EXPECT_TRUE(editor()->toPlainText().isEmpty());

    QTest::keyClick(fileList(), Qt::Key_Down);
    EXPECT_EQ(state.currentFileName, QStringLiteral("b.txt"));
    EXPECT_EQ(editor()->toPlainText(), QStringLiteral("b"));
    QTest::mouseClick(fileList()->viewport(), Qt::LeftButton, {},
                      fileList()->visualItemRect(fileList()->item(0)).center());
    EXPECT_EQ(editor()->toPlainText(), QStringLiteral("a"));
}

TEST_F(DocumentsWindowTest, OpenListsExactlyTheChosenFilesOfTheirDirectory) {
    for (const char* name : {"a.txt", "b.fbd", "c.txt", "d.txt"})
        writeDocument(QString::fromLatin1(name), "x");
    start();
    auto* grid = qobject_cast<HitTableModel*>(find<QTableView>("resultGrid")->model());
    grid->append(std::vector<HitTableModel::Row>(2, {QStringLiteral("x.txt"), 1, 1, "x", "y"}));
    prompter.expectOpenFiles({documents() + QStringLiteral("/c.txt"),
                              documents() + QStringLiteral("/a.txt"),
                              documents() + QStringLiteral("/b.fbd")});
    window->onToolbarButton(1);
    ASSERT_EQ(prompter.dialogs.size(), 1u);
    EXPECT_EQ(prompter.dialogs[0].title, QStringLiteral("打开文件"));
    EXPECT_EQ(listedFiles(), QStringList({"c.txt", "a.txt", "b.fbd"}));
    for (int i = 0; i < fileList()->count(); ++i)
        EXPECT_EQ(fileList()->item(i)->checkState(), Qt::Checked);
    EXPECT_EQ(find<DirectoryBox>("directoryBox")->directory(), documents());
    EXPECT_EQ(grid->rowCount(), 0);

    prompter.expectOpenFiles({});  // cancelled: the list stays
    find("menuOpen")->trigger();
    EXPECT_EQ(listedFiles().size(), 3);
}

}  // namespace
