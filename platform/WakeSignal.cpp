#include "platform/WakeSignal.h"

#include <cerrno>
#include <cstdint>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

CWakeSignal::CWakeSignal() : m_hDescriptor(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (m_hDescriptor < 0) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
}

CWakeSignal::~CWakeSignal() {
    close(m_hDescriptor);
}

void CWakeSignal::Wake() {
    const std::uint64_t nOne = 1;
    // Only a counter at its maximum could refuse, and that one is readable already.
    [[maybe_unused]] const ssize_t nWritten = write(m_hDescriptor, &nOne, sizeof(nOne));
}

void CWakeSignal::Clear() {
    std::uint64_t nCount = 0;
    [[maybe_unused]] const ssize_t nRead = read(m_hDescriptor, &nCount, sizeof(nCount));
}
