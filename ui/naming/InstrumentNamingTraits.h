// What tells the claim window and the rename window apart: one table each.
#pragma once

#include "link/Messages.h"

enum class ENamingLayout : std::uint8_t {
    // An editable name box (disabled and preset when the instrument has a name), the address
    // and this computer as the owner to be.
    Claim,
    // The current name read-only, the address, and an editable box for the new name.
    Rename,
};

struct SInstrumentNamingTraits {
    const char* pszTitle; // also the caption of every message
    MessageCode nCode;    // of the request and its reply
    unsigned nTimerId;
    unsigned nTimerPeriodMs;
    ENamingLayout nLayout;
    const char* pszActionText;
    bool bActionIsDefault; // Enter presses it; without it Enter ends the window (OnOK)
    int nCancelResult;     // Escape and the close box
    const char* pszEmptyNameMessage;
    const char* pszNoResponseMessage;
    const char* pszRefusedMessage;
    const char* pszSuccessMessage;
};

extern const SInstrumentNamingTraits CLAIM_NAMING_TRAITS;
extern const SInstrumentNamingTraits RENAME_NAMING_TRAITS;
