// tavrel-check: proofreads documents from the command line.

#include <csignal>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <unistd.h>

#include "library/LibraryLocation.h"
#include "platform/SystemPaths.h"
#include "platform/ToolMain.h"
#include "proofread/CheckCommand.h"
#include "proofread/CorrectionJournal.h"

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
#if defined(__GLIBC__)
    // A short run: memory freed after the library is read stays with the
    // program for the scan's tables, instead of going back to the system and
    // being handed out afresh, page by page.
    mallopt(M_MMAP_THRESHOLD, 64 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
#endif
    return runToolMain(
        argc, argv, [](const QStringList& arguments, QIODevice& out, QIODevice& err) {
            return runCheckCommand(arguments, systemLibraryFilePath(),
                                   journalDirectory(systemAppDataDirectory()), out, err);
        });
}
