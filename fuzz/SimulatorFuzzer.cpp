// The simulator's request handling, which faces the network as the program does: an input is a
// sequence of datagrams (any bytes, or requests with chosen fields) sent to one of three
// instruments or to the broadcast address. What is no request must get no answer and change
// nothing; a request gets well-formed replies of its own code, from instruments that it reached,
// to its sender, and changes no instrument but those that answered it.
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzInput.h"
#include "link/Messages.h"
#include "model/MolvarInstrument.h"
#include "sim/SimulatedInstruments.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t CLIENT_ADDRESS = 0x7F000001;    // 127.0.0.1
constexpr std::uint32_t BROADCAST_ADDRESS = 0x7FFFFFFF; // 127.255.255.255

enum EStep : std::uint8_t { STEP_RAW, STEP_REQUEST, STEP_COUNT };

std::vector<SSimulatedInstrument> Lab() {
    SSimulatedInstrument free;
    free.strHostName = "inst2";
    free.dwAddress = 0x7F000002;
    SSimulatedInstrument claimed;
    claimed.strHostName = "inst3";
    claimed.dwAddress = 0x7F000003;
    claimed.strName = "Lab-3";
    claimed.bClaimed = 1;
    claimed.strOwnerHostName = "other";
    claimed.dwOwnerAddress = 0x7F000032;
    SSimulatedInstrument busy;
    busy.strHostName = "inst4";
    busy.dwAddress = 0x7F000004;
    busy.strName = "Lab-4";
    busy.bInUse = 1;
    return {free, claimed, busy};
}

bool SameInstrument(const SSimulatedInstrument& a, const SSimulatedInstrument& b) {
    return a.strHostName == b.strHostName && a.dwAddress == b.dwAddress && a.strName == b.strName &&
           a.bInUse == b.bInUse && a.bClaimed == b.bClaimed &&
           a.strOwnerHostName == b.strOwnerHostName && a.dwOwnerAddress == b.dwOwnerAddress;
}

std::vector<std::uint8_t> Request(CFuzzInput& input) {
    const std::uint8_t nCode = input.Byte() % 8;
    std::vector<std::uint8_t> payload;
    if (nCode == MSG_DISCOVERY_REQUEST) {
        const auto request = BuildDiscoveryRequest();
        payload.assign(request.begin(), request.end());
    } else {
        // Names from the input: a length, then the bytes as UTF-16 units.
        auto text = [&input] {
            std::u16string strText;
            for (const std::uint8_t b : input.Take(input.Byte() % 70)) {
                strText.push_back(b == 0xFF ? u'\u0141' : static_cast<char16_t>(b));
            }
            return strText;
        };
        const std::u16string strName = text();
        const auto request = BuildNamedRequest(static_cast<EMessageCode>(nCode), strName, text());
        payload.assign(request.begin(), request.end());
    }
    const std::uint32_t dwSource = input.Byte() % 2 ? CLIENT_ADDRESS : 0x7F000032;
    std::vector<std::uint8_t> datagram(MAX_DATAGRAM_SIZE);
    datagram.resize(FrameDatagram(0x7F000002, dwSource, payload, datagram.data()));
    return datagram;
}

// The code and length of the reply to a request of this code.
std::size_t ReplyLength(std::uint8_t nRequestCode, std::uint8_t* pnReplyCode) {
    *pnReplyCode = nRequestCode == MSG_DISCOVERY_REQUEST
                       ? static_cast<std::uint8_t>(MSG_DISCOVERY_REPLY)
                       : nRequestCode;
    switch (nRequestCode) {
    case MSG_DISCOVERY_REQUEST:
        return DISCOVERY_REPLY_SIZE;
    case MSG_REPAIR:
        return REPAIR_REPLY_SIZE;
    case MSG_VERIFY:
        return VERIFY_REPLY_SIZE;
    default:
        return STATUS_REPLY_SIZE;
    }
}

