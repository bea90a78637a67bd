#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include "gui/proofread/HitTableModel.h"
#include "proofread/CheckCommand.h"
#include "proofread/CorrectionJournal.h"
#include "proofread/Scanner.h"
#include "support/LoopbackServer.h"
#include "support/WindowFixture.h"
#include "text/TextCodec.h"

namespace {

class ProofreadWindowTest : public WindowFixture {
  protected:
    QTableView* view() { return find<QTableView>("resultGrid"); }
    HitTableModel* grid() { return qobject_cast<HitTableModel*>(view()->model()); }
    QPlainTextEdit* editor() { return find<QPlainTextEdit>("documentEdit"); }
    QListWidget* fileList() { return find<QListWidget>("fileCheckList"); }

    // One row of the hit list as the user reads it: 序号, 文件名, 位置, 误, 正.
    QStringList row(int r) {
        QStringList cells;
        for (int c = 0; c < 5; ++c) cells << grid()->index(r, c).data().toString();
        return cells;
    }
    void untick(const QString& name) {
        for (int i = 0; i < fileList()->count(); ++i)
            if (fileList()->item(i)->text() == name)
                fileList()->item(i)->setCheckState(Qt::Unchecked);
    }
    void proofread() {
        prompter.expectMessage();
        find("menuProofread")->trigger();
        ASSERT_FALSE(prompter.messages.empty());
        EXPECT_EQ(prompter.messages.back().title, QStringLiteral("提示："));
        EXPECT_EQ(prompter.messages.back().icon, Prompter::Icon::Information);
    }
    // Picks a row as the user does: the current cell moves there.
    void pick(int r) { view()->setCurrentIndex(grid()->index(r, 3)); }
    // Each row's 上下文.
    QStringList contexts() {
        QStringList texts;
        for (int r = 0; r < grid()->rowCount(); ++r) texts << grid()->index(r, 6).data().toString();
        return texts;
    }
    // Runs `work` on the modal dialog that `keys` in the hit list opens.
    void inDialog(QKeySequence keys, const std::function<void(QDialog*)>& work) {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            seen = true;
            work(dialog);
        });
        QTest::keySequence(view(), keys);
        EXPECT_TRUE(seen);
    }
};

TEST_F(ProofreadWindowTest, ScanListsEveryHitNumberedAcrossDocuments) {
    addEntry("基本", "按装", "安装");
    addEntry("基本", "的的", "的", "的的确确");
    writeDocument(QStringLiteral("a.fbd"), gbk(QStringLiteral("按装好了，他的的确确按装了")));
    writeDocument(QStringLiteral("b.txt"), fixture("gbk_crlf.txt"));
    writeDocument(QStringLiteral("c.txt"), gbk(QStringLiteral("按装")));
    writeDocument(QStringLiteral("d.txt"), gbk(QStringLiteral("我的的书")));
    start();
    changeDirectory(documents());
    untick(QStringLiteral("c.txt"));
    QFile::remove(documents() + QStringLiteral("/c.txt"));  // unticked: never read

    proofread();
    EXPECT_EQ(prompter.messages.back().text, QStringLiteral("校对完毕！"));
    ASSERT_EQ(grid()->rowCount(), 5);
    EXPECT_EQ(row(0), QStringList({"1", "a.fbd", "1;4", "按装", "安装"}));
    EXPECT_EQ(row(1), QStringList({"2", "a.fbd", "21;24", "按装", "安装"}));
    EXPECT_EQ(row(2), QStringList({"3", "b.txt", "9;12", "按装", "安装"}));
    EXPECT_EQ(row(3), QStringList({"4", "b.txt", "27;30", "按装", "安装"}));
    EXPECT_EQ(row(4), QStringList({"5", "d.txt", "3;6", "的的", "的"}));
    for (int r = 0; r < 5; ++r)
        EXPECT_EQ(grid()->index(r, 5).data(Qt::CheckStateRole).value<Qt::CheckState>(),
                  Qt::Checked);

    // The view is left as the last document left it.
    EXPECT_TRUE(view()->isEnabled());
    EXPECT_FALSE(find<QLabel>("busyLabel")->isVisible());
    EXPECT_FALSE(find<QProgressBar>("progressBar")->isVisible());
    EXPECT_EQ(find<QProgressBar>("progressBar")->value(), 0);
    // How many hits in how many documents.
    EXPECT_EQ(find<QLabel>("statusPanel0")->text(), QStringLiteral("校对完毕！共5处，3个文件"));
    EXPECT_EQ(state.currentFilePath, documents() + QStringLiteral("/d.txt"));
    EXPECT_EQ(editor()->toPlainText(), QStringLiteral("我的的书"));
    EXPECT_EQ(editor()->textCursor().selectedText(), QStringLiteral("的的"));
    EXPECT_FALSE(state.documentDirty) << "the editor holds the file as it is";
    EXPECT_FALSE(editor()->isReadOnly());
}

