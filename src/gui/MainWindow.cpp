#include "gui/MainWindow.h"

#include <QAction>
#include <QBrush>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QToolBar>

#include "documents/DocumentFile.h"
#include "gui/AboutWindow.h"
#include "gui/ProgramState.h"
#include "gui/documents/DirectoryBox.h"
#include "gui/proofread/HitColumns.h"
#include "gui/proofread/HitTableModel.h"
#include "library/LibraryLocation.h"
#include "library/Settings.h"
#include "platform/Platform.h"
#include "platform/Prompter.h"
#include "proofread/CorrectionJournal.h"
#include "proofread/HitContext.h"
#include "text/FileName.h"

namespace {

// Red 0x58, green 0x30, blue 0xE0: the header colour of the hit list.
const QColor kResultHeaderColour(0x58, 0x30, 0xE0);
constexpr int kToolbarHeight = 46;

template <typename T>
T* named(T* object, const char* name) {
    object->setObjectName(QLatin1String(name));
    return object;
}

}  // namespace

MainWindow::MainWindow(ProgramState& state, Platform& platform, Prompter& prompter, QWidget* parent)
    : QMainWindow(parent), state(state), platform(platform), prompter(prompter) {
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("Tavrel"));
    buildControls();
    buildMenus();
    buildToolbar();
    move(50, 50);
    resize(778, 519);
    // Below the design size the panels would overlap.
    setMinimumSize(778, 519);
    onMainWindowCreated();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildControls() {
    central = named(new QWidget(this), "central");
    setCentralWidget(central);

    label1 = named(new QLabel(central), "label1");
    label1->setAutoFillBackground(true);

    statusPanel0 = named(new QLabel(this), "statusPanel0");
    statusBar()->setObjectName(QStringLiteral("statusBar"));
    statusBar()->addWidget(statusPanel0, 1);
    encodingPanel = named(new QLabel(this), "encodingPanel");
    statusBar()->addPermanentWidget(encodingPanel);

    filePanel = named(new QGroupBox(central), "filePanel");
    driveBox = named(new QComboBox(filePanel), "driveBox");
    driveBox->addItems(platform.drives());
    directoryBox = named(new DirectoryBox(filePanel), "directoryBox");
    fileListLabel = named(new QLabel(QStringLiteral("文件列表"), filePanel), "fileListLabel");
    fileCheckList = named(new QListWidget(filePanel), "fileCheckList");
    drawPad = named(new QFrame(filePanel), "drawPad");
    modeLabel = named(new QLabel(QStringLiteral("校对方式："), drawPad), "modeLabel");
    quickModeRadio = named(new QRadioButton(QStringLiteral("快速"), drawPad), "quickModeRadio");
    fineModeRadio = named(new QRadioButton(QStringLiteral("精细"), drawPad), "fineModeRadio");
    professionalModeRadio =
        named(new QRadioButton(QStringLiteral("专业"), drawPad), "professionalModeRadio");
    // The handlers set all three states themselves, which an exclusive group would undo.
    for (QRadioButton* radio : {quickModeRadio, fineModeRadio, professionalModeRadio})
        radio->setAutoExclusive(false);
    quickModeRadio->setChecked(true);
    professionalModeRadio->setEnabled(false);
    fileListLabel->setGeometry(150, 21, 192, 24);
    driveBox->setGeometry(16, 24, 136, 20);
    modeLabel->setGeometry(12, 10, 65, 24);
    quickModeRadio->setGeometry(35, 40, 56, 24);
    fineModeRadio->setGeometry(35, 72, 56, 24);
    professionalModeRadio->setGeometry(35, 104, 56, 24);

    documentEdit = named(new QPlainTextEdit(central), "documentEdit");
    // A scroll bar that appears narrows the text, and Qt then gives every line
    // of the document a layout of its own: for a large one, hundreds of megabytes.
    documentEdit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    resultGrid = named(new QTableView(central), "resultGrid");
    hitRows = new HitTableModel(resultGrid);
    resultGrid->setModel(hitRows);
    errorFileList = named(new QListWidget(central), "errorFileList");
    errorFileList->hide();
    busyLabel = named(new QLabel(QStringLiteral("校对中……"), central), "busyLabel");
    busyLabel->setAlignment(Qt::AlignCenter);
    // It stands over the document's text: without a ground of its own the
    // two would be read through each other.
    busyLabel->setFrameShape(QFrame::Box);
    busyLabel->setAutoFillBackground(true);
    busyLabel->hide();
    progressBar = named(new QProgressBar(central), "progressBar");
    progressBar->hide();
    label4 = named(new QLabel(central), "label4");
    label4->setAlignment(Qt::AlignCenter);
    label4->setFrameShape(QFrame::Box);
    label4->setAutoFillBackground(true);
    label4->hide();
    cancelDownloadButton =
        named(new QPushButton(QStringLiteral("取消"), central), "cancelDownloadButton");
    cancelDownloadButton->hide();
    connect(cancelDownloadButton, &QPushButton::clicked, this,
            [this] { downloadCancelled = true; });

    connect(driveBox, &QComboBox::activated, this, [this] {
        if (!busy) onDriveChanged();
    });
    connect(directoryBox, &DirectoryBox::directoryChanged, this, [this] {
        if (!busy) fillFileList();
    });
    connect(fileCheckList, &QListWidget::itemSelectionChanged, this, [this] {
        if (!busy) loadSelectedDocument();
    });
    connect(documentEdit, &QPlainTextEdit::textChanged, this, [this] { markDocumentDirty(); });
    connect(quickModeRadio, &QRadioButton::clicked, this, [this] { selectQuickMode(); });
    connect(fineModeRadio, &QRadioButton::clicked, this, [this] { selectFineMode(); });
    connect(resultGrid->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { showSelectedHit(); });
    // The keyboard stays in the hit list while its hits are shown: the
    // editor's selection must show without focus too.
    QPalette editorColours = documentEdit->palette();
    for (const QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        editorColours.setColor(QPalette::Inactive, role,
                               editorColours.color(QPalette::Active, role));
    documentEdit->setPalette(editorColours);
    resultGrid->installEventFilter(this);
    // A click on a tick does not move the current row by itself: the row
    // whose tick was clicked is the one shown.
    connect(resultGrid, &QTableView::clicked, this, [this](const QModelIndex& index) {
        if (index.isValid() && index.row() != resultGrid->currentIndex().row())
            resultGrid->setCurrentIndex(index);
    });
    buildHitActions();
    draggedColumnWidths.assign(kHitColumns, 0);
    connect(resultGrid->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int column, int, int width) {
                if (!applyingLayout && column < kHitColumns) draggedColumnWidths[column] = width;
            });
}

