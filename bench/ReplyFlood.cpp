// A flood of well-formed replies such as one misbehaving host on a segment can send: RATE a
// second for SECONDS, each DiscoveryReply describing an instrument at an address no earlier one
// had (or each an unawaited VerifyReply), to the client's port 19798. Runs only inside a lab's
// network namespace; bench/farm-bench starts it there.
#include "bench/LabGuard.h"
#include "link/Messages.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Datagrams handed to the kernel in one call, at most.
constexpr unsigned BATCH = 256;
// The pace is kept per slice of this length.
constexpr auto SLICE = std::chrono::milliseconds(1);

void PrintUsage(std::FILE* pFile) {
    std::fprintf(
        pFile,
        "Usage: ReplyFlood --to A.B.C.D [--rate N] [--seconds S] [--code discovery|verify]\n"
        "                  [--first A.B.C.D] [--port N]\n"
        "Sends N well-formed replies a second (default 50000) for S seconds (default 6) to\n"
        "the client at A.B.C.D, port N (default 19798). A DiscoveryReply describes the\n"
        "instrument at the next address from --first (default 10.128.0.1), so that no two\n"
        "describe the same one; a VerifyReply answers nothing that was asked. Runs only inside\n"
        "a lab's network namespace.\n");
}

std::uint32_t ParseAddress(const char* pszText) {
    in_addr address{};
    if (::inet_pton(AF_INET, pszText, &address) != 1) {
        std::fprintf(stderr, "ReplyFlood: '%s' is not an IPv4 address\n", pszText);
        std::exit(2);
    }
    return ntohl(address.s_addr);
}

std::vector<std::uint8_t> Reply(bool bVerify, std::uint32_t dwTo, std::uint32_t dwInstrument) {
    SInstrumentDescriptionFields fields;
    fields.dwAddress = dwInstrument;
    fields.strHostName = "flood-" + std::to_string(dwInstrument & 0xFFFFFF);
    fields.strName = "Flood";
    std::vector<std::uint8_t> datagram(MAX_DATAGRAM_SIZE);
    if (bVerify) {
        const auto payload = BuildVerifyReply(STATUS_OK, fields);
        datagram.resize(FrameDatagram(dwTo, dwInstrument, payload, datagram.data()));
    } else {
        const auto payload = BuildDiscoveryReply(fields);
        datagram.resize(FrameDatagram(dwTo, dwInstrument, payload, datagram.data()));
    }
    return datagram;
}

} // namespace

int main(int argc, char** argv) {
    std::uint32_t dwTo = 0;
    std::uint32_t dwFirst = 0x0A800001; // 10.128.0.1
    unsigned long nRate = 50000;
    double dSeconds = 6;
    bool bVerify = false;
    std::uint16_t nPort = INSTRUMENT_PORT;
    for (int i = 1; i < argc; ++i) {
        const std::string strOption = argv[i];
        const char* pszValue = i + 1 < argc ? argv[i + 1] : nullptr;
        if (strOption == "--help") {
            PrintUsage(stdout);
            return 0;
        }
        if (pszValue == nullptr) {
            PrintUsage(stderr);
            return 2;
        }
        ++i;
        if (strOption == "--to") {
            dwTo = ParseAddress(pszValue);
        } else if (strOption == "--first") {
            dwFirst = ParseAddress(pszValue);
        } else if (strOption == "--rate") {
            nRate = std::strtoul(pszValue, nullptr, 10);
        } else if (strOption == "--seconds") {
            dSeconds = std::strtod(pszValue, nullptr);
        } else if (strOption == "--port") {
            nPort = static_cast<std::uint16_t>(std::strtoul(pszValue, nullptr, 10));
        } else if (strOption == "--code") {
            bVerify = std::string(pszValue) == "verify";
        } else {
            PrintUsage(stderr);
            return 2;
        }
    }
    if (dwTo == 0 || nRate == 0 || dSeconds <= 0) {
        PrintUsage(stderr);
        return 2;
    }
    const std::string strWhy = WhyNotInsideALab();
    if (!strWhy.empty()) {
        std::fprintf(stderr, "ReplyFlood: runs only inside a lab: %s\n", strWhy.c_str());
        return 77;
    }

    const int hSocket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (hSocket < 0) {
        std::fprintf(stderr, "ReplyFlood: no socket: %s\n", std::strerror(errno));
        return 1;
    }
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(nPort);
    destination.sin_addr.s_addr = htonl(dwTo);

    const auto nTotal = static_cast<unsigned long>(static_cast<double>(nRate) * dSeconds);
    unsigned long nSent = 0;
    unsigned long nRefused = 0;
    std::vector<std::vector<std::uint8_t>> listBatch(BATCH);
    std::vector<iovec> listIov(BATCH);
    std::vector<mmsghdr> listMessages(BATCH);
    const Clock::time_point start = Clock::now();
    while (nSent + nRefused < nTotal) {
        // Due by now at the rate asked for; sent in batches, then a pause to the next slice.
        const double dElapsed = std::chrono::duration<double>(Clock::now() - start).count();
        const auto nDue = std::min(nTotal, static_cast<unsigned long>(dElapsed * nRate) + 1);
        while (nSent + nRefused < nDue) {
            const unsigned nCount =
                static_cast<unsigned>(std::min<unsigned long>(BATCH, nDue - nSent - nRefused));
            for (unsigned i = 0; i < nCount; ++i) {
                listBatch[i] = Reply(bVerify, dwTo,
                                     dwFirst + static_cast<std::uint32_t>(nSent + nRefused + i));
                listIov[i] = {listBatch[i].data(), listBatch[i].size()};
                listMessages[i] = {};
                listMessages[i].msg_hdr.msg_name = &destination;
                listMessages[i].msg_hdr.msg_namelen = sizeof(destination);
                listMessages[i].msg_hdr.msg_iov = &listIov[i];
                listMessages[i].msg_hdr.msg_iovlen = 1;
            }
            const int nDone = ::sendmmsg(hSocket, listMessages.data(), nCount, 0);
            if (nDone < 0) {
                ++nRefused; // the first of the batch; the rest go in the next call
                continue;
            }
            nSent += static_cast<unsigned long>(nDone);
        }
        std::this_thread::sleep_for(SLICE);
    }
    const double dSpent = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("ReplyFlood: %lu %s sent in %.2f s (%.0f/s), %lu refused by the kernel\n", nSent,
                bVerify ? "VerifyReply" : "DiscoveryReply", dSpent, nSent / dSpent, nRefused);
    ::close(hSocket);
    return 0;
}
