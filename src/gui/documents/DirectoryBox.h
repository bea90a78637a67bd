#pragma once

#include <QListWidget>

// A directory box: the current directory, its parent and its subdirectories,
// listed synchronously so that the file list never races a background loader.
// Activating an entry changes into it and reports the change; setting the
// directory from the program reports nothing.
class DirectoryBox : public QListWidget {
    Q_OBJECT

  public:
    explicit DirectoryBox(QWidget* parent = nullptr);

    QString directory() const { return current; }
    void setDirectory(const QString& path);

    // The root among `drives` that holds `path` (the longest matching one).
    static QString driveOf(const QString& path, const QStringList& drives);

  signals:
    void directoryChanged(const QString& path);

  private:
    void refill();
    QString current;
};
