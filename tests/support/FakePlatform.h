#pragma once

#include <QStringList>

#include "app/Platform.h"

// A computer whose identity, clock, network and programs the test decides.
class FakePlatform : public Platform {
  public:
    QString id = QStringLiteral("-12345");
    QString programDir;  // ends in "/"
    QString appDataDir;
    QDateTime clock = QDateTime(QDate(2026, 3, 14), QTime(9, 26, 53));
    bool online = true;
    bool startSucceeds = true;
    QStringList started;
    std::vector<int> pauses;
    QStringList driveList = {QStringLiteral("/")};

    QString machineId() override { return id; }
    QString programDirectory() override { return programDir; }
    QString appDataDirectory() override { return appDataDir; }
    bool startDetached(const QString& program) override {
        started.append(program);
        return startSucceeds;
    }
    QDateTime now() override { return clock; }
    void pause(int milliseconds) override { pauses.push_back(milliseconds); }
    bool isOnline() override { return online; }
    QStringList drives() override { return driveList; }
};
