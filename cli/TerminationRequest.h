// SIGINT and SIGTERM (and SIGHUP) as a call on the event loop, so that Ctrl+C ends a wait
// between two steps and the configuration stays as the last finished step left it. A second
// signal of the same kind ends the process at once.
#pragma once

#include <QObject>
#include <functional>

class CTerminationRequest {
public:
    // After the QCoreApplication exists; fnOnSignal runs on its thread.
    static bool Arm(std::function<void()> fnOnSignal);
    // A signal has come (also before the event loop runs).
    static bool IsRequested();
};
