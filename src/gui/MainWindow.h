#pragma once

#include <QMainWindow>
#include <QVector>

#include <array>
#include <functional>
#include <optional>

#include "gui/MainWindowLayout.h"
#include "gui/proofread/HitDecision.h"
#include "library/ProofreadMode.h"
#include "library/WordDatabase.h"
#include "proofread/ExceptionPhrase.h"
#include "proofread/ProofreadPass.h"
#include "text/DocumentView.h"

class QAction;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableView;
class HitTableModel;
class QToolBar;
class DirectoryBox;
class Platform;
class Prompter;
class ServerClient;
struct ProgramState;

// The main window. Its handlers are grouped by subsystem: this file's .cpp
// builds the window and runs start-up and exit; each subsystem's handlers
// live in a MainWindow*.cpp of its own folder under gui/.
class MainWindow : public QMainWindow {
    Q_OBJECT

  public:
    MainWindow(ProgramState& state, Platform& platform, Prompter& prompter,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    WordDatabase& database() { return dbConnection; }
    bool libraryAvailable() const { return dbConnection.isOpen(); }
    ProofreadMode currentMode() const;
    // True while a scan or a correction runs and lets window events through.
    bool isBusy() const { return busy; }
    // Past this size a document is decoded, laid out and corrected beside
    // the window, and the window says that it is opening it.
    static constexpr qsizetype kLargeDocument = 1 << 20;

    // Start-up and the shell.
    void onMainWindowCreated();
    void layoutMainWindow();
    void onToolbarButton(int index);
    void exitProgram();
    void showAbout();
    void showUsage();

    // Proofreading modes.
    void selectQuickMode();
    void selectFineMode();
    void selectProfessionalMode();

    // Documents.
    void onDriveChanged();
    void fillFileList();
    void loadSelectedDocument();
    void markDocumentDirty();
    void openDocuments();
    // Lists the given documents (those of a directory, when the first is one),
    // as Open does with what its dialog returns: the menu entry's "Open with".
    void listDocuments(const QStringList& paths);
    void saveDocument();
    void saveDocumentAs();
    void closeDocument();

    // Proofreading engine.
    void runProofread();
    void showSelectedHit();
    void runCorrection();
    void undoCorrection();
    // Writes the hit list to a CSV table or an HTML page.
    void exportReport();
    // Decisions on the current hit: an exception phrase for its entry, or the
    // occurrence ignored for good in its document; Ctrl+Z takes them back.
    void addHitException();
    void ignoreHit();
    void undoHitDecision();
    void showIgnoredOccurrences();

    // Word library, online exchange, user information.
    void showWordLibrary();
    void submitNewEntries();
    void downloadUpdates();
    void toggleAutoUpdate();
    void showUserInfo();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void buildMenus();
    void buildToolbar();
    void buildControls();
    void prepareResultGrid();
    void openLibrary();
    bool readAutoUpdateSwitch();
    // Says "词库不可用！" when the library could not be opened; false then.
    bool requireLibrary();
    // As requireLibrary, and says "词库为只读，无法保存！" when the library
    // cannot be written; for the commands that write it.
    bool requireWritableLibrary();
    void setStatusText(const QString& text);
    // The connection and reachability steps of the exchanges; false when they stopped.
    bool reachServer(ServerClient& client);
    void applyLayout(const MainWindowLayout& layout);
    // What the last run left behind: its directory (listed), the window's
    // place and the hit list's dragged column widths; and keeping them at exit.
    void restoreSession();
    void rememberSession();

    // Documents: the directory box's directory, and the document in the editor.
    QString currentDirectory() const;
    // Reads the file and puts it into documentEdit; an unreadable one shows
    // empty and is marked, so that Save will not write the empty text over it.
    std::optional<QByteArray> showDocument(const QString& path);
    // A document as the pass reads it; beside the window when `aside`.
    PassDocument readDocument(const QString& path, bool aside);
    // Puts a document that was read into documentEdit, as showDocument does.
    void putDocument(const PassDocument& document);
    // Decodes the text into documentEdit and makes its view the shown one. A
    // large document is decoded and laid out beside the window, which goes on
    // answering meanwhile under the busy rules.
    void showText(const DocumentText& text, bool named);
    // Writes documentEdit to `path` and returns the bytes written; says why
    // when it cannot.
    std::optional<QByteArray> writeShownDocument(const QString& path);
    // Writes documentEdit to the current document as Save does, without its
    // question; false when nothing was written.
    bool saveShownDocument();
    // Before the shown document is replaced or the program ends: asks whether
    // unsaved edits are to be saved. False when the action is to stop.
    bool mayReplaceDocument();
    // Makes the file list's selection name the shown document again.
    void selectShownDocument();
    // Whether the editor still holds the row's wrong form where the hit was found.
    bool hitStillThere(qsizetype byteStart, const QByteArray& wrong) const;
    void selectBytes(qsizetype byteStart, qsizetype byteLength);
    // Makes `view` the shown document's and names its encoding in the status
    // bar (nothing when `named` is false: no document, or an unreadable one).
    void setShownView(DocumentView view, bool named = true);
    // Marks a scan or correction as running: browsing and editing are locked.
    void setBusy(bool running);
    // Runs `work` beside the window (runWhileEventsTurn), busy meanwhile;
    // with `aside` false (a small document), right here.
    void runAside(const std::function<void()>& work, bool aside = true);
    static bool isLargeDocument(const QString& path);
    void buildHitActions();
    // The current hit's document and the text around the hit; nothing, after
    // saying why, when the hit is not in the file as the pass found it.
    struct HitSite {
        int row = -1;
        PhraseSpan span;
    };
    std::optional<HitSite> currentHitSite();
    // Takes out of the list the rows of `file` that `match` picks and whose
    // occurrence `phrases` excuse in the file's bytes.
    std::vector<HitTableModel::TakenRow> takeExcusedRows(
        const QString& file, const std::function<bool(const HitTableModel::Row&)>& match,
        const QByteArray& wrong, const QByteArray& phrases);

    ProgramState& state;
    Platform& platform;
    Prompter& prompter;
    WordDatabase dbConnection;
    bool exiting = false;
    bool busy = false;
    // The start-up download waits until the window is on screen.
    bool startUpDownloadDue = false;
    bool startUpDownloadRunning = false;
    bool downloadCancelled = false;
    bool applyingLayout = false;
    // Per hit-list column, the width the user dragged it to; 0: the layout's.
    std::vector<int> draggedColumnWidths;
    DocumentView shownView;
    QString unreadablePath;  // the shown document when it could not be read
    // The entries of the last submission: grade, category, wrong, right, exceptions.
    std::vector<std::array<QByteArray, 5>> updateWordsGrid;
    std::vector<HitDecision> hitDecisions;  // of this pass, the last taken last

    QWidget* central = nullptr;
    QLabel* label1 = nullptr;
    QToolBar* toolbar = nullptr;
    QVector<QAction*> toolbarItems;  // index as in onToolbarButton; separators included
    QLabel* statusPanel0 = nullptr;
    QLabel* encodingPanel = nullptr;  // the shown document's encoding
    QGroupBox* filePanel = nullptr;
    QComboBox* driveBox = nullptr;
    DirectoryBox* directoryBox = nullptr;
    QLabel* fileListLabel = nullptr;
    QListWidget* fileCheckList = nullptr;
    QFrame* drawPad = nullptr;
    QLabel* modeLabel = nullptr;
    QRadioButton* quickModeRadio = nullptr;
    QRadioButton* fineModeRadio = nullptr;
    QRadioButton* professionalModeRadio = nullptr;
    QPlainTextEdit* documentEdit = nullptr;
    QTableView* resultGrid = nullptr;
    HitTableModel* hitRows = nullptr;      // resultGrid's rows
    QListWidget* errorFileList = nullptr;  // hidden: the documents a correction rewrites
    QLabel* busyLabel = nullptr;
    QProgressBar* progressBar = nullptr;
    QLabel* label4 = nullptr;
    QPushButton* cancelDownloadButton = nullptr;  // beside label4 while a download runs

    QAction* menuOpen = nullptr;
    QAction* menuSave = nullptr;
    QAction* menuSaveAs = nullptr;
    QAction* menuClose = nullptr;
    QAction* menuProofread = nullptr;
    QAction* menuCorrect = nullptr;
    QAction* menuUndoCorrection = nullptr;
    QAction* menuExportReport = nullptr;
    QAction* menuAddException = nullptr;  // the hit list's context menu
    QAction* menuIgnoreHit = nullptr;
    QAction* menuUndoDecision = nullptr;
    QAction* menuIgnoredList = nullptr;
    QAction* menuAddWord = nullptr;
    QAction* menuSubmitWords = nullptr;
    QAction* menuUpdateWords = nullptr;
    QMenu* menuMode = nullptr;
    QAction* menuQuick = nullptr;
    QAction* menuFine = nullptr;
    QAction* menuProfessional = nullptr;
    QAction* menuAutoUpdate = nullptr;
    QAction* menuUserInfo = nullptr;
    QAction* menuAbout = nullptr;
    QAction* menuUsage = nullptr;
    QAction* menuExit = nullptr;
};
