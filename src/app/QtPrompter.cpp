#include "app/QtPrompter.h"

#include <QFileDialog>
#include <QMessageBox>

Prompter::Answer QtPrompter::message(Icon icon, const QString& title, const QString& text,
                                     Buttons buttons) {
    QMessageBox box(parent_);
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
    fileDialog.selectFile(dialog.fileName);
    if (fileDialog.exec() != QDialog::Accepted || fileDialog.selectedFiles().isEmpty()) return {};
    return fileDialog.selectedFiles().constFirst();
}
