#include "gui/QtPrompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

Prompter::Answer QtPrompter::message(Icon icon, const QString& title, const QString& text,
                                     Buttons buttons) {
    // Over the window in front: a box for the user information window is
    // centred on that window, not on the main one behind it.
    QWidget* front = QApplication::activeModalWidget();
    QMessageBox box(front ? front : parent_);
    switch (icon) {
        case Icon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case Icon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case Icon::Warning:
            box.setIcon(QMessageBox::Warning);
            break;
        case Icon::Error:
            box.setIcon(QMessageBox::Critical);
            break;
    }
    box.setWindowTitle(title);
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    box.setText(shown);
    if (buttons == Buttons::SaveDiscardCancel) {
        QPushButton* save = box.addButton(QStringLiteral("保存"), QMessageBox::AcceptRole);
        QPushButton* discard =
            box.addButton(QStringLiteral("不保存"), QMessageBox::DestructiveRole);
        QPushButton* cancel = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
        box.setDefaultButton(save);
        box.setEscapeButton(cancel);
        box.exec();
        if (box.clickedButton() == save) return Answer::Save;
        if (box.clickedButton() == discard) return Answer::Discard;
        return Answer::Cancel;
    }
    if (buttons == Buttons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return Answer::Ok;
}

QStringList QtPrompter::openFiles(const FileDialog& dialog) {
    return QFileDialog::getOpenFileNames(parent_, dialog.title, dialog.directory, dialog.filter);
}

QString QtPrompter::saveFile(const FileDialog& dialog) {
    QFileDialog fileDialog(parent_, dialog.title, dialog.directory, dialog.filter);
    fileDialog.setObjectName(QStringLiteral("fileDialog"));
    fileDialog.setAcceptMode(QFileDialog::AcceptSave);
    fileDialog.setDefaultSuffix(dialog.defaultSuffix);
    // A name typed without a suffix takes the one of the type chosen.
    QObject::connect(&fileDialog, &QFileDialog::filterSelected, &fileDialog,
                     [&fileDialog](const QString& filter) {
                         const qsizetype star = filter.indexOf(QStringLiteral("*."));
                         if (star < 0) return;
                         qsizetype end = star + 2;
                         while (end < filter.size() && filter[end].isLetterOrNumber()) ++end;
                         fileDialog.setDefaultSuffix(filter.mid(star + 2, end - star - 2));
                     });
    fileDialog.selectFile(dialog.fileName);
    if (fileDialog.exec() != QDialog::Accepted || fileDialog.selectedFiles().isEmpty()) return {};
    return fileDialog.selectedFiles().constFirst();
}