TEST_F(ProofreadWindowTest, NothingTickedOrNoEntriesLeavesTheLastRows) {
    addEntry("高级", "按装", "安装");
    writeDocument(QStringLiteral("a.txt"), gbk(QStringLiteral("按装")));
    start();
    find("menuProofread")->trigger();  // empty list: nothing, no box
    changeDirectory(documents());
    find<QRadioButton>("fineModeRadio")->click();
    proofread();
    ASSERT_EQ(grid()->rowCount(), 1);

    untick(QStringLiteral("a.txt"));
    find("menuProofread")->trigger();
    EXPECT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(grid()->rowCount(), 1);

    fileList()->item(0)->setCheckState(Qt::Checked);
    find<QRadioButton>("quickModeRadio")->click();  // no entry of grade 基本
    prompter.expectMessage();
    window->onToolbarButton(5);
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(prompter.messages.back().text, QStringLiteral("尚没有校对词库！"));
    EXPECT_EQ(prompter.messages.back().title, QStringLiteral("提示："));
    EXPECT_EQ(prompter.messages.back().icon, Prompter::Icon::Information);
    EXPECT_EQ(grid()->rowCount(), 1);
    EXPECT_FALSE(find<QLabel>("busyLabel")->isVisible());
}

TEST_F(ProofreadWindowTest, ADamagedLibrarySaysSoInsteadOfHavingNoEntries) {
    addEntry("基本", "按装", "安装");
    writeDocument(QStringLiteral("a.txt"), gbk(QStringLiteral("按装")));
    // Every page but the first, which lets the file open, is damaged.
    QFile file(libraryPath());
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    for (qsizetype at = 4096 + 700; at < bytes.size(); at += 4096) bytes[at] = char(bytes[at] ^ 1);
    file.seek(0);
    file.write(bytes);
    file.close();
    start();
    changeDirectory(documents());
    const size_t before = prompter.messages.size();
    prompter.expectMessage();
    find("menuProofread")->trigger();
    ASSERT_EQ(prompter.messages.size(), before + 1);
    EXPECT_TRUE(prompter.messages.back().text.startsWith(QStringLiteral("词库读取失败：")))
        << prompter.messages.back().text.toStdString();
    EXPECT_EQ(prompter.messages.back().icon, Prompter::Icon::Error);
    EXPECT_EQ(grid()->rowCount(), 0);
}

TEST_F(ProofreadWindowTest, EachModeAppliesExactlyItsGrades) {
    addEntry("基本", "甲", "A");
    addEntry("高级", "乙", "B");
    addEntry("专业", "丙", "C");
    addEntry("", "丁", "D");
    writeDocument(QStringLiteral("a.txt"), gbk(QStringLiteral("丁丙乙甲")));
    start();
    changeDirectory(documents());
    auto wrongForms = [this] {
        QStringList forms;
        for (int r = 0; r < grid()->rowCount(); ++r) forms << grid()->index(r, 3).data().toString();
        return forms;
    };
    proofread();
    EXPECT_EQ(wrongForms(), QStringList({"甲"}));
    find("menuFine")->trigger();
    proofread();
    EXPECT_EQ(wrongForms(), QStringList({"甲", "乙"}));
    find("menuProfessional")->trigger();
    proofread();
    EXPECT_EQ(wrongForms(), QStringList({"甲", "乙", "丙", "丁"}));
}

TEST_F(ProofreadWindowTest, UnreadableAndDuplicatedFiles) {
    addEntry("基本", "按装", "安装");
    writeDocument(QStringLiteral("a.txt"), gbk(QStringLiteral("按装")));
    writeDocument(QStringLiteral("b.txt"), gbk(QStringLiteral("按装")));
    // NUL bytes without a UTF-16 mark: not text, never reported clean.
    writeDocument(QStringLiteral("c.txt"), gbk(QStringLiteral("按装")) + QByteArray(4, '\0'));
    start();
    changeDirectory(documents());
    // A file listed twice is scanned twice; one that has become unreadable is named.
    fileList()->addItem(fileList()->item(0)->clone());
    QFile::remove(documents() + QStringLiteral("/b.txt"));
    QDir(documents()).mkdir(QStringLiteral("b.txt"));
    proofread();
    EXPECT_EQ(prompter.messages.back().text,
              QStringLiteral("校对完毕！\r\n未能读取的文件：b.txt、c.txt"));
    ASSERT_EQ(grid()->rowCount(), 2);
    EXPECT_EQ(row(1), QStringList({"2", "a.txt", "1;4", "按装", "安装"}));
}

