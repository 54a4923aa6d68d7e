#include "link/Messages.h"

#include "platform/AnsiCodePage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::uint8_t MAGIC_0 = 0x4D; // 'M'
constexpr std::uint8_t MAGIC_1 = 0x56; // 'V'

constexpr std::size_t HEADER_DESTINATION = 2;
constexpr std::size_t HEADER_SOURCE = 6;
constexpr std::size_t HEADER_PAYLOAD_LENGTH = 10;

constexpr std::size_t NAMED_REQUEST_NAME = 1;
constexpr std::size_t NAMED_REQUEST_HOST_NAME = 1 + TEXT_FIELD_SIZE;

constexpr std::size_t DISCOVERY_REPLY_DESCRIPTION = 1;
constexpr std::size_t VERIFY_REPLY_DESCRIPTION = 2;

bool IsNamedRequestCode(std::uint8_t nCode) {
    return nCode == MSG_CLAIM || nCode == MSG_RELEASE || nCode == MSG_REPAIR ||
           nCode == MSG_VERIFY || nCode == MSG_RENAME;
}

// An 8-bit text as an instrument writes it: at most 63 bytes, a NUL, then zeros.
void WriteByteTextField(std::uint8_t* pbField, const std::string& strText) {
    std::memset(pbField, 0, TEXT_FIELD_SIZE);
    const std::size_t nLength = std::min(strText.size(), TEXT_FIELD_MAX_UNITS);
    std::memcpy(pbField, strText.data(), nLength);
}

bool HasCodeAndLength(std::span<const std::uint8_t> payload, std::uint8_t nCode,
                      std::size_t nLength) {
    return payload.size() == nLength && payload[0] == nCode;
}

} // namespace

void WriteHeaderAddress(std::uint8_t* pbField, std::uint32_t dwAddress) {
    pbField[0] = static_cast<std::uint8_t>(dwAddress);
    pbField[1] = static_cast<std::uint8_t>(dwAddress >> 8);
    pbField[2] = static_cast<std::uint8_t>(dwAddress >> 16);
    pbField[3] = static_cast<std::uint8_t>(dwAddress >> 24);
}

std::uint32_t ReadHeaderAddress(const std::uint8_t* pbField) {
    return static_cast<std::uint32_t>(pbField[0]) | static_cast<std::uint32_t>(pbField[1]) << 8 |
           static_cast<std::uint32_t>(pbField[2]) << 16 |
           static_cast<std::uint32_t>(pbField[3]) << 24;
}

std::string DottedAddress(std::uint32_t dwAddress) {
    char szText[16];
    std::snprintf(szText, sizeof(szText), "%u.%u.%u.%u", (dwAddress >> 24) & 0xFF,
                  (dwAddress >> 16) & 0xFF, (dwAddress >> 8) & 0xFF, dwAddress & 0xFF);
    return szText;
}

void WriteNetworkAddress(std::uint8_t* pbField, std::uint32_t dwAddress) {
    pbField[0] = static_cast<std::uint8_t>(dwAddress >> 24);
    pbField[1] = static_cast<std::uint8_t>(dwAddress >> 16);
    pbField[2] = static_cast<std::uint8_t>(dwAddress >> 8);
    pbField[3] = static_cast<std::uint8_t>(dwAddress);
}

std::uint32_t ReadNetworkAddress(const std::uint8_t* pbField) {
    return static_cast<std::uint32_t>(pbField[0]) << 24 |
           static_cast<std::uint32_t>(pbField[1]) << 16 |
           static_cast<std::uint32_t>(pbField[2]) << 8 | static_cast<std::uint32_t>(pbField[3]);
}

bool HasDatagramMagic(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 2 && bytes[0] == MAGIC_0 && bytes[1] == MAGIC_1;
}

void WriteDatagramHeader(std::uint8_t* pbHeader, const DatagramHeader& header) {
    pbHeader[0] = MAGIC_0;
    pbHeader[1] = MAGIC_1;
    WriteHeaderAddress(pbHeader + HEADER_DESTINATION, header.dwDestination);
    WriteHeaderAddress(pbHeader + HEADER_SOURCE, header.dwSource);
    pbHeader[HEADER_PAYLOAD_LENGTH] = static_cast<std::uint8_t>(header.wPayloadLength);
    pbHeader[HEADER_PAYLOAD_LENGTH + 1] = static_cast<std::uint8_t>(header.wPayloadLength >> 8);
}

