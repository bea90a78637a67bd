#pragma once

#include <QString>
#include <QStringList>

class QIODevice;

// tavrel-server: the exchange server and its moderation.
//   [--listen ADDR:PORT] [--data DIR] [--key-file FILE] [--workers N]
//       serves the exchange pages until SIGINT or SIGTERM
//   review list | approve ID... | reject ID... | publish FILE.tsv [--data DIR] [--key-file FILE]
//       the submissions waiting for review, decisions on them, and entries
//       published from the text of `tavrel-library export`
// Returns the exit status: 0 done, 2 a usage error or a failure.
int runServerCommand(const QStringList& arguments, QIODevice& out, QIODevice& err);