TEST_F(ProofreadWindowTest, PickingARowShowsItsHitInItsDocument) {
    addEntry("基本", "按装", "安装");
    addEntry("基本", "问题", "难题");
    writeDocument(QStringLiteral("a.txt"), fixture("gbk_crlf.txt"));
    writeDocument(QStringLiteral("ba.txt"), gbk(QStringLiteral("问题：按装")));
    start();
    changeDirectory(documents());
    proofread();
    ASSERT_EQ(grid()->rowCount(), 5);
    // ba.txt was scanned last and is showing; a.txt's row must load a.txt, not
    // take ba.txt for it because the names end alike.
    EXPECT_EQ(row(1), QStringList({"2", "a.txt", "27;30", "按装", "安装"}));
    pick(1);
    EXPECT_EQ(state.currentFilePath, documents() + QStringLiteral("/a.txt"));
    QTextCursor cursor = editor()->textCursor();
    EXPECT_EQ(cursor.selectedText(), QStringLiteral("按装"));
    // After one CRLF line break (two bytes, one character in the editor).
    EXPECT_EQ(cursor.block().blockNumber(), 1);
    EXPECT_EQ(cursor.selectionStart() - cursor.block().position(), 4);

    // The row of the document that shows only moves the selection: edits stay.
    editor()->moveCursor(QTextCursor::End);
    editor()->insertPlainText(QStringLiteral("加"));
    pick(2);  // 问题 at 3rd line of a.txt
    EXPECT_TRUE(editor()->toPlainText().endsWith(QStringLiteral("加")));
    EXPECT_EQ(editor()->textCursor().selectedText(), QStringLiteral("问题"));
    EXPECT_EQ(editor()->textCursor().block().blockNumber(), 2);

    // Another document's row asks about those edits: 取消 keeps them, 不保存 goes on.
    prompter.expectMessage(Prompter::Answer::Cancel);
    pick(4);
    EXPECT_EQ(state.currentFilePath, documents() + QStringLiteral("/a.txt"));
    EXPECT_TRUE(editor()->toPlainText().endsWith(QStringLiteral("加")));
    ASSERT_EQ(prompter.messages.size(), 2u);
    EXPECT_EQ(prompter.messages.back().text, QStringLiteral("文档已修改，是否保存？"));
    EXPECT_EQ(prompter.messages.back().buttons, Prompter::Buttons::SaveDiscardCancel);
    prompter.expectMessage(Prompter::Answer::Discard);
    pick(3);
    EXPECT_EQ(readBytes(documents() + QStringLiteral("/a.txt")), fixture("gbk_crlf.txt"));
    EXPECT_EQ(state.currentFilePath, documents() + QStringLiteral("/ba.txt"));
    EXPECT_EQ(editor()->toPlainText(), QStringLiteral("问题：按装"));
    EXPECT_EQ(editor()->textCursor().selectedText(), QStringLiteral("按装"));
    EXPECT_EQ(editor()->textCursor().selectionStart(), 3);
    EXPECT_TRUE(prompter.allAnswered());
}

