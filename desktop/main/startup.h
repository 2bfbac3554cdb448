#pragma once
// The program's start-up, main loop and end.

// The whole program: opens the drawing window, checks the driver, creates the
// Info dialog, loads the default mesh and runs the main loop until the
// drawing window is gone. Always returns 0.
int runProgram(int argc, char** argv);
