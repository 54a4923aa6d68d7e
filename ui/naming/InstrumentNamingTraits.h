// What tells the claim window and the rename window apart: one table each. The exchange's kind
// brings the message code, the reply timer's id and period and the texts of its outcomes.
#pragma once

#include "protocol/NamingExchange.h"

#include <cstdint>

enum class ENamingLayout : std::uint8_t {
    // An editable name box (disabled and preset when the instrument has a name), the address
    // and this computer as the owner to be.
    Claim,
    // The current name read-only, the address, and an editable box for the new name.
    Rename,
};

struct SInstrumentNamingTraits {
    const char* pszTitle; // also the caption of every message
    const SNamingKind& kind;
    ENamingLayout nLayout;
    const char* pszActionText;
    bool bActionIsDefault;    // Enter presses it; without it Enter ends the window (OnOK)
    int nCancelResult;        // Escape and the close box
    const char* pszRouteName; // in the routing log
};

extern const SInstrumentNamingTraits CLAIM_NAMING_TRAITS;
extern const SInstrumentNamingTraits RENAME_NAMING_TRAITS;
