#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include "gui/library/WordGridModel.h"
#include "gui/library/WordLibraryWindow.h"
#include "support/CaptionRecorder.h"
#include "support/SmallDisk.h"
#include "support/WindowFixture.h"

namespace {

using Icon = Prompter::Icon;

QString u(const char* text) { return QString::fromUtf8(text); }

const char* const kDuplicate =
    "该词汇已经录入！\r\n如需增加例外词汇可查找后予以补充(各例外词汇之间用半角分号“;”隔开";
const char* const kLogicError = "以下行例外情况字段未包含错误字段（逻辑错误）：";
const char* const kSaved = "词汇已注入数据库！";

// The word library window over the main window's own library, shown
// offscreen; cells are edited through the grid's editors as the user does.
class WordLibraryWindowTest : public WindowFixture {
  protected:
    std::unique_ptr<WordLibraryWindow> owned;
    WordLibraryWindow* library = nullptr;  // the window the helpers work on

    void add(const char* grade, const char* category, const char* wrong, const char* right,
             const char* exceptions = "") {
        WordDatabase db;
        ASSERT_NE(db.open(libraryPath()), WordDatabase::OpenResult::Failed);
        WordEntry e;
        e.tgrade = gbk(u(grade));
        e.tclass = gbk(u(category));
        e.terror = gbk(u(wrong));
        e.tright = gbk(u(right));
        e.tbut = gbk(u(exceptions));
        e.tdate = QDateTime(QDate(2020, 1, 1), QTime(0, 0));
        ASSERT_GT(db.addEntry(e), 0);
    }
    WordLibraryWindow& openLibrary() {
        if (!window) start();
        owned = std::make_unique<WordLibraryWindow>(window->database(), prompter, platform,
                                                    window.get());
        library = owned.get();
        library->show();
        settle();
        return *library;
    }
    template <typename T>
    T* control(const char* name) {
        T* found = library->findChild<T*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QTableView* view() { return control<QTableView>("wordGrid"); }
    WordGridModel& grid() { return library->grid(); }
    QStringList row(int r) {
        QStringList cells;
        for (int c = 0; c < WordGridModel::ColumnCount; ++c) cells << grid().cell(r, c);
        return cells;
    }
    QStringList newEntryRow() { return {"", "基本", "通用", "", "", ""}; }
    std::vector<int> pending() { return grid().pendingRows(); }

    // The committed edit and a duplicate warning both arrive through the event loop.
    static void settle() {
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }
    void moveTo(int r, int c) { view()->setCurrentIndex(grid().cellIndex(r, c)); }
    QWidget* openEditor(int r, int c) {
        const QModelIndex index = grid().cellIndex(r, c);
        view()->setCurrentIndex(index);
        view()->edit(index);
        return view()->indexWidget(index);
    }
    void type(int r, int c, const QString& text) {
        auto* editor = qobject_cast<QLineEdit*>(openEditor(r, c));
        ASSERT_NE(editor, nullptr) << r << "," << c;
        editor->setText(text);
        QTest::keyClick(editor, Qt::Key_Return);
        settle();
    }
    void type(int r, int c, const char* text) { type(r, c, u(text)); }
    // Picks an item of a pick-list cell; returns the list as it was offered.
    QStringList pick(int r, int c, const char* item) {
        auto* list = qobject_cast<QComboBox*>(openEditor(r, c));
        EXPECT_NE(list, nullptr) << r << "," << c;
        if (!list) return {};
        QStringList items;
        for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
        list->setCurrentIndex(list->findText(u(item)));
        emit list->activated(list->currentIndex());
        settle();
        return items;
    }
    // Types a whole new entry into the bottom row and moves on, so a new bottom row appears.
    void typeEntry(const char* wrong, const char* right, const char* exceptions = "") {
        const int r = grid().dataRows();
        type(r, 3, wrong);
        type(r, 4, right);
        if (*exceptions) type(r, 5, exceptions);
        moveTo(r, 0);
    }
    void findText(const QString& text) {
        control<QLineEdit>("searchEdit")->setText(text);
        control<QPushButton>("findButton")->click();
        settle();
    }
    void expectWarning() { prompter.expectMessage(); }
    int warnings() const {
        int count = 0;
        for (const auto& m : prompter.messages) {
            if (m.text == u(kDuplicate)) {
                EXPECT_EQ(m.icon, Icon::Error);
                EXPECT_EQ(m.title, u("提示："));
                ++count;
            }
        }
        return count;
    }
    // Clicks 保  存 and returns the text of the one notice it gives.
    QString save() {
        const std::size_t before = prompter.messages.size();
        prompter.expectMessage();
        control<QPushButton>("saveButton")->click();
        EXPECT_EQ(prompter.messages.size(), before + 1);
        if (prompter.messages.size() != before + 1) return {};
        const auto& notice = prompter.messages.back();
        EXPECT_EQ(notice.icon, Icon::Information);
        EXPECT_EQ(notice.title, u("提示："));
        EXPECT_FALSE(control<QLabel>("savingLabel")->isVisible());
        EXPECT_FALSE(control<QProgressBar>("saveProgress")->isVisible());
        return notice.text;
    }
    std::vector<WordEntry> stored() { return window->database().allEntries(); }
};

TEST_F(WordLibraryWindowTest, AnEmptyLibraryGivesTheHeaderAndOneNewEntryRow) {
    openLibrary();
    EXPECT_EQ(library->windowTitle(), u("词库"));
    EXPECT_EQ(library->size(), QSize(602, 390));
    // Larger, the grid takes the room and the buttons keep to the bottom;
    // never smaller than the design; the exception column holds a few phrases.
    library->resize(902, 590);
    EXPECT_EQ(view()->size(), QSize(852, 464));
    EXPECT_EQ(control<QPushButton>("saveButton")->pos(), QPoint(458, 508));
    library->resize(300, 200);
    EXPECT_EQ(library->size(), QSize(602, 390));
    EXPECT_GE(view()->columnWidth(WordGridModel::ExceptionColumn), 3 * view()->columnWidth(1));
    QStringList headers;
    for (int c = 0; c < WordGridModel::ColumnCount; ++c) {
        headers << grid().headerData(c, Qt::Horizontal).toString();
        EXPECT_EQ(grid().headerData(c, Qt::Horizontal, Qt::ForegroundRole).value<QBrush>().color(),
                  QColor(0, 0, 128));
    }
    EXPECT_EQ(headers, QStringList({"序号", "级别", "类别", "错误字段", "正确字段", "例外情况"}));
    ASSERT_EQ(grid().dataRows(), 1);
    EXPECT_EQ(row(1), newEntryRow());
    EXPECT_FALSE(grid().flags(grid().cellIndex(1, 0)) & Qt::ItemIsEditable);

    // Nothing edited yet: nothing to save, and the progress never shows.
    EXPECT_EQ(save(), u("没有更新信息！"));
    EXPECT_TRUE(stored().empty());
}

TEST_F(WordLibraryWindowTest, EntriesFollowAscendingTidAboveANewEntryRow) {
    add("基本", "通用", "按装", "安装");
    add("高级", "计算机", "帐号", "账号", "帐号表;老帐号");
    add("专业", "", "it's", "it is", "a'b;[c]");
    openLibrary();
    ASSERT_EQ(grid().dataRows(), 4);
    EXPECT_EQ(row(1), QStringList({"1", "基本", "通用", "按装", "安装", ""}));
    EXPECT_EQ(row(2), QStringList({"2", "高级", "计算机", "帐号", "账号", "帐号表;老帐号"}));
    EXPECT_EQ(row(3), QStringList({"3", "专业", "", "it's", "it is", "a'b;[c]"}));
    EXPECT_EQ(row(4), newEntryRow());
    EXPECT_TRUE(pending().empty());
}

TEST_F(WordLibraryWindowTest, OnlyAWrongFormInTheBottomRowAppendsANewRow) {
    openLibrary();
    type(1, 4, "安装");
    moveTo(1, 5);
    EXPECT_EQ(grid().dataRows(), 1);
    EXPECT_EQ(pending(), std::vector<int>({1}));

    type(1, 3, "按装");
    EXPECT_EQ(grid().dataRows(), 1);  // not before the current cell moves
    moveTo(1, 1);
    ASSERT_EQ(grid().dataRows(), 2);
    EXPECT_EQ(row(2), newEntryRow());
    EXPECT_EQ(pending(), std::vector<int>({1}));  // once, however often edited

    // What the user picked in the bottom row stays when the current cell moves.
    pick(2, 1, "高级");
    pick(2, 2, "医学");
    moveTo(1, 1);
    EXPECT_EQ(row(2), QStringList({"", "高级", "医学", "", "", ""}));
    EXPECT_EQ(grid().dataRows(), 2);
    EXPECT_TRUE(prompter.messages.empty());

    // Closing drops the edits without a question; the next opening starts afresh.
    library->close();
    EXPECT_TRUE(prompter.messages.empty());
    openLibrary();
    EXPECT_EQ(grid().dataRows(), 1);
    EXPECT_TRUE(pending().empty());
}

TEST_F(WordLibraryWindowTest, TheDefaultCategoryGoesOnlyNextToTheBasicGrade) {
    add("高级", "", "帐号", "账号");
    add("基本", "", "按装", "安装");
    openLibrary();
    EXPECT_EQ(pick(1, 1, "专业"), QStringList({"基本", "高级", "专业"}));
    EXPECT_EQ(grid().cell(1, 2), u(""));
    EXPECT_EQ(pick(1, 2, "医学"),
              QStringList({"通用", "计算机", "哲学", "经济学", "政治法学", "教育学", "文学艺术",
                           "历史学", "理学", "工学", "农学", "医学", "管理学"}));
    EXPECT_EQ(grid().cell(1, 2), u("医学"));

    // Before the edit of any cell starts, an empty category next to 基本 is filled in.
    QWidget* editor = openEditor(2, 5);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(grid().cell(2, 2), u("通用"));
    QTest::keyClick(editor, Qt::Key_Escape);
    settle();
    EXPECT_EQ(pending(), std::vector<int>({1}));  // a cancelled edit commits nothing

    // Picking 基本 fills an empty category when the edit is committed.
    add("高级", "", "的的", "的");
    openLibrary();
    ASSERT_EQ(row(3), QStringList({"3", "高级", "", "的的", "的", ""}));
    pick(3, 1, "基本");
    EXPECT_EQ(grid().cell(3, 2), u("通用"));
    EXPECT_EQ(pending(), std::vector<int>({3}));
}

TEST_F(WordLibraryWindowTest, TheDuplicateWarningNamesOnlyAPairOfAnotherRow) {
    add("基本", "通用", "按装", "安装");
    openLibrary();
    type(2, 3, "按装");
    EXPECT_EQ(warnings(), 0);  // the pair is not complete yet
    expectWarning();
    type(2, 4, "安装");
    EXPECT_EQ(warnings(), 1);
    expectWarning();
    type(2, 5, "按装好");  // still the stored entry's pair
    EXPECT_EQ(warnings(), 2);
    moveTo(2, 0);

    // A new row's own pair never counts against it.
    typeEntry("新词", "新正", "新词语");
    EXPECT_EQ(warnings(), 2);
    // Another new row with it does, and from then on the first row has a twin too.
    expectWarning();
    typeEntry("新词", "新正");
    EXPECT_EQ(warnings(), 3);
    expectWarning();
    type(3, 5, "新词组");
    EXPECT_EQ(warnings(), 4);

    // Saved rows get no warning, whatever is edited.
    type(1, 5, "按装上");
    EXPECT_EQ(warnings(), 4);
    EXPECT_EQ(pending(), std::vector<int>({2, 3, 4, 1}));

    // The warning is advice only: both rows with the same pair become records.
    EXPECT_EQ(save(), u(kSaved));
    EXPECT_EQ(window->database().entriesWithForms(gbk(u("新词")), gbk(u("新正"))).size(), 2u);
    EXPECT_EQ(window->database().entriesWithForms(gbk(u("按装")), gbk(u("安装"))).size(), 2u);
    EXPECT_EQ(stored().size(), 4u);
    EXPECT_TRUE(prompter.allAnswered());
}

TEST_F(WordLibraryWindowTest, FindMatchesTheWholeWrongFormAndScrollsItToTheTenthLine) {
    for (int i = 1; i <= 30; ++i) {
        const QByteArray wrong = i == 3 ? "Ab" : i == 4 ? "abc" : "词" + QByteArray::number(i);
        add("基本", "通用", wrong.constData(), "正");
    }
    openLibrary();
    QScrollBar* bar = view()->verticalScrollBar();
    ASSERT_EQ(grid().dataRows(), 31);
    auto selectedRows = [&] {
        QList<int> rows;
        for (const QModelIndex& i : view()->selectionModel()->selectedIndexes())
            rows << grid().gridRow(i);
        std::sort(rows.begin(), rows.end());
        return rows;
    };
    auto topRow = [&] { return grid().gridRow(view()->indexAt(QPoint(1, 1))); };

    findText(u("词20"));
    EXPECT_EQ(selectedRows(), QList<int>(6, 20));
    EXPECT_EQ(topRow(), 11);  // row 20 is the tenth line below the header
    EXPECT_TRUE(view()->viewport()->rect().intersects(view()->visualRect(grid().cellIndex(20, 3))));

    findText(u("词5"));
    EXPECT_EQ(selectedRows(), QList<int>(6, 5));
    EXPECT_EQ(topRow(), 1);

    // Exact and case-sensitive: neither the start of abc nor Ab; no message.
    findText(u("ab"));
    EXPECT_EQ(selectedRows(), QList<int>(6, 5));
    EXPECT_EQ(bar->value(), std::min(bar->maximum(), 32 - 10));
    findText(u("Ab"));
    EXPECT_EQ(selectedRows(), QList<int>(6, 3));
    EXPECT_EQ(bar->value(), 0);

    // The empty text finds the first empty wrong form: the new-entry row.
    findText(QString());
    EXPECT_EQ(selectedRows(), QList<int>(6, 31));
    EXPECT_EQ(bar->value(), std::min(bar->maximum(), 31 - 10));
    EXPECT_EQ(grid().dataRows(), 31);
    EXPECT_TRUE(prompter.messages.empty());
}

TEST_F(WordLibraryWindowTest, TheLogicCheckSearchesTheWrongFormInTheWholeExceptionText) {
    openLibrary();
    typeEntry("的的", "的", "他的的确确");
    typeEntry("得得", "的", "他的的确确");
    typeEntry("ab", "AB", "ab;xy");
    typeEntry("cd", "CD", "   ");
    typeEntry("", "某", "某某");  // exceptions without a wrong form
    ASSERT_EQ(pending(), std::vector<int>({1, 2, 3, 4, 5}));

    CaptionRecorder recorder;
    control<QLabel>("savingLabel")->installEventFilter(&recorder);
    EXPECT_EQ(save(), u(kLogicError) + u("序号：得得;（空）"));
    EXPECT_EQ(recorder.captions, QStringList({"检查新增词汇逻辑关系是否正确 ……"}));
    EXPECT_EQ(control<QProgressBar>("saveProgress")->maximum(), 5);
    EXPECT_TRUE(stored().empty());
    EXPECT_EQ(pending(), std::vector<int>({1, 3, 4}));
    EXPECT_EQ(row(1)[0], u(""));

    // The rows that passed are written by the next save; the others wait for an edit.
    recorder.captions.clear();
    EXPECT_EQ(save(), u(kSaved));
    EXPECT_EQ(recorder.captions,
              QStringList({"检查新增词汇逻辑关系是否正确 ……", "正在保存数据 ……"}));
    const auto entries = stored();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].terror, gbk(u("的的")));
    EXPECT_EQ(entries[1].tbut, gbk(u("ab;xy")));
    EXPECT_EQ(entries[2].terror, "cd");
    EXPECT_EQ(entries[2].tbut, "");
    EXPECT_EQ(row(1)[0], QString::number(entries[0].tid));
    EXPECT_EQ(row(2)[0], u(""));
    EXPECT_TRUE(pending().empty());
    EXPECT_EQ(save(), u("没有更新信息！"));

