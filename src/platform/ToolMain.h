#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QIODevice;

using ToolCommand = int (*)(const QStringList& arguments, QIODevice& out, QIODevice& err);

// The main() of a command-line tool: the application's names are the window's,
// so that both find the same per-user data; stdout and stderr carry the
// command's output, and the command's result is the exit status.
int runToolMain(int argc, char** argv, ToolCommand command);

// What every tool answers alike: --help (or -h) writes `usage`, --version the
// tool's name and version. The exit status, or nullopt for any other argument.
std::optional<int> answerCommonOption(const QString& argument, const char* tool, const char* usage,
                                      QIODevice& out);