void MainWindow::buildMenus() {
    QMenuBar* mainMenu = menuBar();
    mainMenu->setObjectName(QStringLiteral("mainMenu"));
    // While a scan or a correction runs, the commands that would pull the
    // ground from under it are ignored; the modes, About, usage and exit stay.
    auto item = [this](QMenu* menu, const char* caption, const char* name,
                       void (MainWindow::*run)(), bool ignoredWhileBusy = true) {
        QAction* action = named(menu->addAction(QString::fromUtf8(caption)), name);
        connect(action, &QAction::triggered, this, [this, action, run, ignoredWhileBusy] {
            if (ignoredWhileBusy && busy) {
                // A checkable item ticked itself on the click; ignored, it keeps its tick.
                if (action->isCheckable()) action->setChecked(!action->isChecked());
                return;
            }
            (this->*run)();
        });
        return action;
    };

    QMenu* file = named(mainMenu->addMenu(QStringLiteral(" &F.文件 ")), "menuFile");
    menuOpen = item(file, "打开", "menuOpen", &MainWindow::openDocuments);
    menuSave = item(file, "保存", "menuSave", &MainWindow::saveDocument);
    menuSaveAs = item(file, "另存为", "menuSaveAs", &MainWindow::saveDocumentAs);
    menuOpen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    menuSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    menuSaveAs->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    menuClose = item(file, "关闭", "menuClose", &MainWindow::closeDocument);

    QMenu* run = named(mainMenu->addMenu(QStringLiteral(" &R.运行 ")), "menuRun");
    menuProofread = item(run, "校对", "menuProofread", &MainWindow::runProofread);
    menuProofread->setShortcut(QKeySequence(Qt::Key_F5));
    menuCorrect = item(run, "修改", "menuCorrect", &MainWindow::runCorrection);
    menuUndoCorrection = item(run, "撤销修改", "menuUndoCorrection", &MainWindow::undoCorrection);
    menuExportReport = item(run, "导出报告", "menuExportReport", &MainWindow::exportReport);

    QMenu* library = named(mainMenu->addMenu(QStringLiteral(" &B.词库 ")), "menuLibrary");
    menuAddWord = item(library, "增加词汇", "menuAddWord", &MainWindow::showWordLibrary);
    menuSubmitWords = item(library, "提交词汇表", "menuSubmitWords", &MainWindow::submitNewEntries);
    menuUpdateWords = item(library, "更新词汇表", "menuUpdateWords", &MainWindow::downloadUpdates);
    menuIgnoredList =
        item(library, "已忽略的错误", "menuIgnoredList", &MainWindow::showIgnoredOccurrences);

    QMenu* settings = named(mainMenu->addMenu(QStringLiteral(" &S.设置 ")), "menuSettings");
    menuMode = named(settings->addMenu(QStringLiteral("校对方式")), "menuMode");
    menuQuick = item(menuMode, "快速校对", "menuQuick", &MainWindow::selectQuickMode, false);
    menuFine = item(menuMode, "精细校对", "menuFine", &MainWindow::selectFineMode, false);
    menuProfessional =
        item(menuMode, "专业校对", "menuProfessional", &MainWindow::selectProfessionalMode, false);
    for (QAction* mode : {menuQuick, menuFine, menuProfessional}) mode->setCheckable(true);
    menuQuick->setChecked(true);
    menuAutoUpdate = item(settings, "自动更新", "menuAutoUpdate", &MainWindow::toggleAutoUpdate);
    menuAutoUpdate->setCheckable(true);
    menuUserInfo = item(settings, "用户信息", "menuUserInfo", &MainWindow::showUserInfo);

    QMenu* help = named(mainMenu->addMenu(QStringLiteral(" &H.帮助 ")), "menuHelp");
    menuAbout = item(help, "关于", "menuAbout", &MainWindow::showAbout, false);
    menuUsage = item(help, "使用说明", "menuUsage", &MainWindow::showUsage, false);
    menuExit = item(help, "退出", "menuExit", &MainWindow::exitProgram, false);
}

