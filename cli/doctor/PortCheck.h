// The port check of tavikctl doctor: whether UDP port 19798 is free, and which program holds it
// where /proc can tell.
#pragma once

#include "cli/doctor/DoctorCheck.h"
#include "link/Messages.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

// A UDP socket of this network namespace, as /proc/net/udp and udp6 list it.
struct SUDPSocketEntry {
    QString strLocal; // "0.0.0.0:19798", "[::]:19798"
    unsigned nUid = 0;
    std::uint64_t nInode = 0;
};

// A process that has a socket open; only the processes of the same user unless root.
struct SSocketOwner {
    std::uint64_t nInode = 0;
    qint64 nPid = 0;
    QString strProgram; // the base name of its first argument
};

class CPortCheck {
public:
    // The sockets bound to nPort in a /proc/net/udp or /proc/net/udp6 table.
    static std::vector<SUDPSocketEntry> SocketsOnPort(const QByteArray& abTable,
                                                      std::uint16_t nPort);
    // The processes whose open files include one of the sockets, from /proc/PID/fd.
    static std::vector<SSocketOwner> FindOwners(const std::vector<SUDPSocketEntry>& listSockets);

    // bSeesAll: the open files of every process could be read (root).
    static SDoctorCheck Check(const std::vector<SUDPSocketEntry>& listSockets,
                              const std::vector<SSocketOwner>& listOwners, bool bSeesAll,
                              std::uint16_t nPort = INSTRUMENT_PORT);
    // The check of this namespace's port 19798 (a test's own port), from /proc.
    static SDoctorCheck Run(std::uint16_t nPort = INSTRUMENT_PORT);
};
