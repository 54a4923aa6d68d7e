#include "ui/naming/InstrumentNamingTraits.h"

#include "platform/window/Dialog.h"

const SInstrumentNamingTraits CLAIM_NAMING_TRAITS = {
    "Claim Instrument", CLAIM_NAMING_EXCHANGE, ENamingLayout::Claim, "Claim", true,
    IDCANCEL,           "claim window",
};

const SInstrumentNamingTraits RENAME_NAMING_TRAITS = {
    "Rename Instrument", RENAME_NAMING_EXCHANGE, ENamingLayout::Rename, "Rename", false, 0,
    "rename window",
};