TEST_F(ProofreadWindowTest, EveryEncodingIsScannedShownCorrectedAndSavedInItsOwn) {
    addEntry("基本", "按装", "安装");
    addEntry("基本", "的的", "的", "的的确确");
    const QString text = QStringLiteral("按装好了😀\r\n他的的确确按装了");
    struct Document {
        const char* name;
        TextEncoding encoding;
        QByteArray byteOrderMark;
    };
    const Document documentsOf[] = {{"a.txt", TextEncoding::Utf8, ""},
                                    {"b.txt", TextEncoding::Utf16Le, "\xFF\xFE"},
                                    {"c.txt", TextEncoding::Gb18030, ""}};
    auto bytesOf = [&](const Document& d, const QString& t) {
        return d.byteOrderMark +
               TextCodec::encode(t, d.encoding, TextCodec::LineEnding::None, nullptr);
    };
    for (const Document& d : documentsOf)
        writeDocument(QString::fromLatin1(d.name), bytesOf(d, text));
    start();
    changeDirectory(documents());
    proofread();
    EXPECT_EQ(prompter.messages.back().text, QStringLiteral("校对完毕！"));
    ASSERT_EQ(grid()->rowCount(), 6);  // 按装 twice a document; 的的 excused
    for (int r = 0; r < 6; ++r) {
        const Document& d = documentsOf[r / 2];
        SCOPED_TRACE(d.name);
        // 位置 is the byte range in the file's own bytes, the mark counted.
        const QByteArray bytes = bytesOf(d, text);
        const QByteArray wrong = TextCodec::recodeGbk(gbk(QStringLiteral("按装")), d.encoding);
        const qsizetype at = r % 2 == 0 ? bytes.indexOf(wrong) : bytes.lastIndexOf(wrong);
        EXPECT_EQ(row(r), QStringList({QString::number(r + 1), QString::fromLatin1(d.name),
                                       QStringLiteral("%1;%2").arg(at + 1).arg(at + wrong.size()),
                                       QStringLiteral("按装"), QStringLiteral("安装")}));
        pick(r);
        EXPECT_EQ(editor()->textCursor().selectedText(), QStringLiteral("按装"));
        EXPECT_EQ(editor()->textCursor().block().blockNumber(), r % 2);
        EXPECT_EQ(find<QLabel>("encodingPanel")->text(), encodingName(d.encoding));
    }
    grid()->setData(grid()->index(5, 5), Qt::Unchecked, Qt::CheckStateRole);
    prompter.expectMessage(Prompter::Answer::Yes);
    prompter.expectMessage();
    find("menuCorrect")->trigger();
    EXPECT_EQ(prompter.messages.back().text, QStringLiteral("修改完毕！"));
    const QString corrected = QString(text).replace(QStringLiteral("按装"), QStringLiteral("安装"));
    EXPECT_EQ(readBytes(documents() + QStringLiteral("/a.txt")),
              bytesOf(documentsOf[0], corrected));
    EXPECT_EQ(readBytes(documents() + QStringLiteral("/b.txt")),
              bytesOf(documentsOf[1], corrected));
    EXPECT_EQ(readBytes(documents() + QStringLiteral("/c.txt")),
              bytesOf(documentsOf[2], QStringLiteral("安装好了😀\r\n他的的确确按装了")));

    // The corrected GB18030 document shows; an edit is saved in GB18030, CRLF kept.
    editor()->moveCursor(QTextCursor::End);
    editor()->insertPlainText(QStringLiteral("\n€"));
    prompter.expectMessage(Prompter::Answer::Yes);
    prompter.expectMessage();
    find("menuSave")->trigger();
    EXPECT_EQ(prompter.messages.back().text, QStringLiteral("已保存文档！"));
    EXPECT_EQ(readBytes(documents() + QStringLiteral("/c.txt")),
              bytesOf(documentsOf[2], QStringLiteral("安装好了😀\r\n他的的确确按装了\r\n€")));
}

