#pragma once

#include <QDialog>

class QPushButton;
class QTableWidget;
class Prompter;
class WordDatabase;

// The occurrences ignored for good, one per row (文件名, 误, 正, 上下文); 恢复
// takes the selected one back, so that the next 校对 reports it again.
class IgnoredListDialog : public QDialog {
    Q_OBJECT

  public:
    IgnoredListDialog(WordDatabase& database, Prompter& prompter, QWidget* parent = nullptr);

  private:
    void fill();
    void restoreSelected();

    WordDatabase& database;
    Prompter& prompter;
    QTableWidget* ignoredGrid = nullptr;
    QPushButton* restoreButton = nullptr;
};