void MainWindow::buildToolbar() {
    // The toolbar sits in the client area above the panels, as in the window
    // design, so that the design coordinates of the other controls hold.
    toolbar = named(new QToolBar(central), "toolbar");
    toolbar->setMovable(false);
    toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar->setIconSize(QSize(20, 20));
    const struct {
        const char* text;
        QStyle::StandardPixmap image;
    } buttons[] = {
        {"打开文件", QStyle::SP_DialogOpenButton},   {"另存为", QStyle::SP_DialogSaveButton},
        {"校对", QStyle::SP_FileDialogContentsView}, {"添加词汇", QStyle::SP_FileDialogNewFolder},
        {"上传词汇表", QStyle::SP_ArrowUp},          {"下载词汇表", QStyle::SP_ArrowDown},
        {"帮助", QStyle::SP_MessageBoxQuestion},
    };
    for (const auto& button : buttons) {
        toolbarItems.append(toolbar->addSeparator());
        const int index = static_cast<int>(toolbarItems.size());
        QAction* action =
            toolbar->addAction(style()->standardIcon(button.image), QString::fromUtf8(button.text));
        action->setObjectName(QStringLiteral("toolbarButton%1").arg(index));
        connect(action, &QAction::triggered, this, [this, index] { onToolbarButton(index); });
        toolbarItems.append(action);
    }
    toolbarItems.append(toolbar->addSeparator());
}

void MainWindow::onToolbarButton(int index) {
    // The buttons run the menu's own commands; index 3 ("另存为") saves to the
    // current file like 保存, it does not run Save As.
    QAction* const commands[] = {menuOpen,        menuSave,        menuProofread, menuAddWord,
                                 menuSubmitWords, menuUpdateWords, menuUsage};
    if (index % 2 == 1 && index >= 1 && index <= 13) commands[index / 2]->trigger();
}

void MainWindow::prepareResultGrid() {
    static const char* const headers[] = {"序号", "文件名", "位置", "误", "正", "修改", "上下文"};
    for (int column = 0; column < kHitColumns; ++column) {
        hitRows->setHeaderData(column, Qt::Horizontal, QString::fromUtf8(headers[column]));
        hitRows->setHeaderData(column, Qt::Horizontal, QBrush(kResultHeaderColour),
                               Qt::ForegroundRole);
    }
    // Column 5 holds a tick per hit row; its header stays text.
    resultGrid->verticalHeader()->hide();
    // Rows as low as the text allows: more hits in view.
    const int rowHeight = resultGrid->fontMetrics().height() + 4;
    resultGrid->verticalHeader()->setMinimumSectionSize(rowHeight);
    resultGrid->verticalHeader()->setDefaultSectionSize(rowHeight);
    resultGrid->setSelectionMode(QAbstractItemView::SingleSelection);
}

