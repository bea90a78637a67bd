#include <gtest/gtest.h>

#include <QPlainTextEdit>

#include "support/SmallDisk.h"
#include "support/WindowFixture.h"

// Saving onto a real disk that is full or read-only: the old file stays whole
// and the user is told.

namespace {

class DocumentFaultTest : public WindowFixture {
  protected:
    QPlainTextEdit* editor() { return find<QPlainTextEdit>("documentEdit"); }
    void put(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    void open(const QString& directory, const QString& name) {
        changeDirectory(directory);
        auto* list = find<QListWidget>("fileCheckList");
        const auto found = list->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        list->setCurrentItem(found.first());
    }
    // Saves with Yes to the question; the notice that follows.
    ScriptedPrompter::Message save() {
        prompter.expectMessage(Prompter::Answer::Yes);
        prompter.expectMessage();
        find("menuSave")->trigger();
        EXPECT_TRUE(prompter.allAnswered());
        return prompter.messages.back();
    }
};

const QByteArray kOld = gbk(QStringLiteral("他按装了软件。\r\n")).repeated(20);

TEST_F(DocumentFaultTest, SavingOntoAFullDiskKeepsTheOldFileAndSaysSo) {
    SmallDisk disk(64 * 1024);
    if (!disk.available()) GTEST_SKIP() << "cannot mount a small disk here (needs root)";
    const QString path = disk.filePath(QStringLiteral("a.txt"));
    put(path, kOld);
    // What is left of the disk cannot hold the new text beside the old one.
    put(disk.filePath(QStringLiteral("filler.bin")), QByteArray(40 * 1024, 'f'));
    start();
    open(disk.path(), QStringLiteral("a.txt"));
    editor()->setPlainText(editor()->toPlainText().repeated(80));

    const ScriptedPrompter::Message notice = save();
    EXPECT_EQ(notice.icon, Prompter::Icon::Error);
    EXPECT_EQ(notice.title, QStringLiteral("提示："));
    EXPECT_TRUE(notice.text.startsWith(QStringLiteral("文档保存失败！\r\n")))
        << notice.text.toStdString();
    EXPECT_GT(notice.text.size(), 9);  // with the reason
    EXPECT_EQ(readBytes(path), kOld);
    EXPECT_TRUE(state.documentDirty);
    EXPECT_EQ(QDir(disk.path()).entryList(QDir::Files), QStringList({"a.txt", "filler.bin"}));

    // Room again: the same Save goes through.
    QFile::remove(disk.filePath(QStringLiteral("filler.bin")));
    EXPECT_EQ(save().text, QStringLiteral("已保存文档！"));
    EXPECT_EQ(readBytes(path), kOld.repeated(80));
}

TEST_F(DocumentFaultTest, SavingIntoAReadOnlyDirectoryKeepsTheOldFileAndSaysSo) {
    SmallDisk disk(64 * 1024);
    if (!disk.available()) GTEST_SKIP() << "cannot mount a small disk here (needs root)";
    const QString path = disk.filePath(QStringLiteral("a.txt"));
    put(path, kOld);
    ASSERT_TRUE(disk.makeReadOnly());
    start();
    open(disk.path(), QStringLiteral("a.txt"));
    editor()->appendPlainText(QStringLiteral("新的一行"));

    const ScriptedPrompter::Message notice = save();
    EXPECT_EQ(notice.icon, Prompter::Icon::Error);
    EXPECT_TRUE(notice.text.startsWith(QStringLiteral("文档保存失败！\r\n")))
        << notice.text.toStdString();
    EXPECT_EQ(readBytes(path), kOld);
    EXPECT_TRUE(state.documentDirty);
}

}  // namespace
