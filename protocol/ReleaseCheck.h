// Whether this computer may release a discovered instrument, as the claim selection window and
// the command line decide it before asking for the release of the configured instrument.
#pragma once

#include "model/MolvarInstrument.h"

#include <cstdint>
#include <string_view>

// What the test compares the instrument's record with.
struct SReleaseContext {
    std::uint32_t dwLocalAddress = 0;      // the link's local address
    std::u16string_view strLocalHostName;  // this computer's host name
    std::u16string_view strConfiguredName; // the configured instrument
    std::uint32_t dwConfiguredAddress = 0;
};

enum class EReleaseCheck : std::uint8_t {
    NotClaimed,     // "The selected instrument has not been claimed yet."
    OwnedElsewhere, // "... owned by another client, and can only be released by its owner."
    InUse,          // "The selected instrument is in use, and cannot be released."
    Allowed,        // the configured instrument, which is this one, may be released
};

// The tests in this order: claimed at all, owned here, in use (flag exactly 1).
EReleaseCheck CheckRelease(const CMolvarInstrument& instrument, const SReleaseContext& context);

// Owned here: the owner address is the local address, the owner host name is this computer's,
// the name is the configured name and the address the configured address, so that the release
// of the configured instrument acts on this one. The texts are compared as the instrument holds
// them: each wide text written as a text field and read back, byte for byte with the record's.
bool IsOwnedHere(const CMolvarInstrument& instrument, const SReleaseContext& context);
