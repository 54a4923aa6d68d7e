#include "model/AddressText.h"

#include "link/Messages.h"

#include <string>

std::u16string FormatAddress(std::uint32_t dwAddress) {
    const std::string strText = DottedAddress(dwAddress);
    return std::u16string(strText.begin(), strText.end());
}

std::u16string FormatHostAndAddress(std::u16string_view strHostName, std::uint32_t dwAddress) {
    std::u16string strText(strHostName);
    strText += u" [";
    strText += FormatAddress(dwAddress);
    strText += u']';
    return strText;
}