void CheckAnswers(const std::vector<SSimulatedInstrument>& listBefore,
                  const std::vector<SSimulatedInstrument>& listAfter,
                  const std::vector<SSimulatorAnswer>& listAnswers,
                  std::span<const std::uint8_t> datagram, std::uint32_t dwSender,
                  std::uint32_t dwReceivedOn, bool bRecorded) {
    FUZZ_CHECK(listAfter.size() == listBefore.size());
    const auto view = ParseDatagram(datagram);
    const bool bRequest = view && ((view->payload.size() == DISCOVERY_REQUEST_SIZE &&
                                    view->payload[0] == MSG_DISCOVERY_REQUEST) ||
                                   ParseNamedRequest(view->payload).has_value());
    FUZZ_CHECK(bRecorded == bRequest);
    if (!bRequest) {
        FUZZ_CHECK(listAnswers.empty());
    }
    const bool bDirected =
        std::any_of(listBefore.begin(), listBefore.end(),
                    [&](const SSimulatedInstrument& i) { return i.dwAddress == dwReceivedOn; });
    std::vector<std::uint32_t> listAnswering;
    for (const SSimulatorAnswer& answer : listAnswers) {
        const auto reply = ParseDatagram(answer.datagram);
        FUZZ_CHECK(reply.has_value());
        FUZZ_CHECK(answer.dwTo == dwSender);
        FUZZ_CHECK(reply->header.dwDestination == view->header.dwSource);
        FUZZ_CHECK(reply->header.dwSource == answer.dwFrom);
        FUZZ_CHECK(!bDirected || answer.dwFrom == dwReceivedOn);
        FUZZ_CHECK(std::find(listAnswering.begin(), listAnswering.end(), answer.dwFrom) ==
                   listAnswering.end());
        listAnswering.push_back(answer.dwFrom);
        std::uint8_t nReplyCode = 0;
        FUZZ_CHECK(reply->payload.size() == ReplyLength(view->payload[0], &nReplyCode));
        FUZZ_CHECK(reply->payload[0] == nReplyCode);
        if (nReplyCode == MSG_REPAIR) {
            const auto repair = ReadRepairReply(reply->payload);
            FUZZ_CHECK(repair && repair->nStatus == STATUS_OK &&
                       repair->dwAddress == answer.dwFrom);
        }
        if (nReplyCode == MSG_DISCOVERY_REPLY) {
            const auto description = DiscoveryReplyDescription(reply->payload);
            FUZZ_CHECK(description.has_value());
            const CMolvarInstrument decoded = CMolvarInstrument::FromDescription(*description);
            FUZZ_CHECK(decoded.m_dwIPAddress == answer.dwFrom);
        }
    }
    for (std::size_t i = 0; i < listAfter.size(); ++i) {
        const SSimulatedInstrument& after = listAfter[i];
        FUZZ_CHECK(after.dwAddress == listBefore[i].dwAddress);
        FUZZ_CHECK(after.strName.size() <= TEXT_FIELD_MAX_UNITS);
        FUZZ_CHECK(after.strOwnerHostName.size() <= TEXT_FIELD_MAX_UNITS);
        const bool bAnswered = std::find(listAnswering.begin(), listAnswering.end(),
                                         after.dwAddress) != listAnswering.end();
        if (!bAnswered) {
            FUZZ_CHECK(SameInstrument(after, listBefore[i]));
        } else if (!SameInstrument(after, listBefore[i])) {
            // Only a claim, release or rename changes an instrument, and a changed claim names
            // the requester as the owner.
            const std::uint8_t nCode = view->payload[0];
            FUZZ_CHECK(nCode == MSG_CLAIM || nCode == MSG_RELEASE || nCode == MSG_RENAME);
            FUZZ_CHECK(after.bClaimed == 0 || after.dwOwnerAddress == view->header.dwSource);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pbData, std::size_t nSize) {
    CSimulatedInstruments simulator(Lab(), SSimulatorOptions{});
    CFuzzInput input(pbData, nSize);
    while (!input.IsEmpty()) {
        const std::uint8_t nStep = input.Byte();
        // One of the three instruments, the broadcast address, or an address nobody has.
        static constexpr std::array<std::uint32_t, 5> adwReceivedOn = {
            0x7F000002, 0x7F000003, 0x7F000004, BROADCAST_ADDRESS, 0x7F000063};
        const std::uint32_t dwReceivedOn = adwReceivedOn[input.Byte() % adwReceivedOn.size()];
        const std::vector<std::uint8_t> datagram =
            nStep % STEP_COUNT == STEP_RAW
                ? [&input] {
                      const auto bytes = input.Take(input.Word() % 700);
                      return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
                  }()
                : Request(input);

        const auto listBefore = simulator.Instruments();
        simulator.ClearRequests(); // so that what this datagram records stands alone
        const auto listAnswers = simulator.Respond(datagram, CLIENT_ADDRESS, dwReceivedOn);
        const std::size_t nRecorded = simulator.Requests().size();
        FUZZ_CHECK(nRecorded <= 1);
        const bool bRecorded = nRecorded == 1;
        CheckAnswers(listBefore, simulator.Instruments(), listAnswers, datagram, CLIENT_ADDRESS,
                     dwReceivedOn, bRecorded);
    }
    return 0;
}
