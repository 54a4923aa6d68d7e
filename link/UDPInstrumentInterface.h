// The one UDP link to the instruments. A socket thread alone touches the socket: it sends the
// datagram the window thread hands over and appends arriving datagrams to the receive buffer,
// announcing each one. The window thread frames, sends and takes whole datagrams.
#pragma once

#include "link/DatagramNotifyTarget.h"
#include "link/InstrumentInterface.h"
#include "link/Messages.h"
#include "link/StagedDatagrams.h"
#include "platform/AutoResetEvent.h"
#include "platform/TimedMutex.h"
#include "platform/WakeSignal.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// Why the link could not be built; the constructor throws the value.
enum InterfaceException : int {
    SOCKET_LIBRARY_NOT_STARTED = -1, // kept for its value; POSIX sockets need no start-up
    SOCKET_LIBRARY_WRONG_VERSION = -2,
    HOST_NAME_UNREADABLE = -4,
    SOCKET_THREAD_NOT_STARTED = -5,
    SYNCHRONISATION_NOT_CREATED = -6,
};
// The meaning of a value in plain words, for the user.
const char* DescribeInterfaceException(InterfaceException nException);

// Status codes of the link's operations; the UDP link returns 0, -2, -3 and -4 only.
constexpr int STATUS_NO_ERROR = 0;
constexpr int STATUS_CANNOT_SEND_MESSAGE = -2;
constexpr int STATUS_OUT_MESSAGE_SIZE = -3;
constexpr int STATUS_CANNOT_READ_RESPONSE = -4;
// "No Error" for 0; code -n has entry n of the table; nullptr outside it.
const char* GetStatusText(int nStatus);

// The socket thread's acceptance rule: how many of nCount received bytes the receive buffer
// keeps (the header and the payload it announces), or 0 for bytes that are no datagram of the
// protocol.
std::uint32_t KeptDatagramLength(const std::uint8_t* pbBytes, std::size_t nCount);

class CUDPSocket;

// How far the socket thread has got with the socket: still at it, bound to its port and serving,
// or given up (the socket could not be opened, or the port stayed taken through every attempt).
enum class ELinkSetup : std::uint8_t { Pending, Bound, Failed };

class CUDPInstrumentInterface final : public CInstrumentInterface {
public:
    static constexpr std::uint32_t BUFFER_SIZE = 4096;
    // The bound of every wait: for a lock, for the send confirmation, and of Receive.
    static constexpr std::uint32_t WAIT_TIMEOUT_MS = 1000;
    // The kernel receive buffer the link asks for: enough for a burst of replies from a whole
    // segment while the window thread takes them. Without privileges the kernel caps it at
    // net.core.rmem_max.
    static constexpr int SOCKET_RECEIVE_BUFFER_BYTES = 4 << 20;
    // Datagrams the socket thread holds while the receive buffer has no room for them, at most
    // (up to 8.6 MB, for a segment's burst whatever the kernel grants and the windows do); what
    // arrives beyond is dropped and counted.
    static constexpr std::uint32_t STAGED_DATAGRAMS = 16384;
    // A port that is taken is tried this many times, this far apart, before the link gives up.
    static constexpr int BIND_ATTEMPTS = 7;
    static constexpr std::uint32_t BIND_RETRY_MS = 500;
    // Longer than the socket thread can take to bind or give up.
    static constexpr std::uint32_t SETUP_TIMEOUT_MS =
        BIND_ATTEMPTS * BIND_RETRY_MS + WAIT_TIMEOUT_MS;

    // Throws InterfaceException. The ports are the protocol's own unless a test chooses others;
    // a socket receive buffer of 0 keeps the kernel's default (for measurements).
    CUDPInstrumentInterface(std::uint32_t dwLocalAddress, std::uint32_t dwBroadcastAddress,
                            std::uint16_t nLocalPort = INSTRUMENT_PORT,
                            std::uint16_t nPeerPort = INSTRUMENT_PORT,
                            int nSocketReceiveBufferBytes = SOCKET_RECEIVE_BUFFER_BYTES);
    ~CUDPInstrumentInterface();
    CUDPInstrumentInterface(const CUDPInstrumentInterface&) = delete;
    CUDPInstrumentInterface& operator=(const CUDPInstrumentInterface&) = delete;