void MainWindow::onMainWindowCreated() {
    prepareResultGrid();
    state.programDirectory = platform.programDirectory();
    // A correction killed halfway through a hard-linked document is finished
    // before any document is read.
    DocumentFile::keepRewritesIn(journalDirectory(platform.appDataDirectory()));
    const QStringList finished = DocumentFile::finishInterruptedRewrites();
    openLibrary();
    restoreSession();
    if (!finished.isEmpty()) {
        QStringList names;
        for (const QString& path : finished) names << displayName(path);
        setStatusText(QStringLiteral("已完成中断的改写：") + names.join(QStringLiteral("、")));
    }
    const bool autoUpdate = libraryAvailable() && readAutoUpdateSwitch();
    menuAutoUpdate->setChecked(autoUpdate);
    // Not here: a slow server would keep the program without a window.
    startUpDownloadDue = autoUpdate;
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!startUpDownloadDue) return;
    startUpDownloadDue = false;
    QTimer::singleShot(0, this, [this] {
        if (busy || exiting) return;
        // Nobody asked for this one: a server that cannot be reached is
        // said in the status bar, not in a box over the new window.
        startUpDownloadRunning = true;
        downloadUpdates();
        startUpDownloadRunning = false;
    });
}

void MainWindow::restoreSession() {
    const QByteArray machine = platform.machineId().toLatin1();
    auto remembered = [&](const char* name) {
        return libraryAvailable() ? dbConnection.setting(machine, name) : std::nullopt;
    };
    QString directory = QDir::currentPath();
    if (const auto last = remembered(Settings::kLastDirectory)) {
        // A directory since removed or unmounted: the start directory instead.
        const QString path = QFile::decodeName(*last);
        if (QFileInfo(path).isDir()) directory = path;
    }
    directoryBox->setDirectory(directory);
    const int drive = driveBox->findText(directoryBox->driveOf(directory, platform.drives()));
    if (drive >= 0) driveBox->setCurrentIndex(drive);
    fillFileList();

    if (const auto geometry = remembered(Settings::kMainWindowGeometry))
        restoreGeometry(QByteArray::fromBase64(*geometry));
    if (const auto widths = remembered(Settings::kHitColumnWidths))
        if (const auto numbers = Settings::numbersFrom(*widths, kHitColumns))
            draggedColumnWidths = *numbers;
}

void MainWindow::rememberSession() {
    if (!libraryAvailable() || dbConnection.isReadOnly()) return;
    const QByteArray machine = platform.machineId().toLatin1();
    // Losing these is no reason to keep the user from leaving: no message.
    dbConnection.inTransaction([&] {
        return dbConnection.writeSetting(machine, Settings::kLastDirectory,
                                         QFile::encodeName(currentDirectory())) &&
               dbConnection.writeSetting(machine, Settings::kMainWindowGeometry,
                                         saveGeometry().toBase64()) &&
               dbConnection.writeSetting(machine, Settings::kHitColumnWidths,
                                         Settings::numbersText(draggedColumnWidths));
    });
}

void MainWindow::openLibrary() {
    const QString path = libraryFilePath(state.programDirectory, platform.appDataDirectory());
    if (dbConnection.open(path) == WordDatabase::OpenResult::Failed)
        prompter.notify(Prompter::Icon::Error, QStringLiteral("提示："),
                        dbConnection.openFailure());
}

bool MainWindow::readAutoUpdateSwitch() {
    const QByteArray machine = platform.machineId().toLatin1();
    if (const auto info = dbConnection.userInfo(machine)) return info->pzdgx;
    // The first start on this computer switches automatic updating on for the
    // next start; this one does not download.
    UserInfo created;
    created.pmachine = machine;
    created.pzdgx = true;
    dbConnection.createUserInfo(created);
    return false;
}

bool MainWindow::requireLibrary() {
    if (libraryAvailable()) return true;
    prompter.notify(Prompter::Icon::Information, QStringLiteral("提示："),
                    QStringLiteral("词库不可用！"));
    return false;
}

