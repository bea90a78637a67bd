#pragma once

#include <QDialog>
#include <QString>

#include <optional>

#include "userinfo/UserInfoForm.h"

class QGroupBox;
class QLabel;
class QPushButton;
class QTableWidget;
class Platform;
class Prompter;
class WordDatabase;

// The user information window: the user record of this computer and the
// address of the exchange server in a grid of six rows, saved and reported to the program's server
// with 确  定, and the outgoing mail account tested with 检测邮箱. It is modal and stays open after
// saving.
class UserInfoWindow : public QDialog {
    Q_OBJECT

  public:
    UserInfoWindow(WordDatabase& database, Prompter& prompter, Platform& platform,
                   QWidget* parent = nullptr);
    ~UserInfoWindow() override;

    void onUserInfoWindowCreated();
    // Runs once the edit of a value cell has been committed and its editor closed.
    void onUserInfoCellEdited(int row);
    void saveUserInfo();
    void checkMailServer();

  private:
    void buildControls();
    QString cellText(int row) const;
    // Writes a value cell without it counting as the user's edit.
    void writeCell(int row, const QString& text);
    // The grid's values as GBK; nothing, after saying so, when a value holds
    // characters GBK cannot store.
    std::optional<UserInfoForm::Values> gridValues();
    void showStatus(const QString& caption);

    WordDatabase& database;
    Prompter& prompter;
    Platform& platform;
    bool writingCells = false;

    QLabel* label1 = nullptr;
    QGroupBox* userInfoGroup = nullptr;
    QTableWidget* userInfoGrid = nullptr;
    QPushButton* okButton = nullptr;
    QPushButton* mailCheckButton = nullptr;
    QLabel* userInfoStatusLabel = nullptr;
};