    int Connect() override;
    void Disconnect() override;
    int Transact(const std::uint8_t* pbRequest, std::uint32_t dwRequestLength,
                 std::uint8_t* pbReply, std::uint32_t* pdwReplyLength,
                 std::uint32_t dwReplyCapacity) override;
    int Receive(std::uint8_t* pbBuffer, std::uint32_t* pdwLength,
                std::uint32_t dwCapacity) override;
    int Send(const std::uint8_t* pbPayload, std::uint32_t dwLength) override;

    // Removes the oldest whole datagram (header included); pbBuffer, when given, has room for
    // MAX_DATAGRAM_SIZE bytes.
    bool TakeDatagram(std::uint32_t* pdwLength, std::uint8_t* pbBuffer);

    // Makes pTarget the one that receives the announcements (none: nullptr) and announces to it,
    // once each, the whole datagrams already waiting, so that none waits unannounced.
    void SetNotifyTarget(CDatagramNotifyTarget* pTarget);

    // For the socket thread (public so that tests can drive the buffers directly).
    bool AppendReceived(const std::uint8_t* pbBytes, std::uint32_t dwCount);
    std::uint32_t ReceiveSpace();
    // dwSequence tells the datagram of one Send from another; its confirmation carries it back.
    bool PutSendDatagram(const std::uint8_t* pbBytes, std::uint32_t dwCount,
                         std::uint32_t dwSequence = 0);
    bool TakeSendDatagram(std::uint8_t* pbBuffer, std::uint32_t* pdwCount,
                          std::uint32_t* pdwSequence = nullptr);
    // The datagram of sequence dwSequence went out: confirms the Send that waits for it, and no
    // other.
    void ConfirmSent(std::uint32_t dwSequence);
    // The socket refused the datagram of sequence dwSequence (no route while the adapter has no
    // address, for example): the Send that waits for it fails at once rather than at its bound.
    void RefuseSent(std::uint32_t dwSequence);

    // The socket thread's last error on a send or a receive (an errno value), 0 at first.
    int GetLastSocketError() const { return m_nLastSocketError.load(); }
    // Whether the socket thread has bound its port; on Failed, GetLastSocketError says why
    // (EADDRINUSE: another program holds the port). Waits until it is no longer Pending, at
    // most dwTimeoutMs; 0 only looks.
    ELinkSetup WaitForSetup(std::uint32_t dwTimeoutMs);
    // Who hears, once, that the setup has ended (Bound or Failed): called on the socket thread as
    // it ends, or at once on the caller's thread when it has ended already. Like the datagram
    // announcement it must only post, never block. Set before the link is destroyed, if at all.
    void SetSetupNotification(std::function<void(ELinkSetup)> fnNotify);
    std::uint16_t GetLocalPort() const { return m_nLocalPort; }
    // The socket's receive buffer as the kernel reports it (bookkeeping included); 0 until the
    // socket thread has set the socket up.
    int GetSocketReceiveBufferBytes() const { return m_nSocketReceiveBufferBytes.load(); }
    // Datagrams dropped because STAGED_DATAGRAMS were waiting already.
    std::uint64_t GetDroppedDatagrams() const { return m_nDroppedDatagrams.load(); }

private:
    void SocketThread();
    // One send request served: the waiting datagram goes out and is confirmed.
    void SendPass(CUDPSocket& socket, std::uint8_t* pbBuffer);
    // Reads what waits in the socket (a bounded number of datagrams) behind the staged ones,
    // into RECEIVE_BATCH buffers of BUFFER_SIZE bytes.
    void ReceivePass(CUDPSocket& socket, std::uint8_t* pbBuffers);
    // A datagram read: the part its header announces goes behind the staged ones, unless it is
    // no datagram of the protocol or the staging area is full.
    void StageReceived(const std::uint8_t* pbDatagram, std::size_t nLength);
    // Moves staged datagrams into the receive buffer, oldest first, as many as fit whole, and
    // announces them as one chunk; false when some are left for want of room.
    bool PassStagedOn();
    // Under the receive lock: the bytes behind what is held (the buffer emptied first when they
    // would not fit); the target to announce them to.
    CDatagramNotifyTarget* StoreReceived(const std::uint8_t* pbBytes, std::uint32_t dwCount);
    // Wakes the socket thread for room once TakeDatagram has freed enough.
    void WakeForRoom(std::uint32_t dwSpace);
    void SetSetup(ELinkSetup nSetup);

