// A lab of instruments in one process: answers the protocol's six requests from a state kept in
// memory, one socket for all the instruments, each with its own address.
#pragma once

#include "link/Messages.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <vector>

struct SSimulatedInstrument {
    std::string strHostName;
    std::uint32_t dwAddress = 0; // answers datagrams sent to this address
    std::string strName;         // empty: no name yet
    std::uint8_t bInUse = 0;
    std::uint8_t bClaimed = 0;
    std::string strOwnerHostName;
    std::uint32_t dwOwnerAddress = 0;
    bool bMute = false; // this instrument alone stays silent
};

// The instrument as its discovery and verify replies describe it.
SInstrumentDescriptionFields DescribeInstrument(const SSimulatedInstrument& instrument);

struct SSimulatorOptions {
    std::uint16_t nPort = INSTRUMENT_PORT;       // where the instruments listen
    std::uint16_t nClientPort = INSTRUMENT_PORT; // where replies go, at the sender's address
    std::uint32_t dwBindAddress = 0;             // 0: any local address
    bool bMute = false;                          // no instrument answers
    std::set<std::uint8_t> setMuteCodes;         // requests of these codes get no answer
    std::chrono::milliseconds delay{0};          // each answer waits this long
    bool bAnswerTwice = false;                   // every answer goes out twice
    bool bMalformed = false;                     // a malformed datagram before every answer
    bool bBurst = false; // the answers due at once go out in batches (sendmmsg), unlogged one
                         // by one, as fast as the kernel takes them
    std::function<void(const std::string&)> fnLog; // one line per datagram in and out
};

// A request as an instrument saw it.
struct SSimulatorRequest {
    std::uint8_t nCode = 0;
    std::uint32_t dwHeaderDestination = 0;
    std::uint32_t dwHeaderSource = 0;
    std::uint32_t dwReceivedOn = 0; // the local address it was sent to (IP_PKTINFO)
    std::uint32_t dwSenderAddress = 0;
    std::string strInstrumentName; // named requests only
    std::string strClientHostName;
    std::chrono::steady_clock::time_point received;
};

// One datagram an instrument sends in answer.
struct SSimulatorAnswer {
    std::vector<std::uint8_t> datagram;
    std::uint32_t dwFrom = 0; // the answering instrument's address
    std::uint32_t dwTo = 0;   // the requester's IP address
};

class CInstrumentSimulator {
public:
    CInstrumentSimulator(std::vector<SSimulatedInstrument> instruments, SSimulatorOptions options);
    ~CInstrumentSimulator(); // stops
    CInstrumentSimulator(const CInstrumentSimulator&) = delete;
    CInstrumentSimulator& operator=(const CInstrumentSimulator&) = delete;

    // Opens the socket and starts answering; false (with errno kept) when it could not.
    bool Start();
    void Stop();
    std::uint16_t Port() const; // the bound port (useful when asked for port 0)

    // The state, read and changed while running (thread-safe).
    std::vector<SSimulatedInstrument> Instruments() const;
    void SetInstrument(std::size_t nIndex, const SSimulatedInstrument& instrument);
    void AddInstrument(const SSimulatedInstrument& instrument);
    void RemoveInstrument(std::size_t nIndex);
    void SetMute(bool bMute);
    void SetMuteCodes(std::set<std::uint8_t> setCodes);
    void SetDelay(std::chrono::milliseconds delay);
    void SetAnswerTwice(bool bAnswerTwice);
    void SetMalformed(bool bMalformed);

    // Every well-formed request received so far, oldest first.
    std::vector<SSimulatorRequest> Requests() const;
    std::size_t CountRequests(std::uint8_t nCode) const;
    void ClearRequests();
    // Waits until at least nCount requests of this code have come, or the time is up.
    bool WaitForRequests(std::uint8_t nCode, std::size_t nCount, std::chrono::milliseconds timeout);

    // What the instruments make of one datagram from dwSender, received on dwReceivedOn, without
    // a socket: the request is recorded and acted upon as if it had arrived, and the answers are
    // returned instead of sent. The delay, answer-twice and malformed switches play no part.
    std::vector<SSimulatorAnswer> Respond(std::span<const std::uint8_t> datagram,
                                          std::uint32_t dwSender, std::uint32_t dwReceivedOn);

    // The policy, as plain text for --help.
    static const char* PolicyText();

private:
    struct SState;
    std::unique_ptr<SState> m_pState;
};
