#pragma once

#include <QString>
#include <QStringList>

class QIODevice;

// tavrel-check: proofreads documents without a window, with the window's own
// scan and correction. Hits go to `out`, one TAB-separated line each
// (序号, 文件名, 位置, 误, 正, UTF-8); the summary and every problem go to `err`.
//
// Returns the exit status: 0 no hit (with --fix: every hit corrected), 1 hits
// found (with --fix: some skipped), 2 a usage error or a document or library
// that could not be read; 2 wins over 1.
// Correction runs are recorded in, and undone from, `journalDirectory`.
int runCheckCommand(const QStringList& arguments, const QString& defaultLibraryPath,
                    const QString& journalDirectory, QIODevice& out, QIODevice& err);
