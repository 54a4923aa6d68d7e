#include "protocol/DatagramRouter.h"

#include <algorithm>
#include <array>

CDatagramRouter::CDatagramRouter(std::uint32_t dwBroadcastAddress, std::uint32_t dwLocalAddress)
    : m_dwBroadcastAddress(dwBroadcastAddress), m_dwLocalAddress(dwLocalAddress) {}

void CDatagramRouter::Register(std::uint8_t nCode, CReplyReceiver& receiver,
                               std::string_view strName) {
    m_listRegistrations.push_back({nCode, &receiver, std::string(strName)});
}

void CDatagramRouter::Unregister(const CReplyReceiver& receiver) {
    std::erase_if(m_listRegistrations,
                  [&](const SRegistration& entry) { return entry.pReceiver == &receiver; });
}

std::vector<SRouteDecision> CDatagramRouter::RouteWaiting(
    const std::function<bool(std::uint32_t*, std::uint8_t*)>& fnTakeDatagram) {
    std::vector<SRouteDecision> listDecisions;
    std::array<std::uint8_t, MAX_DATAGRAM_SIZE> abDatagram{};
    std::uint32_t dwLength = 0;
    // A receiver may run a nested event loop (a message box) in which this is called again:
    // each pass takes what is left, and nothing is held across a delivery but the buffer.
    // At most one receive buffer's worth, no more than can have waited when this began: what
    // keeps arriving meanwhile (a flood) waits for its own announcement, and the window's other
    // events run between the batches.
    std::uint32_t dwTaken = 0;
    while (dwTaken < RECEIVE_BATCH_BYTES && fnTakeDatagram(&dwLength, abDatagram.data())) {
        dwTaken += std::max<std::uint32_t>(dwLength, DATAGRAM_HEADER_SIZE);
        if (dwLength > abDatagram.size()) {
            SRouteDecision decision;
            decision.dwLength = dwLength;
            listDecisions.push_back(decision);
            continue;
        }
        listDecisions.push_back(Route(std::span<const std::uint8_t>(abDatagram.data(), dwLength)));
    }
    return listDecisions;
}

SRouteDecision CDatagramRouter::Route(std::span<const std::uint8_t> datagram) {
    SRouteDecision decision;
    decision.dwLength = static_cast<std::uint32_t>(datagram.size());
    const std::optional<SDatagramView> view = ParseDatagram(datagram);
    if (!view) {
        return decision;
    }
    decision.header = view->header;
    if (view->header.dwDestination == m_dwBroadcastAddress) {
        decision.nResult = ERouteResult::ToBroadcast;
        return decision;
    }
    // No instrument's reply carries this computer's address as its source.
    if (view->header.dwSource == m_dwLocalAddress) {
        decision.nResult = ERouteResult::OwnDatagram;
        return decision;
    }
    if (view->payload.empty()) {
        decision.nResult = ERouteResult::NoPayload;
        return decision;
    }
    decision.nCode = view->payload[0];
    decision.nResult = ERouteResult::NoReceiver;
    for (const SRegistration& entry : m_listRegistrations) {
        if (entry.nCode == decision.nCode && entry.pReceiver->IsTakingReplies()) {
            // Noted before the delivery, which may unregister the receiver.
            decision.nResult = ERouteResult::Delivered;
            decision.strReceiver = entry.strName;
            entry.pReceiver->TakeReply(*view);
            break;
        }
    }
    return decision;
}

std::string_view DescribeRouteResult(ERouteResult nResult) {
    switch (nResult) {
    case ERouteResult::NotADatagram:
        return "not a whole datagram";
    case ERouteResult::ToBroadcast:
        return "to the broadcast address";
    case ERouteResult::OwnDatagram:
        return "this computer's own";
    case ERouteResult::NoPayload:
        return "no payload";
    case ERouteResult::NoReceiver:
        return "nobody";
    case ERouteResult::Delivered:
        return "delivered";
    }
    return "unknown";
}
