// The one way both programs talk to the instruments: every request of every window and every
// tavikctl command goes out through Send, and every announcement of the link ends in
// RouteWaiting, which hands each datagram waiting to the receiver registered with the router.
//
// Send routes whatever waits first: a reply that arrived a moment before a send (a ClaimReply as
// the selection window underneath sends its next DiscoveryRequest) reaches its window before the
// new request goes out, and the link keeps what arrives while it goes. Send may be called from
// inside a delivery (a message box's event loop runs the windows' timers); the router takes
// nested calls.
#pragma once

#include "protocol/DatagramRouter.h"
#include "protocol/ExchangeSteps.h"

#include <cstdint>
#include <string>

class CDatagramNotifyTarget;
class CUDPInstrumentInterface;

class CInstrumentChannel {
public:
    // The router drops what goes to the link's broadcast address or comes from its local one.
    explicit CInstrumentChannel(CUDPInstrumentInterface& link);

    // Where the receivers register.
    CDatagramRouter& Router() { return m_router; }
    std::uint32_t LocalAddress() const;
    std::uint32_t BroadcastAddress() const;
    // This computer's host name as the link read it, turned into wide text as the instruments'
    // 8-bit texts are.
    std::u16string LocalHostName() const;
    // Who hears of each datagram the link takes in (none: nullptr), as the link's own
    // SetNotifyTarget; the waiting ones are announced at once.
    void SetNotifyTarget(CDatagramNotifyTarget* pTarget);

    // Routes what waits, then sends the request to its destination from the link's local
    // address. The link's status; the exchanges treat a failed send as one without an answer.
    int Send(const SRequest& request);
    // Every whole datagram waiting, oldest first, each to its receiver; false when none waited.
    bool RouteWaiting();

private:
    CUDPInstrumentInterface& m_link;
    CDatagramRouter m_router;
};
