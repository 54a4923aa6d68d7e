// The connection state of the configured instrument and the rule that moves it: one state
// machine for the main connection window, the claim and rename windows and tavikctl, so that
// "Ready", "Not ready", "Not claimed" and "Claimed by ..." mean the same in both programs.
//
// Like the exchanges, the rule owns no state: each function answers the state that a step leads
// to, and the driver keeps the state where it belongs (the application's shared state, or one
// run of tavikctl).
#pragma once

#include "protocol/ConnectionExchange.h"
#include "protocol/NamingExchange.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

enum EConnectionState : std::uint8_t {
    CONNECTION_VERIFYING = 0,      // configured; a verification is under way or about to start
    CONNECTION_NOT_CONFIGURED = 1, // no instrument is configured
    CONNECTION_READY = 2,          // it answered and this computer holds its claim
    CONNECTION_NOT_READY = 3,      // it did not answer the verification
    CONNECTION_NOT_CLAIMED = 4,    // it answered, but this computer does not hold its claim
};
// "CONNECTION_READY" and so on, for logs and tests; a value outside the five has a name too.
const char* ConnectionStateName(std::uint8_t nState);

// At start-up: verifying when a configuration was loaded (a name), else not configured.
EConnectionState InitialConnectionState(bool bConfigured);
// After a selection window has closed: verifying again, unless nothing is configured.
EConnectionState ConnectionStateAfterSelection(EConnectionState nState);
// After a step of the verification, release or repair: ready (verified or repaired), not claimed
// (verified, another owner or none), not ready (verification out of attempts), not configured
// (a release, answered or not, which also forgets the configuration). None where the step leaves
// the state as it is: a request sent, a reply that cannot be read, a repair refused or out of
// attempts.
std::optional<EConnectionState> ConnectionStateAfter(const SConnectionStep& step);
// After a step of a claim or a rename: ready when granted; none otherwise.
std::optional<EConnectionState> ConnectionStateAfter(const SNamingStep& step);

// The words for the state, as the main connection window's status field shows them and
// tavikctl status prints them: "Verifying current configuration...", "Not configured", "Ready",
// "Not ready", and "Not claimed" or "Claimed by %s [%u.%u.%u.%u]" with the owner the last
// verification reported (address 0: none). None for a value outside the five.
std::optional<std::u16string> ConnectionStatusText(std::uint8_t nState,
                                                   std::u16string_view strOwnerHostName,
                                                   std::uint32_t dwOwnerAddress);
