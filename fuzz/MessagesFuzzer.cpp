// Every reader of the message formats on one input: the input as a whole datagram, its payload
// (or the input itself when it is no datagram) given to each reply reader, and the instrument
// description decoded from it. Each reader must answer exactly for its code and length, and what
// it reads must be what a builder writes back byte for byte.
#include "fuzz/FuzzCheck.h"
#include "link/Messages.h"
#include "model/AddressText.h"
#include "model/MolvarInstrument.h"
#include "platform/AnsiCodePage.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::span<const std::uint8_t>;

bool Same(Bytes a, Bytes b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

void CheckDatagram(Bytes bytes) {
    const auto view = ParseDatagram(bytes);
    const bool bWhole =
        bytes.size() >= DATAGRAM_HEADER_SIZE && HasDatagramMagic(bytes) &&
        ReadDatagramHeader(bytes.data()).wPayloadLength <= MAX_PAYLOAD_SIZE &&
        bytes.size() == DATAGRAM_HEADER_SIZE + ReadDatagramHeader(bytes.data()).wPayloadLength;
    FUZZ_CHECK(view.has_value() == bWhole);
    if (!view) {
        return;
    }
    FUZZ_CHECK(view->payload.data() == bytes.data() + DATAGRAM_HEADER_SIZE);
    FUZZ_CHECK(view->payload.size() == view->header.wPayloadLength);
    FUZZ_CHECK(view->header.dwDestination == ReadHeaderAddress(bytes.data() + 2));
    FUZZ_CHECK(view->header.dwSource == ReadHeaderAddress(bytes.data() + 6));
    std::array<std::uint8_t, MAX_DATAGRAM_SIZE> abFramed{};
    const std::size_t nFramed = FrameDatagram(view->header.dwDestination, view->header.dwSource,
                                              view->payload, abFramed.data());
    FUZZ_CHECK(Same({abFramed.data(), nFramed}, bytes));
}

void CheckTextField(const std::uint8_t* pbField, const char* pszStored) {
    FUZZ_CHECK(::strnlen(pszStored, TEXT_FIELD_SIZE) < TEXT_FIELD_SIZE);
    const std::string strRead = ReadTextField(pbField);
    FUZZ_CHECK(strRead.size() <= TEXT_FIELD_SIZE);
    FUZZ_CHECK(strRead.find('\0') == std::string::npos);
    if (TextFieldHasNul(pbField)) {
        FUZZ_CHECK(strRead == pszStored);
    } else {
        FUZZ_CHECK(strRead.size() == TEXT_FIELD_SIZE && pszStored[0] == '\0');
    }
}

void CheckDescription(std::span<const std::uint8_t, INSTRUMENT_DESCRIPTION_SIZE> description) {
    namespace D = InstrumentDescription;
    const CMolvarInstrument instrument = CMolvarInstrument::FromDescription(description);
    const std::uint8_t* pb = description.data();
    CheckTextField(pb + D::HOST_NAME, instrument.m_szHostName);
    CheckTextField(pb + D::NAME, instrument.m_szName);
    CheckTextField(pb + D::OWNER_HOST_NAME, instrument.m_szOwnerHostName);
    FUZZ_CHECK(instrument.m_dwIPAddress == ReadNetworkAddress(pb + D::ADDRESS));
    FUZZ_CHECK(instrument.m_dwOwnerIPAddress == ReadHeaderAddress(pb + D::OWNER_ADDRESS));
    FUZZ_CHECK(instrument.m_bClaimed == pb[D::CLAIMED] && instrument.m_bInUse == pb[D::IN_USE]);

    // Written back as an instrument writes itself, the record reads the same.
    SInstrumentDescriptionFields fields;
    fields.strHostName = instrument.m_szHostName;
    fields.dwAddress = instrument.m_dwIPAddress;
    fields.bClaimed = instrument.m_bClaimed;
    fields.bInUse = instrument.m_bInUse;
    fields.strName = instrument.m_szName;
    fields.strOwnerHostName = instrument.m_szOwnerHostName;
    fields.dwOwnerAddress = instrument.m_dwOwnerIPAddress;
    std::array<std::uint8_t, INSTRUMENT_DESCRIPTION_SIZE> abWritten{};
    WriteInstrumentDescription(abWritten.data(), fields);
    FUZZ_CHECK(CMolvarInstrument::IsEqual(CMolvarInstrument::FromDescription(std::span(abWritten)),
                                          instrument) == 1);
    FUZZ_CHECK(CMolvarInstrument::IsEqual(CMolvarInstrument(instrument), instrument) == 1);

    // One UTF-16 unit per byte of text; the columns as the lists show them.
    FUZZ_CHECK(instrument.NameText().size() == std::strlen(instrument.m_szName));
    FUZZ_CHECK(instrument.HostNameText().size() == std::strlen(instrument.m_szHostName));
    FUZZ_CHECK(instrument.DisplayName() ==
               (instrument.m_szName[0] == '\0' ? u"Unnamed" : instrument.NameText()));
    const std::u16string strAddress = instrument.DisplayAddress();
    FUZZ_CHECK(strAddress.starts_with(instrument.HostNameText() + u" [") &&
               strAddress.ends_with(u"]"));
    FUZZ_CHECK(instrument.DisplayOwner() ==
               (instrument.m_bClaimed == 0 ? u"{none}"
                                           : FormatHostAndAddress(instrument.OwnerHostNameText(),
                                                                  instrument.m_dwOwnerIPAddress)));
    FUZZ_CHECK(instrument.DisplayInUse() == (instrument.m_bInUse != 0 ? u"Yes" : u"No"));
}

void CheckReplyReaders(Bytes payload) {
    const bool bHasCode = !payload.empty();
    for (int nCode = 0; nCode < 8; ++nCode) {
        const auto status = ReadStatusReply(payload, static_cast<EMessageCode>(nCode));
        const bool bStatusCode = nCode == MSG_CLAIM || nCode == MSG_RELEASE || nCode == MSG_RENAME;
        FUZZ_CHECK(status.has_value() ==
                   (bStatusCode && payload.size() == STATUS_REPLY_SIZE && payload[0] == nCode));
        if (status) {
            FUZZ_CHECK(Same(BuildStatusReply(static_cast<EMessageCode>(nCode), *status), payload));
        }
    }

    const auto repair = ReadRepairReply(payload);
    FUZZ_CHECK(repair.has_value() ==
               (payload.size() == REPAIR_REPLY_SIZE && bHasCode && payload[0] == MSG_REPAIR));
    if (repair) {
        FUZZ_CHECK(Same(BuildRepairReply(repair->nStatus, repair->dwAddress), payload));
    }

    const auto discovery = DiscoveryReplyDescription(payload);
    FUZZ_CHECK(discovery.has_value() == (payload.size() == DISCOVERY_REPLY_SIZE && bHasCode &&
                                         payload[0] == MSG_DISCOVERY_REPLY));
    if (discovery) {
        FUZZ_CHECK(discovery->data() == payload.data() + 1);
        CheckDescription(*discovery);
    }

    const auto verify = ReadVerifyReply(payload);
    FUZZ_CHECK(verify.has_value() ==
               (payload.size() == VERIFY_REPLY_SIZE && bHasCode && payload[0] == MSG_VERIFY));
    if (verify) {
        FUZZ_CHECK(verify->nStatus == payload[1] &&
                   verify->description.data() == payload.data() + 2);
        CheckDescription(verify->description);
    }

    const auto request = ParseNamedRequest(payload);
    const bool bNamedCode = bHasCode && (payload[0] == MSG_CLAIM || payload[0] == MSG_RELEASE ||
                                         payload[0] == MSG_REPAIR || payload[0] == MSG_VERIFY ||
                                         payload[0] == MSG_RENAME);
    FUZZ_CHECK(request.has_value() == (payload.size() == NAMED_REQUEST_SIZE && bNamedCode));
    if (request && request->strInstrumentName.size() < TEXT_FIELD_SIZE &&
        request->strClientHostName.size() < TEXT_FIELD_SIZE) {
        // Texts that fit a field go out again as they came (each byte one UTF-16 unit).
        std::u16string strHost;
        for (const char c : request->strClientHostName) {
            strHost.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
        }
        std::u16string strNameUnits;
        for (const char c : request->strInstrumentName) {
            strNameUnits.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
        }
        const auto rebuilt = BuildNamedRequest(request->nCode, strNameUnits, strHost);
        const auto reparsed = ParseNamedRequest(rebuilt);
        FUZZ_CHECK(reparsed && reparsed->nCode == request->nCode &&
                   reparsed->strInstrumentName == request->strInstrumentName &&
                   reparsed->strClientHostName == request->strClientHostName);
    }
}

// The input's bytes as UTF-16 units written into a text field: for each of the first 63 units
// the byte that reads back as it where there is one, else its low byte; then zeros.
void CheckTextFieldWriter(Bytes bytes) {
    // What each byte reads as.
    static const std::array<char16_t, 256> READ_AS = [] {
        std::array<char16_t, 256> aTable{};
        for (int b = 0; b < 256; ++b) {
            const char ch = static_cast<char>(b);
            aTable[static_cast<std::size_t>(b)] = AnsiToWide(std::string_view(&ch, 1))[0];
        }
        return aTable;
    }();
    std::u16string strText;
    for (std::size_t i = 0; i + 1 < bytes.size() && strText.size() < 100; i += 2) {
        strText.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
    }
    std::array<std::uint8_t, TEXT_FIELD_SIZE> abField;
    abField.fill(0xAA);
    WriteTextField(abField.data(), strText);
    const std::size_t nUnits = std::min(strText.size(), TEXT_FIELD_MAX_UNITS);
    for (std::size_t i = 0; i < TEXT_FIELD_SIZE; ++i) {
        if (i >= nUnits) {
            FUZZ_CHECK(abField[i] == 0);
            continue;
        }
        const bool bReadsBack = READ_AS[abField[i]] == strText[i];
        FUZZ_CHECK(bReadsBack || abField[i] == (strText[i] & 0xFF));
        // A unit that some byte reads back as is always written as that byte.
        const bool bWritable =
            std::find(READ_AS.begin(), READ_AS.end(), strText[i]) != READ_AS.end();
        FUZZ_CHECK(bReadsBack == bWritable);
    }
    FUZZ_CHECK(TextFieldHasNul(abField.data()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pbData, std::size_t nSize) {
    const Bytes bytes(pbData, nSize);
    CheckDatagram(bytes);
    const auto view = ParseDatagram(bytes);
    CheckReplyReaders(view ? view->payload : bytes);
    if (nSize >= INSTRUMENT_DESCRIPTION_SIZE) {
        CheckDescription(bytes.first<INSTRUMENT_DESCRIPTION_SIZE>());
    }
    CheckTextFieldWriter(bytes);
    const std::string_view strAnsi(reinterpret_cast<const char*>(pbData), nSize);
    FUZZ_CHECK(AnsiToWide(strAnsi).size() == nSize);
    return 0;
}
