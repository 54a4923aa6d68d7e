// Preloaded into a program run as an ordinary user (LD_PRELOAD), this gives its sockets the
// receive buffer limit of a stock Debian machine, whatever this machine's net.core.rmem_max is
// (a global value, read-only inside network namespaces, which the benchmarks must not change):
// SO_RCVBUF is capped at TAVIK_RMEM_MAX bytes (default 212992, Debian's net.core.rmem_max) before
// the kernel doubles it, exactly as the kernel caps it for a process without CAP_NET_ADMIN.
// SO_RCVBUFFORCE passes unchanged: without that capability the kernel refuses it anyway.
#include <cstdlib>
#include <dlfcn.h>
#include <sys/socket.h>

namespace {

constexpr int DEBIAN_RMEM_MAX = 212992;

using SetSockOpt = int (*)(int, int, int, const void*, socklen_t);

int Cap() {
    const char* pszCap = std::getenv("TAVIK_RMEM_MAX");
    const long nCap = pszCap != nullptr ? std::strtol(pszCap, nullptr, 10) : 0;
    return nCap > 0 && nCap < (1L << 30) ? static_cast<int>(nCap) : DEBIAN_RMEM_MAX;
}

} // namespace

extern "C" int setsockopt(int hSocket, int nLevel, int nName, const void* pValue,
                          socklen_t nLength) {
    static const auto pfnNext = reinterpret_cast<SetSockOpt>(dlsym(RTLD_NEXT, "setsockopt"));
    if (pfnNext == nullptr) {
        return -1;
    }
    if (nLevel == SOL_SOCKET && nName == SO_RCVBUF && pValue != nullptr && nLength == sizeof(int)) {
        int nBytes = *static_cast<const int*>(pValue);
        static const int nCap = Cap();
        if (nBytes > nCap) {
            nBytes = nCap;
        }
        return pfnNext(hSocket, nLevel, nName, &nBytes, sizeof(nBytes));
    }
    return pfnNext(hSocket, nLevel, nName, pValue, nLength);
}
