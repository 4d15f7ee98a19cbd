#pragma once

// The capture tool's whole program: reads the command line, plays the demo
// on the virtual clock and writes the outputs. Returns the exit status: 0 when
// everything was written, 2 for bad input or a failure, 128 + the signal
// after Ctrl-C or a termination request.
int captureMain(int argc, char** argv);
