// The targets that open sockets run in a network namespace of their own, with nothing but its
// loopback interface, so that no input can make the program send to a real network.
#pragma once

#include <cstdint>

// Moves the process into a new network namespace (as root, or through a user namespace of its
// own otherwise) and brings its loopback interface up. False when the system allows neither.
bool EnterPrivateNetwork();
// Enters it or ends the process with exit code 77 (reported as skipped by the test run).
void RequirePrivateNetwork(const char* pszTarget);
// A UDP port on loopback that no socket holds just now.
std::uint16_t FreeLoopbackUDPPort();
