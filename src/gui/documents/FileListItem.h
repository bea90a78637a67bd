#pragma once

#include <QListWidgetItem>

#include "text/FileName.h"

// An item of the file list: it shows the name as the user reads it and keeps
// the name the file has, from which every path is built.
inline QListWidgetItem* documentItem(const QString& name) {
    auto* item = new QListWidgetItem(displayName(name));
    item->setData(Qt::UserRole, name);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Checked);
    return item;
}

inline QString documentName(const QListWidgetItem* item) {
    return item->data(Qt::UserRole).toString();
}
