#include "app/TerminationSignals.h"

#include "app/Logging.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The handler may do nothing but write and set a flag: the event loop's thread reads the other
// end and calls what was armed.
int s_hSignalWriteEnd = -1;
volatile std::sig_atomic_t s_bSignalArrived = 0;
std::function<void()> s_fnOnSignal;
// Set on the window thread once a signal has been read; read there only.
bool s_bEndingRun = false;

void OnTerminationSignal(int nSignal) {
    const int nSavedErrno = errno;
    s_bSignalArrived = 1;
    const auto nSignalByte = static_cast<unsigned char>(nSignal);
    [[maybe_unused]] const ssize_t nWritten = write(s_hSignalWriteEnd, &nSignalByte, 1);
    errno = nSavedErrno;
}

} // namespace

bool OnTerminationSignals(std::function<void()> fnOnSignal) {
    if (s_hSignalWriteEnd < 0) {
        int ahEnds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ahEnds) != 0) {
            return false;
        }
        s_hSignalWriteEnd = ahEnds[0];
        const int hReadEnd = ahEnds[1];
        auto* pNotifier =
            new QSocketNotifier(hReadEnd, QSocketNotifier::Read, QCoreApplication::instance());
        QObject::connect(pNotifier, &QSocketNotifier::activated, pNotifier, [hReadEnd] {
            unsigned char abSignals[16];
            while (read(hReadEnd, abSignals, sizeof(abSignals)) > 0) {
            }
            if (s_fnOnSignal) {
                s_fnOnSignal();
            }
        });
    }
    s_fnOnSignal = std::move(fnOnSignal);

    struct sigaction action {};
    action.sa_handler = &OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    // A second signal of the same kind ends the process at once, should the first not suffice.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (const int nSignal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(nSignal, &action, nullptr);
    }
    return true;
}

bool HasTerminationSignalArrived() {
    return s_bSignalArrived != 0;
}

void EndRunOnTerminationSignals() {
    const bool bArmed = OnTerminationSignals([] {
        qCDebug(AppCategory) << "asked to end: every window closes, the configuration is saved";
        EndRun();
    });
    if (!bArmed) {
        qCWarning(AppCategory) << "Termination signals will end the program without saving";
    }
}

void BeginEndingRun() {
    s_bEndingRun = true;
}

void EndRun() {
    s_bEndingRun = true;
    // Every event loop running now returns, and any that starts before the program's own ends
    // at once: each window's modal run, and a message box's.
    QCoreApplication::exit(0);
}

bool IsEndingRun() {
    return s_bEndingRun;
}

void ForgetEndingRun() {
    s_bEndingRun = false;
    s_bSignalArrived = 0;
}
