#pragma once

#include <QDialog>

// The About window: the program's name and an author line, nothing that acts.
class AboutWindow : public QDialog {
    Q_OBJECT

  public:
    explicit AboutWindow(QWidget* parent = nullptr);
};
