// The instrument protocol's datagrams: every byte of every message is laid out here and
// nowhere else. Other code builds and reads datagrams only through these functions.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// UDP port of the protocol at both ends ("MV" read as a big-endian 16-bit number).
constexpr std::uint16_t INSTRUMENT_PORT = 19798;

constexpr std::size_t DATAGRAM_HEADER_SIZE = 12;
constexpr std::size_t MAX_PAYLOAD_SIZE = 512;
constexpr std::size_t MAX_DATAGRAM_SIZE = DATAGRAM_HEADER_SIZE + MAX_PAYLOAD_SIZE; // 524
constexpr std::size_t TEXT_FIELD_SIZE = 64;
constexpr std::size_t TEXT_FIELD_MAX_UNITS = TEXT_FIELD_SIZE - 1;
constexpr std::size_t INSTRUMENT_DESCRIPTION_SIZE = 202;

// Payload byte 0. A reply carries its request's code, except the discovery reply.
enum EMessageCode : std::uint8_t {
    MSG_CLAIM = 0,
    MSG_DISCOVERY_REQUEST = 1,
    MSG_DISCOVERY_REPLY = 2,
    MSG_RELEASE = 3,
    MSG_REPAIR = 4,
    MSG_VERIFY = 5,
    MSG_RENAME = 6,
};

// Payload lengths.
constexpr std::size_t DISCOVERY_REQUEST_SIZE = 1;
constexpr std::size_t NAMED_REQUEST_SIZE = 129;
constexpr std::size_t STATUS_REPLY_SIZE = 2; // ClaimReply, ReleaseReply, RenameReply
constexpr std::size_t REPAIR_REPLY_SIZE = 6;
constexpr std::size_t DISCOVERY_REPLY_SIZE = 203;
constexpr std::size_t VERIFY_REPLY_SIZE = 204;

// Status values the client gives a meaning to.
constexpr std::uint8_t STATUS_OK = 0;
constexpr std::uint8_t RELEASE_STATUS_IN_USE = 5;      // claim may not be overridden
constexpr std::uint8_t RELEASE_STATUS_OVERRIDABLE = 6; // claimed by another, may be overridden

// ---- Address forms --------------------------------------------------------------------------
// Inside the program an address is a number whose most significant byte is the first octet.
// Header form: least significant byte first (header fields, owner address of a description).
void WriteHeaderAddress(std::uint8_t* pbField, std::uint32_t dwAddress);
std::uint32_t ReadHeaderAddress(const std::uint8_t* pbField);
// How an address is shown: its four bytes in decimal, most significant first ("%u.%u.%u.%u").
std::string DottedAddress(std::uint32_t dwAddress);
// Network byte order: most significant byte first (instrument address, repair reply address).
void WriteNetworkAddress(std::uint8_t* pbField, std::uint32_t dwAddress);
std::uint32_t ReadNetworkAddress(const std::uint8_t* pbField);

// ---- Header ---------------------------------------------------------------------------------
struct DatagramHeader {
    std::uint32_t dwDestination = 0;
    std::uint32_t dwSource = 0;
    std::uint16_t wPayloadLength = 0;
};

// True when at least two bytes are given and they are "MV".
bool HasDatagramMagic(std::span<const std::uint8_t> bytes);
// Writes the 12 header bytes, magic included.
void WriteDatagramHeader(std::uint8_t* pbHeader, const DatagramHeader& header);
// Reads the fields of 12 header bytes (the magic is not checked here).
DatagramHeader ReadDatagramHeader(const std::uint8_t* pbHeader);
// Header followed by the payload into pbOut (room for 12 + payload bytes); returns the length.
// A payload above MAX_PAYLOAD_SIZE bytes is not framed: nothing is written and the result is 0.
std::size_t FrameDatagram(std::uint32_t dwDestination, std::uint32_t dwSource,
                          std::span<const std::uint8_t> payload, std::uint8_t* pbOut);
// A whole datagram split into its header and its payload, or nothing when the bytes are shorter
// than the header, lack the magic, or are not exactly 12 + the announced payload length.
struct SDatagramView {
    DatagramHeader header;
    std::span<const std::uint8_t> payload;
};
std::optional<SDatagramView> ParseDatagram(std::span<const std::uint8_t> datagram);

// ---- Text fields ----------------------------------------------------------------------------
// 64 bytes: the first 63 UTF-16 code units, a NUL, then zeros. Each unit becomes the byte that
// reads back as it (WideToAnsiUnit), so a name read from an instrument goes back byte for byte;
// any other unit keeps its low 8 bits.
void WriteTextField(std::uint8_t* pbField, std::u16string_view strText);
// The 8-bit text up to its NUL, never beyond the 64 bytes (all 64 when there is no NUL).
std::string ReadTextField(const std::uint8_t* pbField);
bool TextFieldHasNul(const std::uint8_t* pbField);

