#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

#include "library/WordEntry.h"

// The library as UTF-8 text, one entry a line with TAB-separated fields.
//
// Two forms are read: the five-column form a person writes
// (tgrade tclass terror tright tbut) and the export form
// (tid tgrade tclass terror tright tbut tdate), told apart by the header line.
// Inside a field a TAB, LF, CR or backslash is written \t, \n, \r or \\.
namespace LibraryText {

inline constexpr char kEntryHeader[] = "tgrade\ttclass\tterror\ttright\ttbut";
inline constexpr char kExportHeader[] = "tid\ttgrade\ttclass\tterror\ttright\ttbut\ttdate";

// True when the bytes start with one of the two header lines.
bool looksLikeText(const QByteArray& head);

// One field as the text holds it: UTF-8, with TAB, LF, CR and backslash escaped.
QByteArray escapeField(const QByteArray& gbkField);

// The export form, entries in the order given.
QByteArray write(const std::vector<WordEntry>& entries);

// The entries of a text, texts as GBK bytes; tid is never taken over. The
// five-column form gives no tdate; the export form keeps its own. A line with
// the wrong number of fields, a bad escape, a bad date, a character GBK
// cannot hold or a wrong form that is not whole GBK characters is refused with
// its line number in `error`, and nothing is returned.
std::optional<std::vector<WordEntry>> read(const QByteArray& utf8, QString* error);

}  // namespace LibraryText
