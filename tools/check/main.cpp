// tavrel-check: proofreads documents from the command line.

#include "app/ToolMain.h"
#include "proofread/CheckCommand.h"

int main(int argc, char** argv) { return runToolMain(argc, argv, runCheckCommand); }
