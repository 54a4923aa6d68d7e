// The simulated instruments on one UDP socket: every datagram that arrives goes through their
// behaviour (CSimulatedInstruments), and the answers go out from each instrument's own address,
// at once or after the delay, one sendmsg each or in sendmmsg bursts.
#pragma once

#include "sim/SimulatedInstruments.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <thread>
#include <vector>

class CInstrumentSimulator : public CSimulatedInstruments {
public:
    CInstrumentSimulator(std::vector<SSimulatedInstrument> instruments, SSimulatorOptions options);
    ~CInstrumentSimulator(); // stops

    // Opens the socket and starts answering; false (with errno kept) when it could not.
    bool Start();
    void Stop();
    std::uint16_t Port() const; // the bound port (useful when asked for port 0)

private:
    // The socket thread.
    void Run();
    void ReceiveAll();
    // Queues a decision's answers for their time and sends those due at once.
    void Schedule(SSimulatorDecision decision);
    void SendDue();
    void Transmit(const SSimulatorOutgoing& outgoing);
    // Every answer in batches of sendmmsg calls, waiting for room in the socket when the kernel
    // has none; one log line per datagram that could not be sent.
    void TransmitBurst(const std::vector<SSimulatorOutgoing>& listOutgoing);
    // What the log says of an answer that goes out.
    std::string OutLine(const SSimulatorOutgoing& outgoing) const;
    void CloseDescriptors();

    // Fixed from the options.
    const std::uint16_t m_nPort;
    const std::uint16_t m_nClientPort;
    const std::uint32_t m_dwBindAddress;
    const bool m_bBurst;

    // Set once before the socket thread starts, then only read.
    int m_hSocket = -1;
    int m_ahWakePipe[2] = {-1, -1};
    std::atomic<std::uint16_t> m_nBoundPort{0};
    std::thread m_hThread;
    std::atomic<bool> m_bStop{false};

    // The socket thread's alone: answers waiting for their time, in the order they were decided.
    std::multimap<std::chrono::steady_clock::time_point, SSimulatorOutgoing> m_mapDue;
};