TEST_F(ProofreadWindowTest, TheHitsAreSteppedThroughAndTickedFromTheKeyboard) {
    addEntry("基本", "按装", "安装");
    addEntry("基本", "问题", "难题");
    const QByteArray text = gbk(QStringLiteral("按装好了\n问题很多\n又按装了"));
    writeDocument(QStringLiteral("a.txt"), text);
    start();
    changeDirectory(documents());
    proofread();
    ASSERT_EQ(grid()->rowCount(), 3);             // 按装 ×2, then 问题
    QApplication::setActiveWindow(window.get());  // so that focus can be asked about

    // The first click, on row 2's tick: that row is unticked and shown.
    const QRect tick = view()->visualRect(grid()->index(1, 5));
    QTest::mouseClick(view()->viewport(), Qt::LeftButton, {},
                      QPoint(tick.left() + 10, tick.center().y()));
    EXPECT_EQ(view()->currentIndex().row(), 1);
    EXPECT_EQ(grid()->index(1, 5).data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Unchecked);
    EXPECT_EQ(editor()->textCursor().block().blockNumber(), 2);

    view()->setFocus();
    pick(0);
    EXPECT_TRUE(view()->hasFocus()) << "picking a hit keeps the keyboard in the list";
    struct Step {
        Qt::Key key;
        int row;
        const char* selected;
        int line;
        Qt::CheckState tick;
    };
    for (const Step& step : {Step{Qt::Key_Down, 1, "按装", 2, Qt::Unchecked},
                             Step{Qt::Key_Down, 2, "问题", 1, Qt::Checked},
                             Step{Qt::Key_Space, 2, "问题", 1, Qt::Unchecked},
                             Step{Qt::Key_X, 2, "问题", 1, Qt::Unchecked},
                             Step{Qt::Key_Up, 1, "按装", 2, Qt::Unchecked},
                             Step{Qt::Key_Space, 1, "按装", 2, Qt::Checked}}) {
        QTest::keyClick(view(), step.key);
        SCOPED_TRACE(step.row);
        EXPECT_EQ(view()->currentIndex().row(), step.row);
        EXPECT_EQ(editor()->textCursor().selectedText(), QString::fromUtf8(step.selected));
        EXPECT_EQ(editor()->textCursor().block().blockNumber(), step.line);
        EXPECT_EQ(grid()->index(step.row, 5).data(Qt::CheckStateRole).value<Qt::CheckState>(),
                  step.tick);
        EXPECT_EQ(fromGbk(text), editor()->toPlainText());
        EXPECT_FALSE(state.documentDirty);
    }
    // Enter goes to the hit in the editor.
    QTest::keyClick(view(), Qt::Key_Return);
    EXPECT_TRUE(editor()->hasFocus());
    EXPECT_EQ(editor()->textCursor().selectedText(), QStringLiteral("按装"));

    // The shortcuts of the commands.
    struct Shortcut {
        const char* action;
        QKeySequence keys;
    };
    for (const Shortcut& s :
         {Shortcut{"menuOpen", QKeySequence(Qt::CTRL | Qt::Key_O)},
          Shortcut{"menuSave", QKeySequence(Qt::CTRL | Qt::Key_S)},
          Shortcut{"menuSaveAs", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)},
          Shortcut{"menuProofread", QKeySequence(Qt::Key_F5)}})
        EXPECT_EQ(find(s.action)->shortcut(), s.keys) << s.action;
    prompter.expectMessage();
    QTest::keySequence(window.get(), QKeySequence(Qt::Key_F5));
    EXPECT_EQ(prompter.messages.back().text, QStringLiteral("校对完毕！"));
}

// 加为例外 (Ctrl+E): the phrase, shortened in its dialog, goes into the
// entry, dated, so that the next submission sends it; every row of the pass
// it excuses leaves the list, and Ctrl+Z brings them and the entry back.
TEST_F(ProofreadWindowTest, AnExceptionLearntFromAHitLeavesTheRowsItExcuses) {
    addEntry("基本", "按装", "安装");
    addEntry("基本", "问题", "难题");
    writeDocument(QStringLiteral("a.txt"),
                  gbk(QStringLiteral("我们按装好了。\n他们按装好了。\n问题在于按装不易")));
    writeDocument(QStringLiteral("b.txt"), gbk(QStringLiteral("都按装好了")));
    LoopbackServer server;
    platform.serverUrl = server.baseUrl();
    start();
    changeDirectory(documents());
    proofread();
    ASSERT_EQ(grid()->rowCount(), 5);
    window->show();
    QApplication::setActiveWindow(window.get());  // the list's keys need an active window
    view()->setFocus();
    pick(0);

    inDialog(QKeySequence(Qt::CTRL | Qt::Key_E), [](QDialog* dialog) {
        auto* phrase = dialog->findChild<QLabel*>(QStringLiteral("phraseLabel"));
        auto* leftIn = dialog->findChild<QPushButton*>(QStringLiteral("leftInButton"));
        EXPECT_EQ(phrase->text(), QStringLiteral("我们【按装】好了"));
        leftIn->click();
        leftIn->click();
        EXPECT_FALSE(leftIn->isEnabled());
        EXPECT_EQ(phrase->text(), QStringLiteral("【按装】好了"));
        dialog->accept();
    });
    ASSERT_EQ(grid()->rowCount(), 2);
    EXPECT_EQ(row(0), QStringList({"1", "a.txt", "39;42", "按装", "安装"}));
    EXPECT_EQ(row(1), QStringList({"2", "a.txt", "31;34", "问题", "难题"}));
    auto stored = [this] {
        return window->database().entriesWithForms(gbk(QStringLiteral("按装")),
                                                   gbk(QStringLiteral("安装")))[0];
    };
    EXPECT_EQ(stored().tbut, gbk(QStringLiteral("按装好了")));
    EXPECT_EQ(stored().tdate, platform.clock);

    platform.online = true;
    server.answer("/index.asp", "Halvorn");
    server.answer("/tjjdch.asp", "ok!");
    prompter.expectMessage();
    find("menuSubmitWords")->trigger();
    ASSERT_EQ(server.requests().size(), 2u);
    EXPECT_EQ(server.requests()[1].param("errword"), gbk(QStringLiteral("按装")));
    EXPECT_EQ(server.requests()[1].param("butword"), gbk(QStringLiteral("按装好了")));

    QApplication::setActiveWindow(window.get());  // offscreen, the closed dialog took it
    view()->setFocus();
    QTest::keySequence(view(), QKeySequence(Qt::CTRL | Qt::Key_Z));
    ASSERT_EQ(grid()->rowCount(), 5);
    EXPECT_EQ(row(1), QStringList({"2", "a.txt", "20;23", "按装", "安装"}));
    EXPECT_EQ(row(4), QStringList({"5", "b.txt", "3;6", "按装", "安装"}));
    EXPECT_EQ(stored().tbut, QByteArray());
    EXPECT_FALSE(stored().tdate.isValid());
}

