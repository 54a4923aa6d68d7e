// Ending the program from outside (a logout, kill, Ctrl+C in a terminal) the way "Close" ends it.
#pragma once

// From now on SIGTERM, SIGINT and SIGHUP end every modal run, as QCoreApplication::quit does:
// the main connection window closes and the configuration is saved as at every exit, instead of
// the process ending at once and losing what the run changed (a claim, a release, a repair).
// Once, after the QApplication exists.
void EndRunOnTerminationSignals();
