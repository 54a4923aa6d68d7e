// The rule for a name the user gives an instrument, as the claim and rename windows and the
// command line check it: 1 to 63 UTF-16 code units, not "Unnamed" (the lists' word for an
// instrument without a name) with A to Z compared without case, nothing whose 8-bit form (the
// text field's) is NUL, which would cut the name short on the wire, or a control character, and
// nothing the configuration file cannot hold (a lone surrogate, U+FEFF).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// A name must be shorter than this many code units (a text field's size).
inline constexpr std::size_t NAME_LENGTH_LIMIT = 64;

enum class ENameCheck : std::uint8_t {
    Empty,    // nothing typed: the last name that passed stays
    TooLong,  // 64 code units or more
    Reserved, // "Unnamed" in any case of A to Z, or a name that cannot travel or be stored
    Valid,
};

ENameCheck CheckInstrumentName(std::u16string_view strName);
bool IsReservedName(std::u16string_view strName);

// "An instrument name must be less than 64 characters long."
std::u16string NameTooLongText();
// ""%s" is not a valid instrument name." with the name as typed, its control characters shown as
// their pictures (U+2400 on), so that none acts on the message box or terminal that shows it.
std::u16string ReservedNameText(std::u16string_view strName);