// 忽略此处 (Delete): the occurrence is kept by its document and its context,
// so it stays ignored when text comes before it, comes back when its context
// changes, is left out and counted by tavrel-check, and is taken back with
// Ctrl+Z or from the list of ignored occurrences.
TEST_F(ProofreadWindowTest, AnIgnoredOccurrenceStaysIgnoredUntilItsContextChanges) {
    addEntry("基本", "按装", "安装");
    const QString text = QStringLiteral("一、按装好了。二、按装不易。");
    writeDocument(QStringLiteral("a.txt"), gbk(text));
    start();
    changeDirectory(documents());
    proofread();
    ASSERT_EQ(grid()->rowCount(), 2);
    window->show();
    QApplication::setActiveWindow(window.get());
    view()->setFocus();
    pick(0);
    QTest::keyClick(view(), Qt::Key_Delete);
    EXPECT_EQ(contexts(), QStringList({"、按装好了。二、【按装】不易。"}));
    QTest::keySequence(view(), QKeySequence(Qt::CTRL | Qt::Key_Z));
    EXPECT_EQ(grid()->rowCount(), 2);
    EXPECT_TRUE(window->database().ignoredOccurrences().empty());
    pick(0);
    QTest::keyClick(view(), Qt::Key_Delete);
    ASSERT_EQ(window->database().ignoredOccurrences().size(), 1u);
    EXPECT_EQ(window->database().ignoredOccurrences()[0].phrase, gbk(QStringLiteral("、按装好了")));

    auto check = [this](QStringList args) {
        QBuffer out, err;
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
        runCheckCommand(args << documents(), libraryPath(), dir.filePath(QStringLiteral("j")), out,
                        err);
        return std::pair(out.data().count('\n'), QString::fromUtf8(err.data()));
    };
    struct Step {
        const char* text;
        int rows;
    };
    for (const Step& step :
         {Step{"前言\n一、按装好了。二、按装不易。", 1}, Step{"一、按装完了。二、按装不易。", 2}}) {
        SCOPED_TRACE(step.text);
        writeDocument(QStringLiteral("a.txt"), gbk(QString::fromUtf8(step.text)));
        proofread();
        EXPECT_EQ(grid()->rowCount(), step.rows);
        EXPECT_EQ(find<QLabel>("statusPanel0")->text().contains(QStringLiteral("已忽略1处")),
                  step.rows == 1);
        const auto [lines, said] = check({});
        EXPECT_EQ(lines, step.rows);
        EXPECT_EQ(said.contains(QStringLiteral("已忽略 1 处")), step.rows == 1);
        EXPECT_EQ(check({QStringLiteral("--no-ignored")}).first, 2);
    }

    writeDocument(QStringLiteral("a.txt"), gbk(text));
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* list = dialog->findChild<QTableWidget*>(QStringLiteral("ignoredGrid"));
        ASSERT_EQ(list->rowCount(), 1);
        EXPECT_EQ(list->item(0, 3)->text(), QStringLiteral("、按装好了"));
        dialog->findChild<QPushButton*>(QStringLiteral("restoreButton"))->click();
        EXPECT_EQ(list->rowCount(), 0);
        dialog->reject();
    });
    find("menuIgnoredList")->trigger();
    proofread();
    EXPECT_EQ(grid()->rowCount(), 2);
}

