#include "protocol/ReleaseCheck.h"

#include "link/Messages.h"

#include <array>
#include <cstring>
#include <string>

namespace {

// The 8-bit text the instrument holds after this computer sent strText in a request.
std::string AsSent(std::u16string_view strText) {
    std::array<std::uint8_t, TEXT_FIELD_SIZE> abField{};
    WriteTextField(abField.data(), strText);
    return ReadTextField(abField.data());
}

bool HoldsText(const char (&szField)[TEXT_FIELD_SIZE], std::u16string_view strText) {
    return std::string_view(szField, ::strnlen(szField, TEXT_FIELD_SIZE)) == AsSent(strText);
}

} // namespace

bool IsOwnedHere(const CMolvarInstrument& instrument, const SReleaseContext& context) {
    return instrument.m_dwOwnerIPAddress == context.dwLocalAddress &&
           HoldsText(instrument.m_szOwnerHostName, context.strLocalHostName) &&
           HoldsText(instrument.m_szName, context.strConfiguredName) &&
           instrument.m_dwIPAddress == context.dwConfiguredAddress;
}

EReleaseCheck CheckRelease(const CMolvarInstrument& instrument, const SReleaseContext& context) {
    if (instrument.m_bClaimed == 0) {
        return EReleaseCheck::NotClaimed;
    }
    if (!IsOwnedHere(instrument, context)) {
        return EReleaseCheck::OwnedElsewhere;
    }
    if (instrument.m_bInUse == 1) {
        return EReleaseCheck::InUse;
    }
    return EReleaseCheck::Allowed;
}
