#include "ui/naming/InstrumentNamingTraits.h"

#include "platform/window/Dialog.h"
#include "ui/claim/ClaimInstrumentDialog.h"
#include "ui/rename/RenameInstrumentDialog.h"

const SInstrumentNamingTraits CLAIM_NAMING_TRAITS = {
    "Claim Instrument",
    MSG_CLAIM,
    CClaimInstrumentDialog::ID_CLAIM_RESPONSE_TIMER_EVENT,
    CClaimInstrumentDialog::CLAIM_RESPONSE_TIMER_PERIOD_MS,
    ENamingLayout::Claim,
    "Claim",
    true,
    IDCANCEL,
    "Please enter an instrument name.",
    "The instrument failed to respond to the claim request.",
    "The instrument is no longer available.",
    "You have claimed the instrument.",
};

const SInstrumentNamingTraits RENAME_NAMING_TRAITS = {
    "Rename Instrument",
    MSG_RENAME,
    CRenameInstrumentDialog::ID_RENAME_RESPONSE_TIMER_EVENT,
    CRenameInstrumentDialog::RENAME_RESPONSE_TIMER_PERIOD_MS,
    ENamingLayout::Rename,
    "Rename",
    false,
    0,
    "Please enter a new instrument name.",
    "The instrument failed to respond to the rename request.",
    "The instrument could not be renamed.",
    "You have renamed the instrument, and are the current owner.",
};
