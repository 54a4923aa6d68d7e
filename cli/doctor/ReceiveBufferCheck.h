// The receive buffer check of tavikctl doctor: what the kernel grants a socket of an ordinary
// user against what the link asks for, and about how many instruments' replies to one broadcast
// that holds.
#pragma once

#include "cli/doctor/DoctorCheck.h"

#include <optional>

struct SReceiveBuffer {
    int nGrantedBytes = 0;        // SO_RCVBUF read back (the kernel doubles what it accepts)
    std::optional<long> nRmemMax; // net.core.rmem_max
};

class CReceiveBufferCheck {
public:
    // What the kernel charges a socket for one 215-byte reply (the skb's truesize): measured on
    // loopback, and what an Ethernet driver's 2 KiB receive buffer and its bookkeeping come to.
    static constexpr int LOOPBACK_REPLY_CHARGE = 1280;
    static constexpr int ETHERNET_REPLY_CHARGE = 2304;

    // A fresh unbound socket asks for the link's size with SO_RCVBUF, as any user may; a program
    // run as root gets more (SO_RCVBUFFORCE), which the check leaves aside.
    static SReceiveBuffer Measure();
    static SDoctorCheck Check(const SReceiveBuffer& buffer);
};
