#pragma once

#include <QByteArray>

#include <optional>
#include <vector>

#include "gui/proofread/HitTableModel.h"
#include "library/WordEntry.h"

// A decision the user took on hits of the pass (加为例外 or 忽略此处), kept
// so that Ctrl+Z in the hit list takes it back until the next 校对.
struct HitDecision {
    std::vector<HitTableModel::TakenRow> rows;  // the rows it took out of the list
    // 加为例外: the entry as it was, and the exception text it was given.
    std::optional<WordEntry> entryBefore;
    QByteArray exceptionsAfter;
    // 忽略此处: the stored record.
    qint64 ignoredId = 0;
};