    type(2, 5, "懂得得到");
    EXPECT_EQ(save(), u(kSaved));
    EXPECT_EQ(stored().size(), 4u);
}

TEST_F(WordLibraryWindowTest, SavingTrimsAsciiSpacesAndStoresEveryCharacterAsTyped) {
    openLibrary();
    typeEntry("  ab ", " it's ", "　ab　;[x]'y ");
    EXPECT_EQ(save(), u(kSaved));
    const auto entries = stored();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].tgrade, gbk(u("基本")));
    EXPECT_EQ(entries[0].tclass, gbk(u("通用")));
    EXPECT_EQ(entries[0].terror, "ab");
    EXPECT_EQ(entries[0].tright, "it's");
    EXPECT_EQ(entries[0].tbut, gbk(u("　ab　;[x]'y")));  // full-width spaces are text
    EXPECT_EQ(entries[0].tdate, platform.clock);
    EXPECT_EQ(row(1), QStringList({QString::number(entries[0].tid), "基本", "通用", "  ab ",
                                   " it's ", "　ab　;[x]'y "}));

    // A character that GBK cannot hold stops the whole save, with its own message.
    typeEntry("好", "佳");
    typeEntry("한국", "韩国");
    typeEntry("按装", "安装", "按装한");
    ASSERT_EQ(pending().size(), 3u);
    EXPECT_EQ(save(), u("以下行含有不能以GBK保存的字符：序号：한국;按装"));
    EXPECT_EQ(stored().size(), 1u);
    EXPECT_EQ(pending(), std::vector<int>({2}));
}