// 导出报告: the hit list as a CSV table (ticks as 是/否) or as one HTML page
// with each document's counts and error rate and each hit marked in context.
TEST_F(ProofreadWindowTest, TheHitListIsExportedAsATableOrAPage) {
    addEntry("基本", "按装", "安装");
    writeDocument(QStringLiteral("a.txt"), gbk(QStringLiteral("标题\n我们按装好了。又按装<b>")));
    writeDocument(QStringLiteral("b.htm"), gbk(QStringLiteral("<p>按装</p>")));
    start();
    changeDirectory(documents());
    proofread();
    ASSERT_EQ(grid()->rowCount(), 3);
    grid()->setData(grid()->index(1, 5), Qt::Unchecked, Qt::CheckStateRole);

    const QString table = dir.filePath(QStringLiteral("report.csv"));
    prompter.expectSaveFile(table);
    prompter.expectMessage();
    find("menuExportReport")->trigger();
    EXPECT_EQ(prompter.messages.back().text, QStringLiteral("报告已导出：") + table);
    EXPECT_EQ(readBytes(table),
              QStringLiteral("\uFEFF序号,文件名,位置,行,列,误,正,上下文,修改\r\n"
                             "1,a.txt,10;13,2,3,按装,安装,标题⏎我们【按装】好了。又按装<b,是\r\n"
                             "2,a.txt,22;25,2,9,按装,安装,我们按装好了。又【按装】<b>,否\r\n"
                             "3,b.htm,4;7,1,4,按装,安装,<p>【按装】</p>,是\r\n")
                  .toUtf8());

    const QString page = dir.filePath(QStringLiteral("report.html"));
    prompter.expectSaveFile(page);
    prompter.expectMessage();
    find("menuExportReport")->trigger();
    const QString html = QString::fromUtf8(readBytes(page));
    for (const char* part :
         {"<h2>a.txt</h2>\n<p>错误 2 处，字数 15，差错率 1333.33（每万字）</p>",
          "<h2>b.htm</h2>\n<p>错误 1 处，字数 2，差错率 5000.00（每万字）</p>",
          "<td class=\"n\">2:9</td><td>我们按装好了。又<mark>按装</mark>&lt;b&gt;</td>",
          "<td class=\"n\">2</td><td class=\"n\">17</td><td class=\"n\">3</td>"
          "<td class=\"n\">1764.71</td>"})
        EXPECT_TRUE(html.contains(QString::fromUtf8(part))) << part;
    // Self-contained: nothing to fetch, nothing to run.
    for (const char* outside : {"<script", "src=", "href=", "url("})
        EXPECT_FALSE(html.contains(QLatin1String(outside))) << outside;
}

TEST_F(ProofreadWindowTest, AHitTheEditsMovedSelectsNothingAndSaysSo) {
    addEntry("基本", "按装", "安装");
    addEntry("基本", "问题", "难题");
    writeDocument(QStringLiteral("a.txt"), gbk(QStringLiteral("问题：按装\r\n下一行")));
    start();
    changeDirectory(documents());
    proofread();
    ASSERT_EQ(grid()->rowCount(), 2);
    EXPECT_EQ(row(0)[3], QStringLiteral("按装"));
    // Typed between the two hits: the first still stands where it was found.
    QTextCursor typing(editor()->document());
    typing.setPosition(2);
    typing.insertText(QStringLiteral("加"));
    auto* status = find<QLabel>("statusPanel0");

    pick(1);
    EXPECT_EQ(editor()->textCursor().selectedText(), QStringLiteral("问题"));
    pick(0);
    EXPECT_FALSE(editor()->textCursor().hasSelection());
    EXPECT_EQ(status->text(), QStringLiteral("该处已改动，请重新校对"));
    EXPECT_EQ(grid()->rowCount(), 2);
    pick(1);
    EXPECT_EQ(editor()->textCursor().selectedText(), QStringLiteral("问题"));
    EXPECT_TRUE(status->text().isEmpty());
    EXPECT_TRUE(prompter.allAnswered());
}

TEST_F(ProofreadWindowTest, AProofreadOverUnsavedEditsAsksFirst) {
    addEntry("基本", "按装", "安装");
    const QString path = writeDocument(QStringLiteral("a.txt"), gbk(QStringLiteral("安装")));
    start();
    changeDirectory(documents());
    fileList()->setCurrentRow(0);
    editor()->setPlainText(QStringLiteral("按装"));

    prompter.expectMessage(Prompter::Answer::Cancel);
    find("menuProofread")->trigger();
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, QStringLiteral("文档已修改，是否保存？"));
    EXPECT_EQ(grid()->rowCount(), 0);
    EXPECT_EQ(editor()->toPlainText(), QStringLiteral("按装"));

    // 保存 writes the edits and the pass reads what was saved.
    prompter.expectMessage(Prompter::Answer::Save);
    prompter.expectMessage();
    proofread();
    EXPECT_EQ(prompter.messages[2].text, QStringLiteral("已保存文档！"));
    EXPECT_EQ(readBytes(path), gbk(QStringLiteral("按装")));
    EXPECT_EQ(grid()->rowCount(), 1);
}

