#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <deque>
#include <vector>

#include "platform/Prompter.h"

// Answers message boxes and file dialogs from queues and records every request
// in order. A box nobody expected fails the test instead of waiting for a click.
class ScriptedPrompter : public Prompter {
  public:
    struct Message {
        Icon icon;
        QString title;
        QString text;
        Buttons buttons;
    };

    std::vector<Message> messages;
    std::vector<FileDialog> dialogs;

    void expectMessage(Answer answer = Answer::Ok) { answers.push_back(answer); }
    void expectOpenFiles(const QStringList& paths) { openAnswers.push_back(paths); }
    void expectSaveFile(const QString& path) { saveAnswers.push_back(path); }
    bool allAnswered() const {
        return answers.empty() && openAnswers.empty() && saveAnswers.empty();
    }

    Answer message(Icon icon, const QString& title, const QString& text, Buttons buttons) override {
        messages.push_back({icon, title, text, buttons});
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected message box: " << title.toStdString() << " / "
                          << text.toStdString();
            if (buttons == Buttons::SaveDiscardCancel) return Answer::Cancel;
            return buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
        }
        const Answer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    QStringList openFiles(const FileDialog& dialog) override {
        dialogs.push_back(dialog);
        if (openAnswers.empty()) {
            ADD_FAILURE() << "unexpected open dialog: " << dialog.title.toStdString();
            return {};
        }
        QStringList paths = openAnswers.front();
        openAnswers.pop_front();
        return paths;
    }
    QString saveFile(const FileDialog& dialog) override {
        dialogs.push_back(dialog);
        if (saveAnswers.empty()) {
            ADD_FAILURE() << "unexpected save dialog: " << dialog.title.toStdString();
            return {};
        }
        QString path = saveAnswers.front();
        saveAnswers.pop_front();
        return path;
    }

  private:
    std::deque<Answer> answers;
    std::deque<QStringList> openAnswers;
    std::deque<QString> saveAnswers;
};