TEST_F(WordLibraryWindowTest, ASavedRowUpdatesItsOwnRecordAndKeepsClearedExceptions) {
    add("基本", "通用", "按装", "安装", "按装置");
    openLibrary();
    typeEntry("帐号", "账号", "帐号表");
    EXPECT_EQ(save(), u(kSaved));
    auto entries = stored();
    ASSERT_EQ(entries.size(), 2u);
    const qint64 tid = entries[1].tid;
    EXPECT_EQ(row(2)[0], QString::number(tid));

    // The row is saved now: a new edit updates the same record, with the new moment.
    platform.clock = platform.clock.addSecs(3600);
    type(2, 4, "帐户");
    pick(2, 1, "高级");
    type(2, 5, "");
    type(1, 5, "");
    EXPECT_EQ(pending(), std::vector<int>({2, 1}));
    EXPECT_EQ(save(), u(kSaved));
    entries = stored();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].tid, tid);
    EXPECT_EQ(entries[1].tgrade, gbk(u("高级")));
    EXPECT_EQ(entries[1].tright, gbk(u("帐户")));
    EXPECT_EQ(entries[1].tbut, gbk(u("帐号表")));
    EXPECT_EQ(entries[1].tdate, platform.clock);
    EXPECT_EQ(entries[0].tbut, gbk(u("按装置")));
    EXPECT_EQ(entries[0].tdate, platform.clock);
}

