#include "protocol/InstrumentName.h"

#include "platform/AnsiCodePage.h"

#include <algorithm>

namespace {

constexpr char16_t DELETE_CHARACTER = 0x7F;

bool IsControlUnit(char16_t ch) {
    return ch < 0x20 || ch == DELETE_CHARACTER;
}

bool IsHighSurrogate(char16_t ch) {
    return ch >= 0xD800 && ch <= 0xDBFF;
}

bool IsLowSurrogate(char16_t ch) {
    return ch >= 0xDC00 && ch <= 0xDFFF;
}

// True when no unit's 8-bit form (the text field's) is NUL or a control character, and the
// configuration file (UTF-8, whose reader drops U+FEFF as a byte order mark) can hold the name:
// no surrogate without its partner, no U+FEFF.
bool TravelsAsText(std::u16string_view strName) {
    for (std::size_t i = 0; i < strName.size(); ++i) {
        const char16_t ch = strName[i];
        const bool bPaired = IsHighSurrogate(ch)
                                 ? i + 1 < strName.size() && IsLowSurrogate(strName[i + 1])
                             : IsLowSurrogate(ch) ? i > 0 && IsHighSurrogate(strName[i - 1])
                                                  : true;
        if (IsControlUnit(WideToAnsiUnit(ch)) || ch == 0xFEFF || !bPaired) {
            return false;
        }
    }
    return true;
}

} // namespace

ENameCheck CheckInstrumentName(std::u16string_view strName) {
    if (strName.empty()) {
        return ENameCheck::Empty;
    }
    if (strName.size() >= NAME_LENGTH_LIMIT) {
        return ENameCheck::TooLong;
    }
    if (IsReservedName(strName) || !TravelsAsText(strName)) {
        return ENameCheck::Reserved;
    }
    return ENameCheck::Valid;
}

bool IsReservedName(std::u16string_view strName) {
    // Only A to Z are compared without case, as the instruments' other clients do.
    constexpr std::u16string_view RESERVED = u"unnamed";
    if (strName.size() != RESERVED.size()) {
        return false;
    }
    for (std::size_t i = 0; i < RESERVED.size(); ++i) {
        char16_t ch = strName[i];
        if (ch >= u'A' && ch <= u'Z') {
            ch = static_cast<char16_t>(ch - u'A' + u'a');
        }
        if (ch != RESERVED[i]) {
            return false;
        }
    }
    return true;
}

std::u16string NameTooLongText() {
    const std::string strLimit = std::to_string(NAME_LENGTH_LIMIT);
    return u"An instrument name must be less than " +
           std::u16string(strLimit.begin(), strLimit.end()) + u" characters long.";
}

std::u16string ReservedNameText(std::u16string_view strName) {
    std::u16string strShown(strName);
    for (char16_t& ch : strShown) {
        if (IsControlUnit(ch)) {
            // Control pictures: U+2400 to U+241F, and U+2421 for DEL.
            ch = static_cast<char16_t>(ch == DELETE_CHARACTER ? 0x2421 : 0x2400 + ch);
        }
    }
    return u"\"" + strShown + u"\" is not a valid instrument name.";
}
