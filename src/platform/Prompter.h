#pragma once

#include <QString>
#include <QStringList>

// Every message box and file dialog goes through this interface, so that the
// logic never includes a widget and tests can answer the boxes themselves.
class Prompter {
  public:
    enum class Icon { Information, Question, Warning, Error };
    // SaveDiscardCancel: the buttons 保存, 不保存 and 取消.
    enum class Buttons { Ok, YesNo, SaveDiscardCancel };
    enum class Answer { Ok, Yes, No, Save, Discard, Cancel };

    struct FileDialog {
        QString title;
        QString directory;
        QString fileName;       // preset name (save dialog)
        QString filter;         // Qt filter text, e.g. "文本文件 (*.fbd *.txt)"
        QString defaultSuffix;  // save dialog
    };

    virtual ~Prompter() = default;

    virtual Answer message(Icon icon, const QString& title, const QString& text,
                           Buttons buttons) = 0;
    // Full paths of the chosen files; empty when cancelled.
    virtual QStringList openFiles(const FileDialog& dialog) = 0;
    // The chosen path; empty when cancelled.
    virtual QString saveFile(const FileDialog& dialog) = 0;

    void notify(Icon icon, const QString& title, const QString& text) {
        message(icon, title, text, Buttons::Ok);
    }
    bool confirm(const QString& title, const QString& text) {
        return message(Icon::Question, title, text, Buttons::YesNo) == Answer::Yes;
    }
    // Save, Discard or Cancel.
    Answer askToSave(const QString& title, const QString& text) {
        return message(Icon::Question, title, text, Buttons::SaveDiscardCancel);
    }
};
