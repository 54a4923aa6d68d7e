#include "fuzz/PrivateNetwork.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool WriteFile(const char* pszPath, const std::string& strText) {
    const int hFile = ::open(pszPath, O_WRONLY | O_CLOEXEC);
    if (hFile < 0) {
        return false;
    }
    const bool bWritten =
        ::write(hFile, strText.data(), strText.size()) == static_cast<ssize_t>(strText.size());
    ::close(hFile);
    return bWritten;
}

// Without privileges: a user namespace in which this user is root, owning the new network one.
bool EnterUserAndNetworkNamespace() {
    const uid_t nUid = ::getuid();
    const gid_t nGid = ::getgid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) {
        return false;
    }
    return WriteFile("/proc/self/setgroups", "deny") &&
           WriteFile("/proc/self/uid_map", "0 " + std::to_string(nUid) + " 1") &&
           WriteFile("/proc/self/gid_map", "0 " + std::to_string(nGid) + " 1");
}

bool BringLoopbackUp() {
    const int hSocket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (hSocket < 0) {
        return false;
    }
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool bUp = ::ioctl(hSocket, SIOCGIFFLAGS, &request) == 0;
    if (bUp) {
        request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP | IFF_RUNNING);
        bUp = ::ioctl(hSocket, SIOCSIFFLAGS, &request) == 0;
    }
    ::close(hSocket);
    return bUp;
}

} // namespace

bool EnterPrivateNetwork() {
    if (::unshare(CLONE_NEWNET) != 0 && !EnterUserAndNetworkNamespace()) {
        return false;
    }
    return BringLoopbackUp();
}

void RequirePrivateNetwork(const char* pszTarget) {
    if (!EnterPrivateNetwork()) {
        std::fprintf(stderr, "%s: no network namespace of its own could be had (%s); not run\n",
                     pszTarget, std::strerror(errno));
        std::exit(77);
    }
}

std::uint16_t FreeLoopbackUDPPort() {
    const int hSocket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (hSocket < 0) {
        return 0;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLength = sizeof(address);
    std::uint16_t nPort = 0;
    if (::bind(hSocket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
        ::getsockname(hSocket, reinterpret_cast<sockaddr*>(&address), &nLength) == 0) {
        nPort = ntohs(address.sin_port);
    }
    ::close(hSocket);
    return nPort;
}
