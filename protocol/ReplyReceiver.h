// Whoever takes routed replies of a message code from the datagram router: a window that waits
// for them, or any other client of the exchanges.
#pragma once

#include "link/Messages.h"

class CReplyReceiver {
public:
    // Whether a reply would be taken now (for a window: it is visible, and waits where it has a
    // reply timer).
    virtual bool IsTakingReplies() const = 0;
    // A whole datagram, parsed once; its payload is not empty. The view lives for the call.
    virtual void TakeReply(const SDatagramView& datagram) = 0;

protected:
    ~CReplyReceiver() = default;
};
