// The simulated instruments' behaviour without a socket: a datagram in, the instruments'
// answers out, from a state kept in memory, each instrument with its own address.
#pragma once

#include "link/Messages.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
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

// An answer as it goes out, with what the log calls it: the code's name and number.
struct SSimulatorOutgoing : SSimulatorAnswer {
    std::string strWhat;
};

// What one datagram gets: its answers, and the switches in force when it came.
struct SSimulatorDecision {
    std::vector<SSimulatorOutgoing> listAnswers;
    std::chrono::milliseconds delay{0};
    bool bAnswerTwice = false;
    bool bMalformed = false;
};

class CSimulatedInstruments {
public:
    CSimulatedInstruments(std::vector<SSimulatedInstrument> instruments, SSimulatorOptions options);
    CSimulatedInstruments(const CSimulatedInstruments&) = delete;
    CSimulatedInstruments& operator=(const CSimulatedInstruments&) = delete;

    // The state, read and changed at any time (thread-safe).
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

    // What the instruments make of one datagram from dwSender:nSenderPort (bTruncated: longer
    // than the bytes given), received on dwReceivedOn (unknown: the header's destination is
    // trusted). A well-formed request is recorded and acted upon; one log line says what came.
    SSimulatorDecision Decide(std::span<const std::uint8_t> bytes, bool bTruncated,
                              std::uint32_t dwSender, std::uint16_t nSenderPort,
                              std::optional<std::uint32_t> dwReceivedOn);
    // Decide's answers alone, for a datagram received whole on dwReceivedOn. The delay,
    // answer-twice and malformed switches play no part.
    std::vector<SSimulatorAnswer> Respond(std::span<const std::uint8_t> datagram,
                                          std::uint32_t dwSender, std::uint32_t dwReceivedOn);

    // The policy, as plain text for --help.
    static const char* PolicyText();

protected:
    void Log(const std::string& strLine) const;

private:
    // Under the lock: the instrument's answer to a request, if it answers.
    static std::optional<std::vector<std::uint8_t>> Answer(SSimulatedInstrument& instrument,
                                                           const SSimulatorRequest& request);

    mutable std::mutex m_mutex;
    std::condition_variable m_requestArrived;
    std::vector<SSimulatedInstrument> m_listInstruments;
    SSimulatorOptions m_options; // switches change under the lock; ports and fnLog are fixed
    std::vector<SSimulatorRequest> m_listRequests;
};
