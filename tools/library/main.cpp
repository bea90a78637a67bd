// tavrel-library: exports and imports the library as text.

#include "library/LibraryCommand.h"
#include "library/LibraryLocation.h"
#include "platform/ToolMain.h"

int main(int argc, char** argv) {
    return runToolMain(argc, argv,
                       [](const QStringList& arguments, QIODevice& out, QIODevice& err) {
                           return runLibraryCommand(arguments, systemLibraryFilePath(), out, err);
                       });
}
