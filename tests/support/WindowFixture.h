#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>

#include <memory>

#include "gui/MainWindow.h"
#include "gui/ProgramState.h"
#include "gui/documents/DirectoryBox.h"
#include "library/WordDatabase.h"
#include "support/FakePlatform.h"
#include "support/ScriptedPrompter.h"
#include "text/GbkCodec.h"

inline QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A byte-exact file of tests/data.
inline QByteArray fixture(const char* name) {
    return readBytes(qEnvironmentVariable("TAVREL_TEST_DATA") + QLatin1Char('/') +
                     QLatin1String(name));
}

// A main window on a fake computer whose program directory is a fresh
// temporary directory, with a real library file in it.
class WindowFixture : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    FakePlatform platform;
    ScriptedPrompter prompter;
    ProgramState state;
    std::unique_ptr<MainWindow> window;

    WindowFixture() {
        platform.programDir = dir.path() + QStringLiteral("/");
        platform.appDataDir = dir.filePath(QStringLiteral("appdata"));
    }
    QString libraryPath() const { return platform.programDir + QStringLiteral("jdck.mdb"); }

    MainWindow& start() {
        window = std::make_unique<MainWindow>(state, platform, prompter);
        return *window;
    }
    template <typename T = QAction>
    T* find(const char* name) {
        T* found = window->findChild<T*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    // Adds entries to the library before the window starts (texts in UTF-8).
    void addEntry(const char* grade, const char* wrong, const char* right,
                  const char* exceptions = "") {
        WordDatabase db;
        ASSERT_NE(db.open(libraryPath()), WordDatabase::OpenResult::Failed);
        WordEntry e;
        e.tgrade = gbk(QString::fromUtf8(grade));
        e.tclass = gbk(QStringLiteral("通用"));
        e.terror = gbk(QString::fromUtf8(wrong));
        e.tright = gbk(QString::fromUtf8(right));
        e.tbut = gbk(QString::fromUtf8(exceptions));
        ASSERT_GT(db.addEntry(e), 0);
    }

    // A documents directory inside the temporary directory.
    QString documents() {
        const QString path = dir.filePath(QStringLiteral("docs"));
        QDir().mkpath(path);
        return path;
    }
    QString writeDocument(const QString& name, const QByteArray& bytes) {
        const QString path = documents() + QLatin1Char('/') + name;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }

    // Changes into `path` as the user does: from its parent, activating its entry.
    void changeDirectory(const QString& path) {
        auto* box = find<DirectoryBox>("directoryBox");
        box->setDirectory(QFileInfo(path).absolutePath());
        const QString name = QFileInfo(path).fileName();
        for (int i = 0; i < box->count(); ++i) {
            if (box->item(i)->text() == name) {
                emit box->itemActivated(box->item(i));
                return;
            }
        }
        ADD_FAILURE() << "no directory entry " << name.toStdString();
    }
    QStringList listedFiles() {
        QStringList names;
        auto* list = find<QListWidget>("fileCheckList");
        for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
        return names;
    }
};