TEST_F(WordLibraryWindowTest, ARowWithoutAWrongFormIsSkippedAndTheRowsAfterItAreWritten) {
    add("基本", "通用", "按装", "安装");
    openLibrary();
    type(1, 3, "  ");
    typeEntry("帐号", "账号");
    typeEntry("的的", "的");
    EXPECT_EQ(pending(), std::vector<int>({1, 2, 3}));
    EXPECT_EQ(save(), u(kSaved) + u("\r\n已跳过错误字段为空的行：1行"));
    const auto entries = stored();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].terror, gbk(u("按装")));
    EXPECT_EQ(entries[2].terror, gbk(u("的的")));
    EXPECT_TRUE(pending().empty());
}

// The whole road: the window opens modally from the main window, and the next
// 校对 applies what it saved.
TEST_F(WordLibraryWindowTest, TheNextProofreadFindsTheEntriesSavedInTheWindow) {
    add("基本", "通用", "帐号", "账号");
    writeDocument(QStringLiteral("a.txt"), gbk(u("请按装软件，登录帐号。")));
    start();
    changeDirectory(documents());

    bool modal = false;
    QTimer::singleShot(0, window.get(), [&] {
        auto* dialog = qobject_cast<WordLibraryWindow*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        modal = dialog->isModal();
        library = dialog;
        typeEntry("按装", "安装");
        EXPECT_EQ(save(), u(kSaved));
        dialog->reject();
    });
    window->onToolbarButton(7);
    EXPECT_TRUE(modal);

    prompter.expectMessage();
    find("menuProofread")->trigger();
    EXPECT_EQ(prompter.messages.back().text, u("校对完毕！"));
    auto* hits = find<QTableView>("resultGrid")->model();
    QStringList found;
    for (int r = 0; r < hits->rowCount(); ++r)
        found << hits->index(r, 3).data().toString() + u("→") + hits->index(r, 4).data().toString();
    found.sort();
    EXPECT_EQ(found, QStringList({"帐号→账号", "按装→安装"}));

    // Every opening reads the library afresh.
    QStringList reopened;
    QTimer::singleShot(0, window.get(), [&] {
        auto* dialog = qobject_cast<WordLibraryWindow*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        for (int c = 0; c < 6; ++c) reopened << dialog->grid().cell(2, c);
        dialog->reject();
    });
    find("menuAddWord")->trigger();
    EXPECT_EQ(reopened, QStringList({"2", "基本", "通用", "按装", "安装", ""}));
    EXPECT_TRUE(prompter.allAnswered());
}

