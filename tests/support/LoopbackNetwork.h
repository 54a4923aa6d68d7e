// Loopback only: free ports and raw datagrams for window tests. Nothing here can send beyond
// 127.0.0.0/8; a destination or source outside it is refused.
//
//   const std::uint16_t nPort = FreeUDPPort();
//   SendDatagramFrom(0x7F000005, nAppPort, bytes);          // from 127.0.0.5 to 127.0.0.1
#pragma once

#include "platform/NetworkAdapters.h"

#include <cstdint>
#include <span>
#include <vector>

constexpr std::uint32_t LOOPBACK_ADDRESS = 0x7F000001;   // 127.0.0.1
constexpr std::uint32_t LOOPBACK_BROADCAST = 0x7FFFFFFF; // 127.255.255.255

// The one adapter the loopback tests give the adapter choice: local address 127.0.0.1, broadcast
// address 127.255.255.255.
std::vector<SNetworkAdapter> LoopbackAdapterList();

// A UDP port that no socket holds just now (bound to any address and let go again).
std::uint16_t FreeUDPPort();

// Sends one datagram from dwFromAddress (any port) to dwToAddress:nToPort, both in 127.0.0.0/8.
bool SendDatagramFrom(std::uint32_t dwFromAddress, std::uint16_t nToPort,
                      std::span<const std::uint8_t> datagram,
                      std::uint32_t dwToAddress = LOOPBACK_ADDRESS);
