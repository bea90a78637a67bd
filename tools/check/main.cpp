// tavrel-check: proofreads documents from the command line.

#include <csignal>

#include <unistd.h>

#include "app/ToolMain.h"
#include "proofread/CheckCommand.h"

namespace {

// Large documents are mapped, not copied: one that another program cuts short
// while it is read would otherwise end the run with a bare crash.
extern "C" void onDocumentCutShort(int) {
    static const char kText[] = "tavrel-check：文档在读取时被截短，校对中止\n";
    const ssize_t written = write(STDERR_FILENO, kText, sizeof kText - 1);
    (void)written;
    _exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGBUS, onDocumentCutShort);
    return runToolMain(argc, argv, runCheckCommand);
}
