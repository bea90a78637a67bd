#include "gui/StartProgram.h"

int main(int argc, char** argv) { return startProgram(argc, argv); }
