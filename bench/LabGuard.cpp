#include "bench/LabGuard.h"

#include "platform/NetworkAdapters.h"

#include <sys/stat.h>

namespace {

bool NetworkNamespaceOf(const char* pszPath, ino_t* pnInode) {
    struct stat info {};
    if (::stat(pszPath, &info) != 0) {
        return false;
    }
    *pnInode = info.st_ino;
    return true;
}

} // namespace

std::string WhyNotInsideALab() {
    ino_t nSelf = 0;
    ino_t nInit = 0;
    // An ordinary user cannot look at process 1's namespace; the adapters tell enough then.
    if (NetworkNamespaceOf("/proc/self/ns/net", &nSelf) &&
        NetworkNamespaceOf("/proc/1/ns/net", &nInit) && nSelf == nInit) {
        return "this is the machine's own network namespace";
    }
    const auto adapters = ListNetworkAdapters();
    if (!adapters || adapters->empty()) {
        return "no network adapter here";
    }
    for (const SNetworkAdapter& adapter : *adapters) {
        const std::string& strAddress = adapter.strIpAddress;
        if (strAddress != "0.0.0.0" && strAddress.rfind("10.77.", 0) != 0 &&
            strAddress.rfind("10.78.", 0) != 0) {
            return "adapter " + adapter.strDescription + " has the address " + strAddress +
                   ", which is no lab's";
        }
    }
    return {};
}
