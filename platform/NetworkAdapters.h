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

// Every interface but loopback, in interface-index order; nothing when listing failed.
std::optional<std::vector<SNetworkAdapter>> ListNetworkAdapters();
