#pragma once

#include "platform/Prompter.h"

class QWidget;

// Message boxes and file dialogs on screen.
class QtPrompter : public Prompter {
  public:
    explicit QtPrompter(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    Answer message(Icon icon, const QString& title, const QString& text, Buttons buttons) override;
    QStringList openFiles(const FileDialog& dialog) override;
    QString saveFile(const FileDialog& dialog) override;

  private:
    QWidget* parent_;
};
