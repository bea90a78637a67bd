#pragma once

#include <QString>
#include <QStringList>

class QIODevice;

// tavrel-library: the library as text.
//   export [--library PATH]        the whole library to `out`, in tid order
//   import FILE [--library PATH]   adds the entries of a text file, all or none
// Returns the exit status: 0 done, 2 a usage error or a file that could not be
// read or written.
int runLibraryCommand(const QStringList& arguments, const QString& defaultLibraryPath,
                      QIODevice& out, QIODevice& err);