TEST_F(ProofreadWindowTest, ProgressCountsTheBytesOfTheDocumentBeingScanned) {
    addEntry("基本", "按装", "安装");
    // Big enough for several progress steps; the pass's first window update
    // comes after the first step.
    QByteArray big = gbk(QStringLiteral("按装"));
    while (big.size() < 3 * Scanner::kProgressStep) big += gbk(QStringLiteral("正文，按装。"));
    writeDocument(QStringLiteral("a.txt"), big);
    writeDocument(QStringLiteral("b.txt"), gbk(QStringLiteral("先按装，再按装")));
    writeDocument(QStringLiteral("c.txt"), gbk(QStringLiteral("按装")));
    start();
    changeDirectory(documents());
    untick(QStringLiteral("c.txt"));
    int maximum = 0, value = 0;
    bool busyShown = false;
    QTimer::singleShot(0, window.get(), [&] {
        maximum = find<QProgressBar>("progressBar")->maximum();
        value = find<QProgressBar>("progressBar")->value();
        busyShown = find<QLabel>("busyLabel")->isVisible() &&
                    find<QLabel>("busyLabel")->text() == QStringLiteral("校对中 ……");
    });
    window->show();
    proofread();
    EXPECT_EQ(maximum, big.size());
    EXPECT_EQ(value, Scanner::kProgressStep);
    EXPECT_TRUE(busyShown);

    // The last ticked document stays in view, its last occurrence selected.
    EXPECT_EQ(state.currentFilePath, documents() + QStringLiteral("/b.txt"));
    EXPECT_EQ(editor()->toPlainText(), QStringLiteral("先按装，再按装"));
    EXPECT_EQ(editor()->textCursor().selectionStart(), 5);
    EXPECT_EQ(editor()->textCursor().selectedText(), QStringLiteral("按装"));
    EXPECT_FALSE(find<QProgressBar>("progressBar")->isVisible());
    EXPECT_EQ(find<QProgressBar>("progressBar")->value(), 0);
    EXPECT_EQ(grid()->rowCount(), static_cast<int>(big.count(gbk(QStringLiteral("按装")))) + 2);
}

TEST_F(ProofreadWindowTest, CommandsDuringTheScanAreIgnoredAndClosingEndsIt) {
    addEntry("基本", "按装", "安装");
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        writeDocument(QString::fromLatin1(name), gbk(QStringLiteral("按装")));
    start();
    changeDirectory(documents());
    // Fires while the scan lets events run: a second scan, Open and a change
    // of directory would pull the ground from under it.
    bool busySeen = false;
    QTimer::singleShot(0, window.get(), [&] {
        busySeen = window->isBusy();
        find("menuProofread")->trigger();
        find("menuOpen")->trigger();
        EXPECT_TRUE(editor()->isReadOnly());
    });
    proofread();
    EXPECT_TRUE(busySeen);
    EXPECT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(grid()->rowCount(), 3);
    EXPECT_EQ(fileList()->count(), 3);

    // Closing the window ends the scan without its final notice.
    QTimer::singleShot(0, window.get(), [&] { window->close(); });
    find("menuProofread")->trigger();
    EXPECT_EQ(prompter.messages.size(), 1u);
    EXPECT_LT(grid()->rowCount(), 3);
    EXPECT_FALSE(window->isBusy());
}

TEST_F(ProofreadWindowTest, TheCommandLineFindsWhatTheWindowFinds) {
    addEntry("基本", "按装", "安装");
    addEntry("高级", "的的", "的", "的的确确");
    addEntry("专业", "问题", "难题");
    writeDocument(QStringLiteral("a.txt"), fixture("gbk_crlf.txt"));
    writeDocument(QStringLiteral("b.fbd"), gbk(QStringLiteral("他的的确确按装了，我的的书")));
    writeDocument(QStringLiteral("c.htm"), fixture("stray.fbd"));
    start();
    changeDirectory(documents());
    find("menuFine")->trigger();
    proofread();
    QByteArray windowRows;
    for (int r = 0; r < grid()->rowCount(); ++r) windowRows += row(r).join('\t').toUtf8() + '\n';

    QBuffer out, err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    window.reset();  // the library is closed as at exit
    EXPECT_EQ(runCheckCommand({QStringLiteral("--library"), libraryPath(), QStringLiteral("--mode"),
                               QStringLiteral("fine"), documents()},
                              QString(), journalDirectory(platform.appDataDir), out, err),
              1);
    EXPECT_GT(windowRows.count('\n'), 3);
    EXPECT_EQ(out.data(), windowRows);
}

}  // namespace
