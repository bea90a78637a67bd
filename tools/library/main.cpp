// tavrel-library: exports and imports the library as text.

#include "app/ToolMain.h"
#include "library/LibraryCommand.h"

int main(int argc, char** argv) { return runToolMain(argc, argv, runLibraryCommand); }
