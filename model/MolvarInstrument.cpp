#include "model/MolvarInstrument.h"

#include "model/AddressText.h"
#include "platform/AnsiCodePage.h"

#include <cstring>

namespace {

// Copies a text with its NUL when it fits the field (at most 63 bytes before the NUL). The rest
// of the field is zeroed so that whole-field copies carry nothing stale.
int SetTextField(char (&szField)[TEXT_FIELD_SIZE], const char* pszText) {
    if (pszText == nullptr) {
        return 0;
    }
    std::size_t nLength = 0;
    while (nLength < TEXT_FIELD_SIZE && pszText[nLength] != '\0') {
        ++nLength;
    }
    if (nLength >= TEXT_FIELD_SIZE) {
        return 0;
    }
    std::memset(szField, 0, TEXT_FIELD_SIZE);
    std::memcpy(szField, pszText, nLength);
    return 1;
}

std::u16string Decode(const char (&szField)[TEXT_FIELD_SIZE]) {
    return AnsiToWide(std::string_view(szField, ::strnlen(szField, TEXT_FIELD_SIZE)));
}

} // namespace

CMolvarInstrument::CMolvarInstrument()
    : m_bInUse(0), m_bClaimed(0), m_szHostName{}, m_szName{}, m_szOwnerHostName{}, m_dwIPAddress(0),
      m_dwOwnerIPAddress(0) {}

CMolvarInstrument::CMolvarInstrument(const CMolvarInstrument& other)
    : m_bInUse(other.m_bInUse), m_bClaimed(other.m_bClaimed), m_dwIPAddress(other.m_dwIPAddress),
      m_dwOwnerIPAddress(other.m_dwOwnerIPAddress) {
    std::memcpy(m_szHostName, other.m_szHostName, TEXT_FIELD_SIZE);
    std::memcpy(m_szName, other.m_szName, TEXT_FIELD_SIZE);
    std::memcpy(m_szOwnerHostName, other.m_szOwnerHostName, TEXT_FIELD_SIZE);
}

CMolvarInstrument& CMolvarInstrument::operator=(const CMolvarInstrument& other) {
    m_bInUse = other.m_bInUse;
    m_bClaimed = other.m_bClaimed;
    std::memmove(m_szHostName, other.m_szHostName, TEXT_FIELD_SIZE);
    std::memmove(m_szName, other.m_szName, TEXT_FIELD_SIZE);
    std::memmove(m_szOwnerHostName, other.m_szOwnerHostName, TEXT_FIELD_SIZE);
    m_dwIPAddress = other.m_dwIPAddress;
    m_dwOwnerIPAddress = other.m_dwOwnerIPAddress;
    return *this;
}

CMolvarInstrument::~CMolvarInstrument() = default;

int CMolvarInstrument::SetHostName(const char* pszText) {
    return SetTextField(m_szHostName, pszText);
}

int CMolvarInstrument::SetName(const char* pszText) {
    return SetTextField(m_szName, pszText);
}

int CMolvarInstrument::SetOwnerHostName(const char* pszText) {
    return SetTextField(m_szOwnerHostName, pszText);
}

int CMolvarInstrument::IsEqual(const CMolvarInstrument& a, const CMolvarInstrument& b) {
    const bool bEqual =
        a.m_bInUse == b.m_bInUse && a.m_bClaimed == b.m_bClaimed &&
        a.m_dwIPAddress == b.m_dwIPAddress && a.m_dwOwnerIPAddress == b.m_dwOwnerIPAddress &&
        std::strncmp(a.m_szHostName, b.m_szHostName, TEXT_FIELD_SIZE) == 0 &&
        std::strncmp(a.m_szName, b.m_szName, TEXT_FIELD_SIZE) == 0 &&
        std::strncmp(a.m_szOwnerHostName, b.m_szOwnerHostName, TEXT_FIELD_SIZE) == 0;
    return bEqual ? 1 : 0;
}

CMolvarInstrument CMolvarInstrument::FromDescription(
    std::span<const std::uint8_t, INSTRUMENT_DESCRIPTION_SIZE> description) {
    const SInstrumentDescriptionFields fields = ReadInstrumentDescription(description);
    CMolvarInstrument instrument;
    // A field without a NUL reads as 64 bytes, which the setter refuses: the text stays empty.
    instrument.SetHostName(fields.strHostName.c_str());
    instrument.m_dwIPAddress = fields.dwAddress;
    instrument.m_bClaimed = fields.bClaimed;
    instrument.m_bInUse = fields.bInUse;
    instrument.SetName(fields.strName.c_str());
    instrument.SetOwnerHostName(fields.strOwnerHostName.c_str());
    instrument.m_dwOwnerIPAddress = fields.dwOwnerAddress;
    return instrument;
}

std::u16string CMolvarInstrument::DisplayName() const {
    if (m_szName[0] == '\0') {
        return u"Unnamed";
    }
    return NameText();
}

std::u16string CMolvarInstrument::DisplayAddress() const {
    return FormatHostAndAddress(HostNameText(), m_dwIPAddress);
}

std::u16string CMolvarInstrument::DisplayInUse() const {
    return m_bInUse != 0 ? u"Yes" : u"No";
}

std::u16string CMolvarInstrument::DisplayOwner() const {
    if (m_bClaimed == 0) {
        return u"{none}";
    }
    return FormatHostAndAddress(OwnerHostNameText(), m_dwOwnerIPAddress);
}

std::u16string CMolvarInstrument::HostNameText() const {
    return Decode(m_szHostName);
}

std::u16string CMolvarInstrument::NameText() const {
    return Decode(m_szName);
}

std::u16string CMolvarInstrument::OwnerHostNameText() const {
    return Decode(m_szOwnerHostName);
}

bool operator<(const CMolvarInstrument& a, const CMolvarInstrument& b) {
    return a.m_dwIPAddress < b.m_dwIPAddress;
}
