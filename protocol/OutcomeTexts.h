// The words the program says about each outcome of an exchange, one copy for the windows and
// the command line, so both tell the user the same thing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// ---- Verification, release and repair of the configured instrument ------------------------
inline constexpr std::u16string_view TEXT_VERIFICATION_FAILED =
    u"The instrument connection could not be verified.";
inline constexpr std::u16string_view TEXT_REPAIR_FAILED =
    u"The connection could not be repaired.  Is the instrument turned on and connected to the "
    u"network?";
inline constexpr std::u16string_view TEXT_REPAIRED = u"The connection has been repaired.";
inline constexpr std::u16string_view TEXT_RELEASE_IN_USE =
    u"The instrument is in use and the other client's claim may not be overridden.";
inline constexpr std::u16string_view TEXT_RELEASE_OVERRIDABLE =
    u"The instrument is claimed by another client, but that claim may be overridden.";
// A release without an answer forgets the configuration all the same.
inline constexpr std::u16string_view TEXT_RELEASE_UNANSWERED =
    u"The instrument did not answer the release request, and may still be claimed by this "
    u"computer.  Claim it again to release it.";
// The connection status of each state (protocol/ConnectionState.h).
inline constexpr std::u16string_view TEXT_VERIFYING = u"Verifying current configuration...";
inline constexpr std::u16string_view TEXT_NOT_CONFIGURED = u"Not configured";
inline constexpr std::u16string_view TEXT_READY = u"Ready";
inline constexpr std::u16string_view TEXT_NOT_READY = u"Not ready";
inline constexpr std::u16string_view TEXT_NOT_CLAIMED = u"Not claimed";

// The message a release reply brings, if its status has one (5 and 6); every status clears the
// configured instrument all the same.
std::optional<std::u16string_view> ReleaseStatusText(std::uint8_t nStatus);
// "Not claimed" for owner address 0, else "Claimed by %s [%u.%u.%u.%u]".
std::u16string ClaimOwnerText(std::u16string_view strOwnerHostName, std::uint32_t dwOwnerAddress);

// ---- Claim and rename of one instrument -----------------------------------------------------
inline constexpr std::u16string_view TEXT_CLAIM_NO_NAME = u"Please enter an instrument name.";
inline constexpr std::u16string_view TEXT_CLAIM_NO_RESPONSE =
    u"The instrument failed to respond to the claim request.";
inline constexpr std::u16string_view TEXT_CLAIM_REFUSED = u"The instrument is no longer available.";
inline constexpr std::u16string_view TEXT_CLAIM_GRANTED = u"You have claimed the instrument.";
inline constexpr std::u16string_view TEXT_RENAME_NO_NAME = u"Please enter a new instrument name.";
inline constexpr std::u16string_view TEXT_RENAME_NO_RESPONSE =
    u"The instrument failed to respond to the rename request.";
inline constexpr std::u16string_view TEXT_RENAME_REFUSED = u"The instrument could not be renamed.";
inline constexpr std::u16string_view TEXT_RENAME_GRANTED =
    u"You have renamed the instrument, and are the current owner.";
// The checks before a claim or a rename: an instrument in use is not asked.
inline constexpr std::u16string_view TEXT_CLAIM_SELECTED_IN_USE =
    u"The selected instrument is in use, and cannot be claimed.";
inline constexpr std::u16string_view TEXT_RENAME_SELECTED_IN_USE =
    u"The selected instrument is in use, and cannot be renamed.";

// ---- Releasing a discovered instrument ------------------------------------------------------
inline constexpr std::u16string_view TEXT_RELEASE_NOT_CLAIMED =
    u"The selected instrument has not been claimed yet.";
inline constexpr std::u16string_view TEXT_RELEASE_OWNED_ELSEWHERE =
    u"The selected instrument is owned by another client, and can only be released by its owner.";
inline constexpr std::u16string_view TEXT_RELEASE_SELECTED_IN_USE =
    u"The selected instrument is in use, and cannot be released.";

// ---- Discovery ------------------------------------------------------------------------------
// The status line for n displayed instruments: "Checking network..." for none at the opening,
// "No instruments found", "One instrument found", "%u instruments found".
std::u16string DiscoveryStatusText(std::uint32_t nCount, bool bCheckingNetwork);
