#include "bench/LabGuard.h"

#include "platform/NetworkAdapters.h"

#include <filesystem>
#include <system_error>

std::string WhyNotInsideALab() {
    // Namespaces are told apart by what their handles name ("net:[4026531840]"). An ordinary
    // user cannot look at process 1's; the adapters tell enough then.
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/ns/net", error);
    const auto init = std::filesystem::read_symlink("/proc/1/ns/net", error);
    if (!error && self == init) {
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
