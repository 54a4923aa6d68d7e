// One instrument as the last discovery reply described it: a plain value, ordered by address.
#pragma once

#include "link/Messages.h"

#include <cstdint>
#include <span>
#include <string>

class CMolvarInstrument {
public:
    CMolvarInstrument();
    CMolvarInstrument(const CMolvarInstrument& other);
    CMolvarInstrument& operator=(const CMolvarInstrument& other);
    virtual ~CMolvarInstrument();

    // Each copies an 8-bit text with its NUL: 1; a missing text or one of 64 bytes or more
    // leaves the field unchanged: 0.
    int SetHostName(const char* pszText);
    int SetName(const char* pszText);
    int SetOwnerHostName(const char* pszText);

    // 1 when all seven fields agree (texts byte for byte up to their NULs), else 0.
    static int IsEqual(const CMolvarInstrument& a, const CMolvarInstrument& b);

    // Built from the 202 bytes of an InstrumentDescription; a text field without a NUL leaves
    // its text empty, flags and addresses are taken as they come.
    static CMolvarInstrument
    FromDescription(std::span<const std::uint8_t, INSTRUMENT_DESCRIPTION_SIZE> description);

    // The four display columns, 8-bit texts decoded as the Windows clients decode them.
    std::u16string DisplayName() const;    // the name, or "Unnamed"
    std::u16string DisplayAddress() const; // "host [a.b.c.d]"
    std::u16string DisplayInUse() const;   // "Yes" for any nonzero flag, else "No"
    std::u16string DisplayOwner() const;   // "owner [a.b.c.d]" when claimed, else "{none}"
    // The texts alone, decoded, for the claim and rename windows and the ownership test.
    std::u16string HostNameText() const;
    std::u16string NameText() const;
    std::u16string OwnerHostNameText() const;
    // In use: the flag is exactly 1, as the instruments set it; no action may take it then.
    bool IsBusy() const { return m_bInUse == 1; }

    std::uint8_t m_bInUse;
    std::uint8_t m_bClaimed;
    char m_szHostName[TEXT_FIELD_SIZE];
    char m_szName[TEXT_FIELD_SIZE];
    char m_szOwnerHostName[TEXT_FIELD_SIZE];
    std::uint32_t m_dwIPAddress;
    std::uint32_t m_dwOwnerIPAddress;
};

// The order of the instrument list: by address, as unsigned numbers.
bool operator<(const CMolvarInstrument& a, const CMolvarInstrument& b);
