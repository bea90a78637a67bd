// tavrel-server: the exchange server for a team's proofreaders, and its moderation.

#include "platform/ToolMain.h"
#include "server/ServerCommand.h"

int main(int argc, char** argv) { return runToolMain(argc, argv, runServerCommand); }
