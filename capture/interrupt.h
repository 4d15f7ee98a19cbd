#pragma once

// Ctrl-C and termination requests: caught once, then asked for by the capture
// loop and by every blocking write, which stop and clean up.

// Installs the handlers for SIGINT and SIGTERM (without restarting
// interrupted calls) and ignores SIGPIPE, so that a vanished encoder shows up
// as a failed write.
void catchInterrupts();

// The signal that asked the capture to stop, or 0.
int interruptSignal();
