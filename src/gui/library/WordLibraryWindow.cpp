#include "gui/library/WordLibraryWindow.h"

#include <QBrush>
#include <QElapsedTimer>
#include <QFrame>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <functional>

#include "gui/library/EntrySaver.h"
#include "gui/library/WordCellDelegate.h"
#include "gui/library/WordGridModel.h"
#include "library/WordDatabase.h"
#include "library/WritableLibrary.h"
#include "platform/Prompter.h"

namespace {

const QColor kHeaderColour(0, 0, 128);
constexpr int kColumnWidth = 80;
constexpr int kRowHeight = 24;
constexpr QSize kDesignSize(602, 390);
// Room for a few exception phrases.
constexpr int kExceptionColumnWidth = 3 * kColumnWidth;
// A found row ends as this data row of the visible part of the grid.
constexpr int kFoundRowLine = 10;
// Painting every step would slow a big save down; the eye needs no more.
constexpr qint64 kRepaintIntervalMs = 33;

template <typename T>
T* named(T* object, const char* name) {
    object->setObjectName(QLatin1String(name));
    return object;
}

// Shows a save's progress in the window while it blocks the event loop.
class SaveDisplay : public EntrySaver::Progress {
  public:
    SaveDisplay(QLabel* label, QProgressBar* bar, std::function<void(int)> selectRow)
        : label(label), bar(bar), selectRow(std::move(selectRow)) {}

    void checkStarted(int total) override {
        label->setText(QStringLiteral("检查新增词汇逻辑关系是否正确 ……"));
        label->show();
        label->repaint();
        bar->setRange(0, total);
        bar->setValue(0);
        bar->show();
        bar->repaint();
        sincePaint.start();
    }
    void writingStarted() override {
        label->setText(QStringLiteral("正在保存数据 ……"));
        label->repaint();
    }
    void rowReached(int row) override { selectRow(row); }
    void positionChanged(int position) override {
        bar->setValue(position);
        if (position == bar->maximum() || sincePaint.elapsed() >= kRepaintIntervalMs) {
            bar->repaint();
            sincePaint.restart();
        }
    }
    void finished() override {
        bar->hide();
        label->hide();
    }

  private:
    QLabel* label;
    QProgressBar* bar;
    std::function<void(int)> selectRow;
    QElapsedTimer sincePaint;
};

}  // namespace

WordLibraryWindow::WordLibraryWindow(WordDatabase& database, Prompter& prompter, Platform& platform,
                                     QWidget* parent)
    : QDialog(parent), database(database), prompter(prompter), platform(platform) {
    setObjectName(QStringLiteral("WordLibraryWindow"));
    setWindowTitle(QStringLiteral("词库"));
    // The design's size at least; larger, the grid takes the room.
    resize(kDesignSize);
    setMinimumSize(kDesignSize);
    move(50, 50);
    buildControls();
    load();
}

WordLibraryWindow::~WordLibraryWindow() = default;

void WordLibraryWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    // At the design size the design's own places; the grid grows with the
    // window and the controls below it keep their distance from the bottom.
    const int dx = width() - kDesignSize.width(), dy = height() - kDesignSize.height();
    label1->setGeometry(0, 0, 600 + dx, 400 + dy);
    frameShape->setGeometry(24, 28, 552 + dx, 264 + dy);
    wordGrid->setGeometry(1, 1, 552 + dx, 264 + dy);
    searchLabel->move(50, 312 + dy);
    searchEdit->move(208, 312 + dy);
    findButton->move(344, 308 + dy);
    saveButton->move(458, 308 + dy);
}

