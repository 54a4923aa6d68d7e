// The link's receive path without a sender: an input is a sequence of datagrams that arrive and
// of takes. Each arrival goes through the socket thread's own steps (no reading while less room
// is left than the largest datagram, then the acceptance rule, then AppendReceived); each take
// is TakeDatagram. Every datagram taken must be the oldest one accepted and not yet taken,
// whole, and once all are taken the buffer is empty.
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzInput.h"
#include "fuzz/PrivateNetwork.h"
#include "link/UDPInstrumentInterface.h"

#include <algorithm>
#include <array>
#include <deque>
#include <memory>
#include <vector>

namespace {

using Datagram = std::vector<std::uint8_t>;

constexpr std::uint32_t LOCAL_ADDRESS = 0x7F000001;     // 127.0.0.1
constexpr std::uint32_t BROADCAST_ADDRESS = 0x7FFFFFFF; // 127.255.255.255

std::unique_ptr<CUDPInstrumentInterface> g_pLink;

enum EStep : std::uint8_t {
    STEP_ARRIVE_RAW,    // any bytes
    STEP_ARRIVE_FRAMED, // a header with a chosen length field, then about as many bytes
    STEP_TAKE,
    STEP_TAKE_LENGTH_ONLY, // without a buffer: the datagram goes all the same
    STEP_COUNT
};

// What the acceptance rule must answer for these bytes.
std::uint32_t ExpectedKept(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < DATAGRAM_HEADER_SIZE || bytes[0] != 'M' || bytes[1] != 'V') {
        return 0;
    }
    const std::size_t nWhole = DATAGRAM_HEADER_SIZE + (bytes[10] | bytes[11] << 8);
    if (nWhole > MAX_DATAGRAM_SIZE || bytes.size() < nWhole) {
        return 0;
    }
    return static_cast<std::uint32_t>(nWhole);
}

void Arrive(CUDPInstrumentInterface& link, std::span<const std::uint8_t> bytes,
            std::deque<Datagram>& listAccepted) {
    // The socket thread leaves datagrams in the socket while the buffer lacks room for one.
    if (link.ReceiveSpace() < MAX_DATAGRAM_SIZE) {
        return;
    }
    const std::uint32_t dwKept = KeptDatagramLength(bytes.data(), bytes.size());
    FUZZ_CHECK(dwKept == ExpectedKept(bytes));
    if (dwKept == 0) {
        return;
    }
    FUZZ_CHECK(link.AppendReceived(bytes.data(), dwKept));
    listAccepted.emplace_back(bytes.begin(), bytes.begin() + dwKept);
}

void Take(CUDPInstrumentInterface& link, bool bWithBuffer, std::deque<Datagram>& listAccepted) {
    std::array<std::uint8_t, MAX_DATAGRAM_SIZE + 16> abBuffer;
    abBuffer.fill(0xEE);
    std::uint32_t dwLength = 12345;
    const bool bTaken = link.TakeDatagram(&dwLength, bWithBuffer ? abBuffer.data() : nullptr);
    if (listAccepted.empty()) {
        FUZZ_CHECK(!bTaken);
        return;
    }
    FUZZ_CHECK(bTaken);
    const Datagram& expected = listAccepted.front();
    FUZZ_CHECK(dwLength == expected.size());
    if (bWithBuffer) {
        FUZZ_CHECK(std::equal(expected.begin(), expected.end(), abBuffer.begin()));
        FUZZ_CHECK(std::all_of(abBuffer.begin() + dwLength, abBuffer.end(),
                               [](std::uint8_t b) { return b == 0xEE; }));
        FUZZ_CHECK(ParseDatagram({abBuffer.data(), dwLength}).has_value());
    }
    listAccepted.pop_front();
}

Datagram Framed(CFuzzInput& input) {
    const std::uint16_t wLengthField = input.Word() % (MAX_PAYLOAD_SIZE + 8);
    // Fewer bytes than announced, exactly as many, or some behind them.
    const int nCarried = static_cast<int>(wLengthField) + static_cast<int>(input.Byte() % 5) - 2;
    Datagram datagram(DATAGRAM_HEADER_SIZE);
    WriteDatagramHeader(datagram.data(),
                        DatagramHeader{input.Byte() % 2 ? BROADCAST_ADDRESS : LOCAL_ADDRESS,
                                       0x7F000002, wLengthField});
    const auto payload = input.Take(static_cast<std::size_t>(std::max(nCarried, 0)));
    datagram.insert(datagram.end(), payload.begin(), payload.end());
    return datagram;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    RequirePrivateNetwork("fuzz_link_receive");
    g_pLink = std::make_unique<CUDPInstrumentInterface>(
        LOCAL_ADDRESS, BROADCAST_ADDRESS, FreeLoopbackUDPPort(), FreeLoopbackUDPPort());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pbData, std::size_t nSize) {
    CUDPInstrumentInterface& link = *g_pLink;
    FUZZ_CHECK(link.ReceiveSpace() == CUDPInstrumentInterface::BUFFER_SIZE);
    CFuzzInput input(pbData, nSize);
    std::deque<Datagram> listAccepted;
    while (!input.IsEmpty()) {
        switch (input.Byte() % STEP_COUNT) {
        case STEP_ARRIVE_RAW:
            Arrive(link, input.Take(input.Word() % 1100), listAccepted);
            break;
        case STEP_ARRIVE_FRAMED:
            Arrive(link, Framed(input), listAccepted);
            break;
        case STEP_TAKE:
            Take(link, true, listAccepted);
            break;
        default:
            Take(link, false, listAccepted);
            break;
        }
    }
    while (!listAccepted.empty()) {
        Take(link, true, listAccepted);
    }
    Take(link, true, listAccepted); // nothing more
    FUZZ_CHECK(link.ReceiveSpace() == CUDPInstrumentInterface::BUFFER_SIZE);
    return 0;
}