DatagramHeader ReadDatagramHeader(const std::uint8_t* pbHeader) {
    DatagramHeader header;
    header.dwDestination = ReadHeaderAddress(pbHeader + HEADER_DESTINATION);
    header.dwSource = ReadHeaderAddress(pbHeader + HEADER_SOURCE);
    header.wPayloadLength = static_cast<std::uint16_t>(pbHeader[HEADER_PAYLOAD_LENGTH] |
                                                       pbHeader[HEADER_PAYLOAD_LENGTH + 1] << 8);
    return header;
}

std::size_t FrameDatagram(std::uint32_t dwDestination, std::uint32_t dwSource,
                          std::span<const std::uint8_t> payload, std::uint8_t* pbOut) {
    // Nothing is framed rather than writing past a buffer sized for the largest datagram.
    if (payload.size() > MAX_PAYLOAD_SIZE) {
        return 0;
    }
    DatagramHeader header;
    header.dwDestination = dwDestination;
    header.dwSource = dwSource;
    header.wPayloadLength = static_cast<std::uint16_t>(payload.size());
    WriteDatagramHeader(pbOut, header);
    if (!payload.empty()) {
        std::memcpy(pbOut + DATAGRAM_HEADER_SIZE, payload.data(), payload.size());
    }
    return DATAGRAM_HEADER_SIZE + payload.size();
}

std::optional<SDatagramView> ParseDatagram(std::span<const std::uint8_t> datagram) {
    if (datagram.size() < DATAGRAM_HEADER_SIZE || !HasDatagramMagic(datagram)) {
        return std::nullopt;
    }
    SDatagramView view;
    view.header = ReadDatagramHeader(datagram.data());
    if (view.header.wPayloadLength > MAX_PAYLOAD_SIZE ||
        datagram.size() != DATAGRAM_HEADER_SIZE + view.header.wPayloadLength) {
        return std::nullopt;
    }
    view.payload = datagram.subspan(DATAGRAM_HEADER_SIZE);
    return view;
}

void WriteTextField(std::uint8_t* pbField, std::u16string_view strText) {
    std::memset(pbField, 0, TEXT_FIELD_SIZE);
    const std::size_t nUnits = std::min(strText.size(), TEXT_FIELD_MAX_UNITS);
    for (std::size_t i = 0; i < nUnits; ++i) {
        pbField[i] = WideToAnsiUnit(strText[i]);
    }
}

std::string ReadTextField(const std::uint8_t* pbField) {
    const auto* pbEnd = pbField + TEXT_FIELD_SIZE;
    const auto* pbNul = std::find(pbField, pbEnd, std::uint8_t{0});
    return std::string(reinterpret_cast<const char*>(pbField),
                       static_cast<std::size_t>(pbNul - pbField));
}

bool TextFieldHasNul(const std::uint8_t* pbField) {
    return std::find(pbField, pbField + TEXT_FIELD_SIZE, std::uint8_t{0}) !=
           pbField + TEXT_FIELD_SIZE;
}

std::array<std::uint8_t, DISCOVERY_REQUEST_SIZE> BuildDiscoveryRequest() {
    return {MSG_DISCOVERY_REQUEST};
}

std::array<std::uint8_t, NAMED_REQUEST_SIZE>
BuildNamedRequest(EMessageCode nCode, std::u16string_view strInstrumentName,
                  std::u16string_view strClientHostName) {
    std::array<std::uint8_t, NAMED_REQUEST_SIZE> payload{};
    payload[0] = nCode;
    WriteTextField(payload.data() + NAMED_REQUEST_NAME, strInstrumentName);
    WriteTextField(payload.data() + NAMED_REQUEST_HOST_NAME, strClientHostName);
    return payload;
}

std::optional<SNamedRequest> ParseNamedRequest(std::span<const std::uint8_t> payload) {
    if (payload.size() != NAMED_REQUEST_SIZE || !IsNamedRequestCode(payload[0])) {
        return std::nullopt;
    }
    SNamedRequest request;
    request.nCode = static_cast<EMessageCode>(payload[0]);
    request.strInstrumentName = ReadTextField(payload.data() + NAMED_REQUEST_NAME);
    request.strClientHostName = ReadTextField(payload.data() + NAMED_REQUEST_HOST_NAME);
    return request;
}

