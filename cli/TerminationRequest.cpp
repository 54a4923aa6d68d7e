#include "cli/TerminationRequest.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int s_hSignalWriteEnd = -1;
volatile std::sig_atomic_t s_bRequested = 0;

void OnTerminationSignal(int nSignal) {
    const int nSavedErrno = errno;
    s_bRequested = 1;
    const auto bSignal = static_cast<unsigned char>(nSignal);
    [[maybe_unused]] const ssize_t nWritten = write(s_hSignalWriteEnd, &bSignal, 1);
    errno = nSavedErrno;
}

} // namespace

bool CTerminationRequest::Arm(std::function<void()> fnOnSignal) {
    int ahEnds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ahEnds) != 0) {
        return false;
    }
    s_hSignalWriteEnd = ahEnds[0];
    const int hReadEnd = ahEnds[1];
    auto* pNotifier =
        new QSocketNotifier(hReadEnd, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(pNotifier, &QSocketNotifier::activated, pNotifier,
                     [hReadEnd, fnOnSignal = std::move(fnOnSignal)] {
                         unsigned char abSignals[16];
                         while (read(hReadEnd, abSignals, sizeof(abSignals)) > 0) {
                         }
                         fnOnSignal();
                     });
    struct sigaction action {};
    action.sa_handler = &OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (const int nSignal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(nSignal, &action, nullptr);
    }
    return true;
}

bool CTerminationRequest::IsRequested() {
    return s_bRequested != 0;
}
