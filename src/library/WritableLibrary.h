#pragma once

#include <QString>

#include "library/WordDatabase.h"
#include "platform/Prompter.h"

inline constexpr char kReadOnlyLibrary[] = "词库为只读，无法保存！";

// Asked first by every command that would write the library: one the user
// cannot write is said to be read-only, and nothing is changed. False then.
inline bool requireWritable(const WordDatabase& database, Prompter& prompter) {
    if (!database.isReadOnly()) return true;
    prompter.notify(Prompter::Icon::Information, QStringLiteral("提示："),
                    QString::fromUtf8(kReadOnlyLibrary));
    return false;
}