void WriteInstrumentDescription(std::uint8_t* pbDescription,
                                const SInstrumentDescriptionFields& f) {
    namespace D = InstrumentDescription;
    WriteByteTextField(pbDescription + D::HOST_NAME, f.strHostName);
    WriteNetworkAddress(pbDescription + D::ADDRESS, f.dwAddress);
    pbDescription[D::CLAIMED] = f.bClaimed;
    pbDescription[D::IN_USE] = f.bInUse;
    WriteByteTextField(pbDescription + D::NAME, f.strName);
    WriteByteTextField(pbDescription + D::OWNER_HOST_NAME, f.strOwnerHostName);
    WriteHeaderAddress(pbDescription + D::OWNER_ADDRESS, f.dwOwnerAddress);
}

SInstrumentDescriptionFields
ReadInstrumentDescription(std::span<const std::uint8_t, INSTRUMENT_DESCRIPTION_SIZE> description) {
    namespace D = InstrumentDescription;
    const std::uint8_t* pb = description.data();
    SInstrumentDescriptionFields f;
    f.strHostName = ReadTextField(pb + D::HOST_NAME);
    f.dwAddress = ReadNetworkAddress(pb + D::ADDRESS);
    f.bClaimed = pb[D::CLAIMED];
    f.bInUse = pb[D::IN_USE];
    f.strName = ReadTextField(pb + D::NAME);
    f.strOwnerHostName = ReadTextField(pb + D::OWNER_HOST_NAME);
    f.dwOwnerAddress = ReadHeaderAddress(pb + D::OWNER_ADDRESS);
    return f;
}

std::array<std::uint8_t, STATUS_REPLY_SIZE> BuildStatusReply(EMessageCode nCode,
                                                             std::uint8_t nStatus) {
    return {nCode, nStatus};
}

std::array<std::uint8_t, REPAIR_REPLY_SIZE> BuildRepairReply(std::uint8_t nStatus,
                                                             std::uint32_t dwAddress) {
    std::array<std::uint8_t, REPAIR_REPLY_SIZE> payload{};
    payload[0] = MSG_REPAIR;
    payload[1] = nStatus;
    WriteNetworkAddress(payload.data() + 2, dwAddress);
    return payload;
}

std::array<std::uint8_t, DISCOVERY_REPLY_SIZE>
BuildDiscoveryReply(const SInstrumentDescriptionFields& description) {
    std::array<std::uint8_t, DISCOVERY_REPLY_SIZE> payload{};
    payload[0] = MSG_DISCOVERY_REPLY;
    WriteInstrumentDescription(payload.data() + DISCOVERY_REPLY_DESCRIPTION, description);
    return payload;
}

std::array<std::uint8_t, VERIFY_REPLY_SIZE>
BuildVerifyReply(std::uint8_t nStatus, const SInstrumentDescriptionFields& description) {
    std::array<std::uint8_t, VERIFY_REPLY_SIZE> payload{};
    payload[0] = MSG_VERIFY;
    payload[1] = nStatus;
    WriteInstrumentDescription(payload.data() + VERIFY_REPLY_DESCRIPTION, description);
    return payload;
}

std::optional<std::uint8_t> ReadStatusReply(std::span<const std::uint8_t> payload,
                                            EMessageCode nCode) {
    if (nCode != MSG_CLAIM && nCode != MSG_RELEASE && nCode != MSG_RENAME) {
        return std::nullopt;
    }
    if (!HasCodeAndLength(payload, nCode, STATUS_REPLY_SIZE)) {
        return std::nullopt;
    }
    return payload[1];
}

std::optional<RepairReply> ReadRepairReply(std::span<const std::uint8_t> payload) {
    if (!HasCodeAndLength(payload, MSG_REPAIR, REPAIR_REPLY_SIZE)) {
        return std::nullopt;
    }
    return RepairReply{payload[1], ReadNetworkAddress(payload.data() + 2)};
}

std::optional<std::span<const std::uint8_t, INSTRUMENT_DESCRIPTION_SIZE>>
DiscoveryReplyDescription(std::span<const std::uint8_t> payload) {
    if (!HasCodeAndLength(payload, MSG_DISCOVERY_REPLY, DISCOVERY_REPLY_SIZE)) {
        return std::nullopt;
    }
    return payload.subspan<DISCOVERY_REPLY_DESCRIPTION, INSTRUMENT_DESCRIPTION_SIZE>();
}

std::optional<VerifyReply> ReadVerifyReply(std::span<const std::uint8_t> payload) {
    if (!HasCodeAndLength(payload, MSG_VERIFY, VERIFY_REPLY_SIZE)) {
        return std::nullopt;
    }
    return VerifyReply{payload[1],
                       payload.subspan<VERIFY_REPLY_DESCRIPTION, INSTRUMENT_DESCRIPTION_SIZE>()};
}
