// An IPv4 UDP socket with the few operations the link needs. Addresses are address numbers
// (first octet most significant); a failed operation keeps its errno value in GetLastError().
#pragma once

#include <cstddef>
#include <cstdint>

class CUDPSocket {
public:
    enum EReceiveResult {
        RECEIVE_DATAGRAM, // a datagram that fitted the room offered
        RECEIVE_NO_DATA,  // nothing waiting (non-blocking socket)
        RECEIVE_TOO_LONG, // a datagram longer than the room: dropped whole, EMSGSIZE kept
        RECEIVE_ERROR,
    };

    CUDPSocket() = default;
    ~CUDPSocket();
    CUDPSocket(const CUDPSocket&) = delete;
    CUDPSocket& operator=(const CUDPSocket&) = delete;

    bool Open();
    void Close();
    bool IsOpen() const { return m_hSocket >= 0; }

    bool SetNonBlocking();
    bool AllowBroadcast();
    // Asks for a kernel receive buffer of nBytes, beyond net.core.rmem_max where the process may
    // (SO_RCVBUFFORCE), else up to that limit.
    bool RequestReceiveBuffer(int nBytes);
    // The kernel's receive buffer size, bookkeeping included; 0 when it cannot be read.
    int GetReceiveBufferSize() const;
    // dwAddress 0 binds to any local address; nPort 0 to a port the kernel chooses.
    bool Bind(std::uint16_t nPort, std::uint32_t dwAddress = 0);
    std::uint16_t GetLocalPort() const;

    bool SendTo(std::uint32_t dwAddress, std::uint16_t nPort, const std::uint8_t* pbBytes,
                std::size_t nCount);
    // Reads one datagram into nRoom bytes, never blocking on a non-blocking socket.
    EReceiveResult Receive(std::uint8_t* pbBuffer, std::size_t nRoom, std::size_t* pnLength,
                           std::uint32_t* pdwSenderAddress = nullptr,
                           std::uint16_t* pnSenderPort = nullptr);
    // Reads up to nCount waiting datagrams in one call, datagram i into the nRoom bytes at
    // pbBuffers + i * nRoom and its length into pnLengths[i]; a length above nRoom is that of a
    // datagram that did not fit, dropped whole. Answers how many were read: 0 when none waits,
    // -1 on an error (kept in GetLastError()). Never blocks on a non-blocking socket.
    int ReceiveMany(std::uint8_t* pbBuffers, std::size_t nRoom, std::size_t nCount,
                    std::size_t* pnLengths);
    // True when a datagram waits, or comes within dwTimeoutMs.
    bool WaitReadable(std::uint32_t dwTimeoutMs);

    enum EWaitResult { WAIT_READABLE, WAIT_WOKEN, WAIT_TIMEOUT, WAIT_FAILED };
    // Waits at most dwTimeoutMs for the wake descriptor (hWake, readable when raised) or, when
    // bForData, for a datagram. The wake descriptor wins when both are ready.
    EWaitResult WaitReadableOrWoken(int hWake, bool bForData, std::uint32_t dwTimeoutMs);

    int GetLastError() const { return m_nLastError; }

private:
    bool Fail();

    int m_hSocket = -1;
    int m_nLastError = 0;
};
