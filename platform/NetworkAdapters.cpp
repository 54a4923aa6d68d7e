#include "platform/NetworkAdapters.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <fstream>
#include <ifaddrs.h>
#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <map>
#include <memory>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int ARPHRD_ETHER_TYPE = 1;
constexpr int ARPHRD_LOOPBACK_TYPE = 772;

std::string SysPath(const std::string& strInterface, const char* pszEntry) {
    return "/sys/class/net/" + strInterface + "/" + pszEntry;
}

bool Exists(const std::string& strPath) {
    struct stat info {};
    return lstat(strPath.c_str(), &info) == 0;
}

// The link-layer type (ARPHRD_*) from /sys; -1 when it cannot be read.
int LinkType(const std::string& strInterface) {
    std::ifstream file(SysPath(strInterface, "type"));
    int nType = -1;
    if (!(file >> nType)) {
        return -1;
    }
    return nType;
}

// The driver's name from the ethtool interface (virtual devices answer it too), else from the
// device's driver link in /sys.
std::string DriverName(const std::string& strInterface) {
    const int hSocket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (hSocket >= 0) {
        ethtool_drvinfo info{};
        info.cmd = ETHTOOL_GDRVINFO;
        ifreq request{};
        std::strncpy(request.ifr_name, strInterface.c_str(), IFNAMSIZ - 1);
        request.ifr_data = reinterpret_cast<char*>(&info);
        const bool bAnswered = ioctl(hSocket, SIOCETHTOOL, &request) == 0;
        close(hSocket);
        if (bAnswered) {
            const std::string strDriver(info.driver, strnlen(info.driver, sizeof(info.driver)));
            if (!strDriver.empty()) {
                return strDriver;
            }
        }
    }
    char szLink[512];
    const std::string strLinkPath = SysPath(strInterface, "device/driver");
    const ssize_t nLength = readlink(strLinkPath.c_str(), szLink, sizeof(szLink) - 1);
    if (nLength <= 0) {
        return {};
    }
    const std::string strLink(szLink, static_cast<std::size_t>(nLength));
    return strLink.substr(strLink.find_last_of('/') + 1);
}

std::string DottedText(const sockaddr* pAddress) {
    if (pAddress == nullptr || pAddress->sa_family != AF_INET) {
        return "0.0.0.0";
    }
    char szText[INET_ADDRSTRLEN] = {};
    const auto* pInet = reinterpret_cast<const sockaddr_in*>(pAddress);
    if (inet_ntop(AF_INET, &pInet->sin_addr, szText, sizeof(szText)) == nullptr) {
        return "0.0.0.0";
    }
    return szText;
}

} // namespace

SNetworkAdapter DescribeAdapter(const SInterfaceReport& report) {
    SNetworkAdapter adapter;
    const bool bEthernet = report.nLinkType == ARPHRD_ETHER_TYPE;
    adapter.nType = bEthernet ? ADAPTER_TYPE_ETHERNET : ADAPTER_TYPE_OTHER;
    adapter.strDescription =
        report.strDriver.empty() ? report.strName : report.strName + " (" + report.strDriver + ")";
    if (report.bWireless) {
        adapter.strDescription += ", wireless";
    }
    const unsigned nRunning = IFF_UP | IFF_RUNNING;
    if (!bEthernet || (report.nFlags & nRunning) == nRunning) {
        adapter.strIpAddress = report.strIpAddress;
        adapter.strIpMask = report.strIpMask;
    }
    return adapter;
}

std::optional<std::vector<SNetworkAdapter>> ListNetworkAdapters() {
    std::unique_ptr<struct if_nameindex, decltype(&if_freenameindex)> pIndex(if_nameindex(),
                                                                             &if_freenameindex);
    ifaddrs* pAddresses = nullptr;
    if (!pIndex || getifaddrs(&pAddresses) != 0) {
        return std::nullopt;
    }
    std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> pAddressList(pAddresses, &freeifaddrs);

    std::vector<std::pair<unsigned, std::string>> listInterfaces;
    for (const struct if_nameindex* pEntry = pIndex.get(); pEntry->if_index != 0; ++pEntry) {
        listInterfaces.emplace_back(pEntry->if_index, pEntry->if_name);
    }
    std::sort(listInterfaces.begin(), listInterfaces.end());

    // The first IPv4 address and the flags of each interface (every entry carries them).
    std::map<std::string, const ifaddrs*> mapFirstAddress;
    std::map<std::string, unsigned> mapFlags;
    for (const ifaddrs* pEntry = pAddresses; pEntry != nullptr; pEntry = pEntry->ifa_next) {
        if (pEntry->ifa_name == nullptr) {
            continue;
        }
        mapFlags[pEntry->ifa_name] |= pEntry->ifa_flags;
        if (pEntry->ifa_addr != nullptr && pEntry->ifa_addr->sa_family == AF_INET) {
            mapFirstAddress.emplace(pEntry->ifa_name, pEntry);
        }
    }

    std::vector<SNetworkAdapter> listAdapters;
    for (const auto& [nIndex, strName] : listInterfaces) {
        SInterfaceReport report;
        report.strName = strName;
        report.nLinkType = LinkType(strName);
        report.nFlags = mapFlags[strName];
        if (report.nLinkType == ARPHRD_LOOPBACK_TYPE || (report.nFlags & IFF_LOOPBACK) != 0) {
            continue;
        }
        report.strDriver = DriverName(strName);
        report.bWireless =
            Exists(SysPath(strName, "wireless")) || Exists(SysPath(strName, "phy80211"));
        if (const auto it = mapFirstAddress.find(strName); it != mapFirstAddress.end()) {
            report.strIpAddress = DottedText(it->second->ifa_addr);
            report.strIpMask = DottedText(it->second->ifa_netmask);
        }
        listAdapters.push_back(DescribeAdapter(report));
    }
    return listAdapters;
}