    std::unique_ptr<CAutoResetEvent> m_hStopEvent;
    std::unique_ptr<CAutoResetEvent> m_hSendDoneEvent;
    std::unique_ptr<CAutoResetEvent> m_hSendRequestEvent;
    std::uint8_t m_abReceiveBuffer[BUFFER_SIZE];
    std::uint8_t m_abSendBuffer[BUFFER_SIZE];

public:
    char m_szLocalHostName[TEXT_FIELD_SIZE];
    // Set through SetNotifyTarget by the main connection window; read on the socket thread.
    std::atomic<CDatagramNotifyTarget*> m_hNotifyWnd{nullptr};
    const std::uint32_t m_dwBroadcastAddress;
    const std::uint32_t m_dwLocalAddress;

private:
    std::uint32_t m_dwReceivedBytes = 0;

public:
    std::uint32_t m_dwLastSourceAddress = 0;

private:
    std::uint32_t m_dwSendCount = 0;
    std::uint32_t m_dwSendDatagramSequence = 0; // of the datagram in m_abSendBuffer

public:
    // Written by the caller before each Send.
    std::uint32_t m_dwDestinationAddress = 0;
    std::uint32_t m_dwSourceAddress = 0;

private:
    std::uint32_t m_dwThreadId = 0;
    std::unique_ptr<CTimedMutex> m_hReceiveMutex;
    std::thread m_hThread;
    std::unique_ptr<CTimedMutex> m_hSendMutex;
    std::atomic<int> m_nLastSocketError{0};

    // Raised with every send request, the stop event and room freed in the receive buffer: the
    // socket thread waits on it beside its socket.
    std::unique_ptr<CWakeSignal> m_pSocketThreadWake;
    // Set by the socket thread while it waits for room in the receive buffer.
    std::atomic<bool> m_bWaitingForRoom{false};
    CStagedDatagrams m_stagedDatagrams{STAGED_DATAGRAMS}; // the socket thread's alone
    std::atomic<std::uint64_t> m_nDroppedDatagrams{0};
    std::uint32_t m_dwSendSequence = 0; // of the last Send; the window thread's alone
    std::atomic<std::uint32_t> m_dwConfirmedSequence{0};
    std::atomic<std::uint32_t> m_dwRefusedSequence{0};

    const std::uint16_t m_nLocalPort;
    const std::uint16_t m_nPeerPort;
    const int m_nRequestedSocketReceiveBufferBytes;
    std::atomic<int> m_nSocketReceiveBufferBytes{0};

    std::mutex m_setupMutex;
    std::condition_variable m_setupChanged;
    ELinkSetup m_nSetup = ELinkSetup::Pending;
    std::function<void(ELinkSetup)> m_fnSetupNotify; // under m_setupMutex
};

// The single link: the first call creates it with its arguments, later calls return it and
// ignore theirs. None when memory cannot be had; an InterfaceException passes through.
CUDPInstrumentInterface* GetInstrumentInterface(std::uint32_t dwLocalAddress,
                                                std::uint32_t dwBroadcastAddress,
                                                std::uint16_t nLocalPort = INSTRUMENT_PORT,
                                                std::uint16_t nPeerPort = INSTRUMENT_PORT);
// Shuts the single link down and forgets it (application exit; between tests).
void ReleaseInstrumentInterface();
