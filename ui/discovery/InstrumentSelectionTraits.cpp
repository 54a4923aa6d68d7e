#include "ui/discovery/InstrumentSelectionTraits.h"

#include "protocol/OutcomeTexts.h"

namespace {

constexpr SSelectionButton CLAIM_SELECTION_BUTTONS[] = {
    {"Claim instrument...", ESelectionAction::Claim, true},
    {"Release instrument", ESelectionAction::Release, false},
    {"Rename instrument...", ESelectionAction::Rename, false},
};

constexpr SSelectionButton RENAME_SELECTION_BUTTONS[] = {
    {"Rename instrument...", ESelectionAction::Rename, false},
};

// Indexed by ESelectionAction. The release message names its button with three dots, although
// the button itself has none: the text the instruments' users know.
constexpr SSelectionActionTexts ACTION_TEXTS[] = {
    {"Please select an instrument before clicking the \"Claim instrument...\" button.",
     TEXT_CLAIM_SELECTED_IN_USE},
    {"Please select an instrument before clicking the \"Release instrument...\" button.",
     TEXT_RELEASE_SELECTED_IN_USE},
    {"Please select an instrument before clicking the \"Rename instrument...\" button.",
     TEXT_RENAME_SELECTED_IN_USE},
};

} // namespace

const SInstrumentSelectionTraits CLAIM_SELECTION_TRAITS = {
    "Select an Instrument to Claim or Release",
    "claim selection window",
    CLAIM_SELECTION_BUTTONS,
    ESelectionAction::Claim,
};

const SInstrumentSelectionTraits RENAME_SELECTION_TRAITS = {
    "Select an Instrument to Rename",
    "rename selection window",
    RENAME_SELECTION_BUTTONS,
    ESelectionAction::Rename,
};

const SSelectionActionTexts& SelectionActionTexts(ESelectionAction nAction) {
    return ACTION_TEXTS[static_cast<std::size_t>(nAction)];
}
