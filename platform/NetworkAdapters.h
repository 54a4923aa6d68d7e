// The computer's network adapters as the adapter choice needs them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

constexpr std::uint32_t ADAPTER_TYPE_OTHER = 1;
constexpr std::uint32_t ADAPTER_TYPE_ETHERNET = 6;

struct SNetworkAdapter {
    std::uint32_t nType = ADAPTER_TYPE_OTHER; // 6 Ethernet, 1 other
    std::string strDescription;               // e.g. "enp3s0 (e1000e)", ", wireless" added
    std::string strIpAddress = "0.0.0.0";     // first IPv4 address, dotted text
    std::string strIpMask = "0.0.0.0";
};

// What the system reports of one interface (getifaddrs, /sys/class/net).
struct SInterfaceReport {
    std::string strName;
    int nLinkType = -1;  // ARPHRD_* from /sys/class/net/IF/type; -1 when unreadable
    unsigned nFlags = 0; // IFF_* as getifaddrs gives them
    std::string strDriver;
    bool bWireless = false;
    std::string strIpAddress = "0.0.0.0"; // first IPv4 address and its mask, dotted text
    std::string strIpMask = "0.0.0.0";
};

// The adapter as the list gives it. An Ethernet-type interface that is not running (down, or no
// carrier) shows 0.0.0.0 as address and mask, as a disconnected medium is listed elsewhere, so the
// adapter choice passes over it; other link types (tunnels) keep their address.
SNetworkAdapter DescribeAdapter(const SInterfaceReport& report);

// Every interface but loopback, in interface-index order; nothing when listing failed.
std::optional<std::vector<SNetworkAdapter>> ListNetworkAdapters();