void WordLibraryWindow::buildControls() {
    label1 = named(new QLabel(this), "label1");
    label1->setGeometry(0, 0, 600, 400);

    frameShape = named(new QFrame(this), "frameShape");
    frameShape->setFrameShape(QFrame::Box);
    frameShape->setGeometry(24, 28, 552, 264);

    model = new WordGridModel(this);
    model->setObjectName(QStringLiteral("wordGridModel"));
    wordGrid = named(new QTableView(frameShape), "wordGrid");
    wordGrid->setGeometry(1, 1, 552, 264);
    wordGrid->setModel(model);
    wordGrid->setItemDelegate(new WordCellDelegate(
        [this](const QModelIndex& index) { return prepareCellEditor(index); }, wordGrid));
    // The 序号 column stands where a row header would; fixed sizes keep a
    // library of tens of thousands of rows from being measured row by row.
    wordGrid->verticalHeader()->hide();
    wordGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    wordGrid->verticalHeader()->setDefaultSectionSize(kRowHeight);
    wordGrid->horizontalHeader()->setDefaultSectionSize(kColumnWidth);
    wordGrid->setColumnWidth(WordGridModel::ExceptionColumn, kExceptionColumnWidth);
    // The header is a row of the grid, as high as the others, so that ten data
    // rows fit below it and a found row shows as the tenth.
    wordGrid->horizontalHeader()->setFixedHeight(kRowHeight);
    wordGrid->horizontalHeader()->setHighlightSections(false);
    wordGrid->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    wordGrid->setWordWrap(false);
    connect(wordGrid->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { keepNewEntryRow(); });
    connect(model, &WordGridModel::cellCommitted, this, &WordLibraryWindow::checkAndMarkRow);

    searchLabel = named(new QLabel(QStringLiteral("从“错误字段”中查找"), this), "searchLabel");
    searchLabel->setAttribute(Qt::WA_TranslucentBackground);
    searchLabel->setGeometry(50, 312, 150, 24);
    searchEdit = named(new QLineEdit(this), "searchEdit");
    searchEdit->setGeometry(208, 312, 120, 24);
    connect(searchEdit, &QLineEdit::returnPressed, this, &WordLibraryWindow::find);

    findButton = named(new QPushButton(QStringLiteral("查  找"), this), "findButton");
    findButton->setGeometry(344, 308, 80, 32);
    connect(findButton, &QPushButton::clicked, this, &WordLibraryWindow::find);
    saveButton = named(new QPushButton(QStringLiteral("保  存"), this), "saveButton");
    saveButton->setGeometry(458, 308, 80, 32);
    connect(saveButton, &QPushButton::clicked, this, &WordLibraryWindow::saveEditedRows);
    // Enter belongs to the cell being edited, never to a button.
    for (QPushButton* button : {findButton, saveButton}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    savingLabel = named(new QLabel(QStringLiteral("正在保存数据……"), this), "savingLabel");
    savingLabel->setGeometry(174, 128, 248, 24);
    savingLabel->setAutoFillBackground(true);
    savingLabel->hide();
    saveProgress = named(new QProgressBar(this), "saveProgress");
    saveProgress->setGeometry(138, 168, 320, 24);
    saveProgress->hide();
}

void WordLibraryWindow::load() {
    for (int column = 0; column < WordGridModel::ColumnCount; ++column)
        model->setHeaderData(column, Qt::Horizontal, QBrush(kHeaderColour), Qt::ForegroundRole);
    const std::vector<WordEntry> entries = database.allEntries();
    if (!database.lastError().isEmpty()) {
        // An empty grid would pass for an empty library.
        prompter.notify(Prompter::Icon::Error, QStringLiteral("提示："),
                        QStringLiteral("词库读取失败：") + database.lastError());
    }
    model->load(entries);
}

void WordLibraryWindow::keepNewEntryRow() { model->keepNewEntryRow(); }

QStringList WordLibraryWindow::prepareCellEditor(const QModelIndex& index) {
    model->applyDefaultCategory(model->gridRow(index));
    return model->dropDownItems(index.column());
}

void WordLibraryWindow::checkAndMarkRow(int row, int column) {
    if (!model->checkAndMarkRow(row, column) || duplicateWarningDue) return;
    // The edit is still being committed; a box now would pull the focus from
    // the editor in the middle of it.
    duplicateWarningDue = true;
    QTimer::singleShot(0, this, &WordLibraryWindow::showDuplicateWarning);
}

void WordLibraryWindow::showDuplicateWarning() {
    if (!duplicateWarningDue) return;
    duplicateWarningDue = false;
    prompter.notify(Prompter::Icon::Error, QStringLiteral("提示："),
                    QStringLiteral("该词汇已经录入！\r\n如需增加例外词汇可查找后予以补充(各例外词汇"
                                   "之间用半角分号“;”隔开"));
}

void WordLibraryWindow::find() {
    const int found = model->findWrongForm(searchEdit->text());
    if (found > 0) selectRow(found);
    // From the top, one line per row beyond the tenth: the found row, or the
    // end when nothing matched, becomes the tenth visible row.
    const int target = found > 0 ? found : model->dataRows() + 1;
    wordGrid->doItemsLayout();
    QScrollBar* bar = wordGrid->verticalScrollBar();
    bar->setValue(bar->minimum());
    const int lines = std::max(0, target - kFoundRowLine);
    bar->setValue(std::min(bar->maximum(), bar->minimum() + lines * bar->singleStep()));
}

void WordLibraryWindow::selectRow(int row) {
    QItemSelectionModel* selection = wordGrid->selectionModel();
    selection->setCurrentIndex(model->cellIndex(row, 0), QItemSelectionModel::NoUpdate);
    selection->select(QItemSelection(model->cellIndex(row, 0),
                                     model->cellIndex(row, WordGridModel::ColumnCount - 1)),
                      QItemSelectionModel::ClearAndSelect);
}

void WordLibraryWindow::saveEditedRows() {
    showDuplicateWarning();
    if (!requireWritable(database, prompter)) return;
    EntrySaver saver(*model, database, platform);
    SaveDisplay display(savingLabel, saveProgress, [this](int row) { selectRow(row); });
    const EntrySaver::Result result = saver.save(display);
    const QString title = QStringLiteral("提示：");
    switch (result.outcome) {
        case EntrySaver::Outcome::NothingPending:
            prompter.notify(Prompter::Icon::Information, title, QStringLiteral("没有更新信息！"));
            break;
        case EntrySaver::Outcome::Rejected:
            if (!result.logicFailures.isEmpty())
                prompter.notify(Prompter::Icon::Information, title,
                                QStringLiteral("以下行例外情况字段未包含错误字段（逻辑错误）：") +
                                    result.logicFailures);
            if (!result.unencodableFailures.isEmpty())
                prompter.notify(
                    Prompter::Icon::Information, title,
                    QStringLiteral("以下行含有不能以GBK保存的字符：") + result.unencodableFailures);
            break;
        case EntrySaver::Outcome::Saved: {
            QString text = QStringLiteral("词汇已注入数据库！");
            if (result.skipped > 0)
                text += QStringLiteral("\r\n已跳过错误字段为空的行：%1行").arg(result.skipped);
            prompter.notify(Prompter::Icon::Information, title, text);
            break;
        }
        case EntrySaver::Outcome::Failed:
            prompter.notify(Prompter::Icon::Error, title,
                            QStringLiteral("保存词汇时出错：") + result.error +
                                QStringLiteral("\r\n出错的行和其后的行尚未保存，可再次保存。"));
            break;
    }
}