void MainWindow::setStatusText(const QString& text) { statusPanel0->setText(text); }

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // In the hit list Space ticks the current row and Enter goes to its hit
    // in the editor; no key there reaches the document.
    if (watched == resultGrid && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const QModelIndex current = resultGrid->currentIndex();
        if (key == Qt::Key_Space && current.isValid() && !busy) {
            const QModelIndex tick = hitRows->index(current.row(), TickColumn);
            const bool ticked =
                tick.data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked;
            hitRows->setData(tick, ticked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
            return true;
        }
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && current.isValid()) {
            documentEdit->setFocus();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    layoutMainWindow();
}

void MainWindow::layoutMainWindow() {
    const QSize outer = frameGeometry().size();
    applyLayout(layoutForSize(outer.width(), outer.height()));
}

void MainWindow::applyLayout(const MainWindowLayout& l) {
    toolbar->setGeometry(0, 0, central->width(), kToolbarHeight);
    label1->setGeometry(l.label1);
    label4->setGeometry(l.label4);
    cancelDownloadButton->setGeometry(l.label4.right() + 6,
                                      l.label4.top() + (l.label4.height() - 28) / 2, 64, 28);
    filePanel->setGeometry(l.filePanel);
    directoryBox->setGeometry(l.directoryBox);
    fileCheckList->setGeometry(l.fileCheckList);
    drawPad->setGeometry(l.drawPad);
    documentEdit->setGeometry(l.documentEdit);
    busyLabel->setGeometry(l.busyLabel);
    progressBar->setGeometry(l.progressBar);
    resultGrid->setGeometry(l.resultGrid);
    // A width the user dragged stands over the layout's.
    applyingLayout = true;
    auto setWidth = [this](int column, int layoutWidth) {
        const int dragged = draggedColumnWidths[column];
        resultGrid->setColumnWidth(column, dragged > 0 ? dragged : layoutWidth);
    };
    resultGrid->horizontalHeader()->setDefaultSectionSize(l.resultGridDefaultColumnWidth);
    for (int column : {0, 3, 4, 5}) setWidth(column, l.resultGridDefaultColumnWidth);
    setWidth(1, l.resultGridColumn1Width);
    setWidth(2, l.resultGridColumn2Width);
    // The context takes what the others leave, and at least room for its
    // text: beyond that the grid scrolls sideways.
    int taken = 0;
    for (int column = 0; column < ContextColumn; ++column) taken += resultGrid->columnWidth(column);
    const int room = l.resultGrid.width() - 2 * resultGrid->frameWidth() -
                     resultGrid->verticalScrollBar()->sizeHint().width() - taken;
    setWidth(ContextColumn, std::max(room, resultGrid->fontMetrics().horizontalAdvance(QString(
                                               2 * kContextCharacters + 10, QChar(0x4E00)))));
    applyingLayout = false;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    exitProgram();
    if (exiting)
        event->accept();
    else
        event->ignore();
}

void MainWindow::exitProgram() {
    if (exiting) return;
    // A running scan or correction is ended as it stands; otherwise unsaved
    // edits are asked about first.
    if (!busy && !mayReplaceDocument()) return;
    exiting = true;
    rememberSession();
    dbConnection.close();
    hide();
    QCoreApplication::quit();
}

void MainWindow::showAbout() {
    AboutWindow about(this);
    about.exec();
}

void MainWindow::showUsage() {
    // Ours sits beside the program in a build, in libexec in an installation;
    // otherwise let the program search find one.
    for (const QString& ours :
         {state.programDirectory + QStringLiteral("readme.exe"),
          state.programDirectory + QStringLiteral("../libexec/tavrel/readme.exe")}) {
        if (QFileInfo(ours).isExecutable() &&
            platform.startDetached(QFileInfo(ours).canonicalFilePath()))
            return;
    }
    if (platform.startDetached(QStringLiteral("readme.exe"))) return;
    prompter.notify(Prompter::Icon::Error, QStringLiteral("提示："),
                    QStringLiteral("无法打开使用说明：找不到 readme.exe"));
}

ProofreadMode MainWindow::currentMode() const {
    if (quickModeRadio->isChecked()) return ProofreadMode::Quick;
    if (fineModeRadio->isChecked()) return ProofreadMode::Fine;
    return ProofreadMode::Professional;
}
