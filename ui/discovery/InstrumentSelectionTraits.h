// What tells the two selection windows apart, and the texts of their actions: one table each.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

enum class ESelectionAction : std::uint8_t { Claim, Release, Rename };

// An action button of a selection window. Every action button follows the in-use rule of the
// list: enabled while at least one listed instrument is not in use.
struct SSelectionButton {
    const char* pszText;
    ESelectionAction nAction;
    bool bDefault; // the window's default button, which Enter presses
};

struct SInstrumentSelectionTraits {
    const char* pszTitle;
    const char* pszRouteName;                  // in the routing log
    std::span<const SSelectionButton> buttons; // in the order shown
    ESelectionAction nListAction;              // double click or right click on the list
};

extern const SInstrumentSelectionTraits CLAIM_SELECTION_TRAITS;
extern const SInstrumentSelectionTraits RENAME_SELECTION_TRAITS;

// The texts of an action, the same in both windows.
struct SSelectionActionTexts {
    const char* pszSelectMessage;        // more than one instrument listed, none selected
    std::u16string_view strInUseMessage; // the chosen instrument is in use
};
const SSelectionActionTexts& SelectionActionTexts(ESelectionAction nAction);