// A library on a read-only disk (read-only even for root): it is read, 校对
// applies it, and 保  存 says it cannot be written.
TEST_F(WordLibraryWindowTest, AReadOnlyLibraryIsReadButNotWritten) {
    SmallDisk disk(1024 * 1024);
    if (!disk.available()) GTEST_SKIP() << "needs root to mount a small disk";
    platform.programDir = disk.path() + QStringLiteral("/");
    add("基本", "通用", "按装", "安装");
    ASSERT_TRUE(disk.makeReadOnly());
    writeDocument(QStringLiteral("a.txt"), gbk(u("请按装软件。")));
    openLibrary();
    EXPECT_EQ(row(1), QStringList({"1", "基本", "通用", "按装", "安装", ""}));
    typeEntry("帐号", "账号");
    EXPECT_EQ(save(), u("词库为只读，无法保存！"));
    EXPECT_EQ(stored().size(), 1u);
    owned.reset();

    changeDirectory(documents());
    prompter.expectMessage();
    find("menuProofread")->trigger();
    EXPECT_EQ(prompter.messages.back().text, u("校对完毕！"));
    EXPECT_EQ(find<QTableView>("resultGrid")->model()->rowCount(), 1);

    // The exchanges that would store something say so before reaching out.
    for (const char* action : {"menuUpdateWords", "menuAutoUpdate"}) {
        prompter.expectMessage();
        find(action)->trigger();
        EXPECT_EQ(prompter.messages.back().text, u("词库为只读，无法保存！")) << action;
    }
    EXPECT_FALSE(find("menuAutoUpdate")->isChecked());
}

TEST_F(WordLibraryWindowTest, AFullDiskIsNamedWhenTheLibraryIsMadeAndWhenItIsSaved) {
    SmallDisk disk(1024 * 1024);
    if (!disk.available()) GTEST_SKIP() << "needs root to mount a small disk";
    platform.programDir = disk.path() + QStringLiteral("/");
    disk.fill();
    prompter.expectMessage();
    start();
    ASSERT_FALSE(prompter.messages.empty());
    EXPECT_EQ(prompter.messages.back().icon, Icon::Error);
    EXPECT_EQ(prompter.messages.back().text,
              u("词库文件无法创建：") + libraryPath() + u("（磁盘空间不足）"));

    window.reset();
    QFile::remove(disk.filePath(QStringLiteral("filler")));
    openLibrary();
    disk.fill();
    typeEntry("帐号", "账号");
    prompter.expectMessage();
    control<QPushButton>("saveButton")->click();
    EXPECT_EQ(prompter.messages.back().icon, Icon::Error);
    EXPECT_TRUE(prompter.messages.back().text.contains(u("磁盘空间不足")))
        << prompter.messages.back().text.toStdString();
    EXPECT_TRUE(prompter.allAnswered());
}

}  // namespace
