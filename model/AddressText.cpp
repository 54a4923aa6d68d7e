#include "model/AddressText.h"

#include <string>

std::u16string FormatAddress(std::uint32_t dwAddress) {
    std::u16string strText;
    for (int nShift = 24; nShift >= 0; nShift -= 8) {
        const std::string strOctet = std::to_string((dwAddress >> nShift) & 0xFF);
        strText.append(strOctet.begin(), strOctet.end());
        if (nShift != 0) {
            strText.push_back(u'.');
        }
    }
    return strText;
}

std::u16string FormatHostAndAddress(std::u16string_view strHostName, std::uint32_t dwAddress) {
    std::u16string strText(strHostName);
    strText += u" [";
    strText += FormatAddress(dwAddress);
    strText += u']';
    return strText;
}
