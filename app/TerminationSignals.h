// Ending the program from outside (a logout, kill, Ctrl+C in a terminal) the way "Close" ends it.
#pragma once

#include <functional>

// SIGTERM, SIGINT and SIGHUP as a call of fnOnSignal on the event loop's thread, after the
// QCoreApplication exists; a second signal of the same kind ends the process at once. A later
// call arms the handlers again with its own function. False when it could not be set up.
bool OnTerminationSignals(std::function<void()> fnOnSignal);
// A signal has come, also before the event loop has run to read it.
bool HasTerminationSignalArrived();

// From now on SIGTERM, SIGINT and SIGHUP end every modal run, as QCoreApplication::quit does:
// the main connection window closes and the configuration is saved as at every exit, instead of
// the process ending at once and losing what the run changed (a claim, a release, a repair).
// After the QApplication exists; a later call arms the handlers again.
void EndRunOnTerminationSignals();

// The run ends from inside: BeginEndingRun makes the windows send and tell nothing new while
// they stay open (under the message box that says why the program closes); EndRun then ends
// every modal run, as a termination signal does.
void BeginEndingRun();
void EndRun();

// A signal (or the program itself) has asked the run to end: the windows close on their way out
// and send nothing new, and a run that has not loaded its configuration yet neither opens nor
// saves it.
bool IsEndingRun();
// Tests: a later run in the same process starts afresh.
void ForgetEndingRun();
