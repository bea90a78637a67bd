#pragma once

#include <QDialog>
#include <QModelIndex>
#include <QStringList>

class QFrame;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableView;
class Platform;
class Prompter;
class WordDatabase;
class WordGridModel;

// The word library window: every entry of the library in an editable grid, a
// new-entry row at the bottom, Find by wrong form, and the save of the edited
// rows. It is modal; closing it drops unsaved edits without a question.
class WordLibraryWindow : public QDialog {
    Q_OBJECT

  public:
    WordLibraryWindow(WordDatabase& database, Prompter& prompter, Platform& platform,
                      QWidget* parent = nullptr);
    ~WordLibraryWindow() override;

    WordGridModel& grid() { return *model; }

    void load();
    void keepNewEntryRow();
    // Runs before a cell editor opens; gives the cell's pick list, empty for free text.
    QStringList prepareCellEditor(const QModelIndex& index);
    void checkAndMarkRow(int row, int column);
    void find();
    void saveEditedRows();

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void buildControls();
    // Selects the cells of a grid row and makes its first cell current.
    void selectRow(int row);
    void showDuplicateWarning();

    WordDatabase& database;
    Prompter& prompter;
    Platform& platform;
    WordGridModel* model = nullptr;
    bool duplicateWarningDue = false;

    QLabel* label1 = nullptr;
    QFrame* frameShape = nullptr;
    QTableView* wordGrid = nullptr;
    QLabel* searchLabel = nullptr;
    QLineEdit* searchEdit = nullptr;
    QPushButton* findButton = nullptr;
    QPushButton* saveButton = nullptr;
    QLabel* savingLabel = nullptr;
    QProgressBar* saveProgress = nullptr;
};
