#include "protocol/InstrumentName.h"

ENameCheck CheckInstrumentName(std::u16string_view strName) {
    if (strName.empty()) {
        return ENameCheck::Empty;
    }
    if (strName.size() >= NAME_LENGTH_LIMIT) {
        return ENameCheck::TooLong;
    }
    if (IsReservedName(strName)) {
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
    return u"\"" + std::u16string(strName) + u"\" is not a valid instrument name.";
}
