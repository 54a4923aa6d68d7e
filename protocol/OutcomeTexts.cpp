#include "protocol/OutcomeTexts.h"

#include "link/Messages.h"
#include "model/AddressText.h"

#include <string>

std::optional<std::u16string_view> ReleaseStatusText(std::uint8_t nStatus) {
    switch (nStatus) {
    case RELEASE_STATUS_IN_USE:
        return TEXT_RELEASE_IN_USE;
    case RELEASE_STATUS_OVERRIDABLE:
        return TEXT_RELEASE_OVERRIDABLE;
    default:
        return std::nullopt;
    }
}

std::u16string ClaimOwnerText(std::u16string_view strOwnerHostName, std::uint32_t dwOwnerAddress) {
    if (dwOwnerAddress == 0) {
        return std::u16string(TEXT_NOT_CLAIMED);
    }
    return u"Claimed by " + FormatHostAndAddress(strOwnerHostName, dwOwnerAddress);
}

std::u16string DiscoveryStatusText(std::uint32_t nCount, bool bCheckingNetwork) {
    if (nCount == 0) {
        return bCheckingNetwork ? u"Checking network..." : u"No instruments found";
    }
    if (nCount == 1) {
        return u"One instrument found";
    }
    const std::string strCount = std::to_string(nCount);
    return std::u16string(strCount.begin(), strCount.end()) + u" instruments found";
}
