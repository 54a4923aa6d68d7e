// Takes the datagrams that arrive on the link and hands each, parsed once, to the one receiver
// that takes replies of its code now. Datagrams to the broadcast address (this computer's own
// broadcasts and other clients'), this computer's own datagrams (which come back when a request
// goes to 0.0.0.0) and datagrams without a payload reach nobody.
//
// Driven through the programs' instrument channel on each announcement of the link and before
// each send (RouteWaiting), and by tests and fuzzing one datagram at a time (Route). Receivers
// register for a code; the first registered that takes replies now gets the datagram. A
// receiver unregisters before it goes away; it may do so while it takes a reply.
#pragma once

#include "link/Messages.h"
#include "protocol/ReplyReceiver.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

enum class ERouteResult : std::uint8_t {
    NotADatagram, // too short, no magic, or not the length its header announces
    ToBroadcast,  // header destination is the link's broadcast address
    OwnDatagram,  // header source is the link's local address
    NoPayload,
    NoReceiver, // nobody takes this code now
    Delivered,
};

// One routing decision, for the caller's log.
struct SRouteDecision {
    ERouteResult nResult = ERouteResult::NotADatagram;
    std::uint32_t dwLength = 0;
    DatagramHeader header;   // all but NotADatagram
    std::uint8_t nCode = 0;  // NoReceiver and Delivered
    std::string strReceiver; // Delivered: the name it registered with
};

class CDatagramRouter {
public:
    CDatagramRouter(std::uint32_t dwBroadcastAddress, std::uint32_t dwLocalAddress);

    // Replies of nCode go to receiver when the receivers registered before it for that code do
    // not take them. The name is for the log.
    void Register(std::uint8_t nCode, CReplyReceiver& receiver, std::string_view strName);
    // Every registration of receiver.
    void Unregister(const CReplyReceiver& receiver);

    // The whole datagrams the source holds, oldest first, so that none waits for a later
    // announcement; empty when there was none. At most a receive buffer's worth
    // (RECEIVE_BATCH_BYTES), which is no more than can have waited when it began: datagrams that
    // keep arriving meanwhile are left to their own announcements. The source takes one datagram
    // as the link's TakeDatagram does: true with the length and the bytes in a buffer of
    // MAX_DATAGRAM_SIZE, false when none is left.
    static constexpr std::uint32_t RECEIVE_BATCH_BYTES = 4096; // the link's receive buffer
    std::vector<SRouteDecision>
    RouteWaiting(const std::function<bool(std::uint32_t*, std::uint8_t*)>& fnTakeDatagram);
    // One datagram, header included.
    SRouteDecision Route(std::span<const std::uint8_t> datagram);

private:
    struct SRegistration {
        std::uint8_t nCode;
        CReplyReceiver* pReceiver;
        std::string strName;
    };

    std::uint32_t m_dwBroadcastAddress;
    std::uint32_t m_dwLocalAddress;
    std::vector<SRegistration> m_listRegistrations;
};

// "to the broadcast address", "delivered" and so on, for log lines.
std::string_view DescribeRouteResult(ERouteResult nResult);