// ---- Requests -------------------------------------------------------------------------------
std::array<std::uint8_t, DISCOVERY_REQUEST_SIZE> BuildDiscoveryRequest();
// ClaimRequest, ReleaseRequest, RepairRequest, VerifyRequest, RenameRequest:
// code, instrument name field, client host name field.
std::array<std::uint8_t, NAMED_REQUEST_SIZE>
BuildNamedRequest(EMessageCode nCode, std::u16string_view strInstrumentName,
                  std::u16string_view strClientHostName);

struct SNamedRequest {
    EMessageCode nCode;
    std::string strInstrumentName; // 8-bit, up to its NUL
    std::string strClientHostName;
};
// For the instruments' side: a 129-byte payload with a named-request code.
std::optional<SNamedRequest> ParseNamedRequest(std::span<const std::uint8_t> payload);

// ---- InstrumentDescription (202 bytes) ------------------------------------------------------
namespace InstrumentDescription {
constexpr std::size_t HOST_NAME = 0;
constexpr std::size_t ADDRESS = 64; // network byte order
constexpr std::size_t CLAIMED = 68;
constexpr std::size_t IN_USE = 69;
constexpr std::size_t NAME = 70;
constexpr std::size_t OWNER_HOST_NAME = 134;
constexpr std::size_t OWNER_ADDRESS = 198; // header address form
} // namespace InstrumentDescription

// Fields as an instrument reports itself; texts are 8-bit (written as given, cut to 63 bytes).
struct SInstrumentDescriptionFields {
    std::string strHostName;
    std::uint32_t dwAddress = 0;
    std::uint8_t bClaimed = 0;
    std::uint8_t bInUse = 0;
    std::string strName;
    std::string strOwnerHostName;
    std::uint32_t dwOwnerAddress = 0;
};
void WriteInstrumentDescription(std::uint8_t* pbDescription, const SInstrumentDescriptionFields& f);
// The fields of 202 description bytes. Each text is read up to its NUL and never beyond its
// 64 bytes: a field without a NUL yields all 64 bytes (TextFieldHasNul tells the two apart).
SInstrumentDescriptionFields
ReadInstrumentDescription(std::span<const std::uint8_t, INSTRUMENT_DESCRIPTION_SIZE> description);

// ---- Replies --------------------------------------------------------------------------------
std::array<std::uint8_t, STATUS_REPLY_SIZE> BuildStatusReply(EMessageCode nCode,
                                                             std::uint8_t nStatus);
std::array<std::uint8_t, REPAIR_REPLY_SIZE> BuildRepairReply(std::uint8_t nStatus,
                                                             std::uint32_t dwAddress);
std::array<std::uint8_t, DISCOVERY_REPLY_SIZE>
BuildDiscoveryReply(const SInstrumentDescriptionFields& description);
std::array<std::uint8_t, VERIFY_REPLY_SIZE>
BuildVerifyReply(std::uint8_t nStatus, const SInstrumentDescriptionFields& description);

// Each reader answers nothing unless the payload has the reply's code and exact length.
// ClaimReply (code 0), ReleaseReply (3), RenameReply (6): the status byte.
std::optional<std::uint8_t> ReadStatusReply(std::span<const std::uint8_t> payload,
                                            EMessageCode nCode);

struct RepairReply {
    std::uint8_t nStatus;
    std::uint32_t dwAddress; // from network byte order
};
std::optional<RepairReply> ReadRepairReply(std::span<const std::uint8_t> payload);

// The 202 description bytes of a DiscoveryReply (payload offset 1).
std::optional<std::span<const std::uint8_t, INSTRUMENT_DESCRIPTION_SIZE>>
DiscoveryReplyDescription(std::span<const std::uint8_t> payload);

struct VerifyReply {
    std::uint8_t nStatus;
    std::span<const std::uint8_t, INSTRUMENT_DESCRIPTION_SIZE> description; // payload offset 2
};
std::optional<VerifyReply> ReadVerifyReply(std::span<const std::uint8_t> payload);

// ---- What the client makes of a status ------------------------------------------------------
inline bool IsRepairDone(std::uint8_t nStatus) {
    return nStatus == STATUS_OK;
}
inline bool IsClaimHeldByClient(std::uint8_t nVerifyStatus) {
    return nVerifyStatus == STATUS_OK;
}
// A verification that finds another owner takes it only when the claimed flag is exactly 1.
inline bool IsOwnerReported(std::uint8_t bClaimed) {
    return bClaimed == 1;
}
