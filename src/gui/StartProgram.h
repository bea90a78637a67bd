#pragma once

// Runs the program: state, main window, message loop. Returns the exit code.
int startProgram(int argc, char** argv);
