#include "link/UDPInstrumentInterface.h"

#include "link/LinkLog.h"
#include "platform/HostName.h"
#include "platform/TickCount.h"
#include "platform/UDPSocket.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iterator>
#include <new>
#include <span>
#include <system_error>
#include <vector>

namespace {

// A pass reads what waits in the socket, in batches of one call each, at most this many
// datagrams, so that a flood cannot keep the thread from the stop event and the send requests
// for longer than about a millisecond.
constexpr std::size_t RECEIVE_BATCH = 64;
constexpr std::size_t MAX_DATAGRAMS_PER_PASS = 1024;

const char* const STATUS_TEXTS[] = {
    "No Error",
    "Device Not Connected",
    "Cannot Send Message",
    "Out Message Size",
    "Cannot Read Response",
    "Return Synchronization",
    "Return Mismatch",
    "Cannot Request Size",
    "Cannot Get Size",
    "In Size Response",
    "Cannot Get ID",
    "Device Not Open",
    "Can't Get Pipe Info",
    "Message Synchronization",
    "Size Request Mismatch",
    "Message Header Too Big",
    "Big Message Declined",
    "Cannot Send Big Payload",
};

CUDPInstrumentInterface* g_pInstrumentInterface = nullptr;
std::mutex g_instrumentInterfaceMutex;

} // namespace

// How much of a received datagram the receive buffer takes: the header and the payload it
// announces, anything behind that dropped. 0 for bytes that are no datagram of the protocol
// (no magic, shorter than a header, more than the largest payload announced, or fewer payload
// bytes carried than announced): stored, they would corrupt the buffer for every later datagram.
std::uint32_t KeptDatagramLength(const std::uint8_t* pbBytes, std::size_t nCount) {
    if (nCount < DATAGRAM_HEADER_SIZE || !HasDatagramMagic({pbBytes, nCount})) {
        return 0;
    }
    const std::size_t nWhole = DATAGRAM_HEADER_SIZE + ReadDatagramHeader(pbBytes).wPayloadLength;
    if (nWhole > MAX_DATAGRAM_SIZE || nCount < nWhole) {
        return 0;
    }
    return static_cast<std::uint32_t>(nWhole);
}

const char* GetStatusText(int nStatus) {
    constexpr int nEntries = static_cast<int>(std::size(STATUS_TEXTS));
    if (nStatus > 0 || nStatus <= -nEntries) {
        return nullptr;
    }
    return STATUS_TEXTS[-nStatus];
}

const char* DescribeInterfaceException(InterfaceException nException) {
    switch (nException) {
    case SOCKET_LIBRARY_NOT_STARTED:
        return "The network sockets could not be started.";
    case SOCKET_LIBRARY_WRONG_VERSION:
        return "The network sockets do not offer the version this program needs.";
    case HOST_NAME_UNREADABLE:
        return "The name of this computer could not be read.";
    case SOCKET_THREAD_NOT_STARTED:
        return "The network worker thread could not be started.";
    case SYNCHRONISATION_NOT_CREATED:
        return "The program could not create the locks and events it needs.";
    }
    return "The connection to the instruments could not be set up.";
}

CUDPInstrumentInterface::CUDPInstrumentInterface(std::uint32_t dwLocalAddress,
                                                 std::uint32_t dwBroadcastAddress,
                                                 std::uint16_t nLocalPort, std::uint16_t nPeerPort,
                                                 int nSocketReceiveBufferBytes)
    : m_szLocalHostName{}, m_dwBroadcastAddress(dwBroadcastAddress),
      m_dwLocalAddress(dwLocalAddress), m_nLocalPort(nLocalPort), m_nPeerPort(nPeerPort),
      m_nRequestedSocketReceiveBufferBytes(nSocketReceiveBufferBytes) {
    std::memset(m_abReceiveBuffer, 0, sizeof(m_abReceiveBuffer));
    std::memset(m_abSendBuffer, 0, sizeof(m_abSendBuffer));
    // POSIX sockets need no library start-up, so SOCKET_LIBRARY_NOT_STARTED and
    // SOCKET_LIBRARY_WRONG_VERSION cannot arise here.
    if (!GetLocalHostName(m_szLocalHostName, sizeof(m_szLocalHostName))) {
        throw HOST_NAME_UNREADABLE;
    }
    try {
        m_hReceiveMutex = std::make_unique<CTimedMutex>();
        m_hSendMutex = std::make_unique<CTimedMutex>();
        m_hStopEvent = std::make_unique<CAutoResetEvent>();
        m_hSendDoneEvent = std::make_unique<CAutoResetEvent>();
        m_hSendRequestEvent = std::make_unique<CAutoResetEvent>();
        m_pSocketThreadWake = std::make_unique<CWakeSignal>();
    } catch (const std::exception&) {
        throw SYNCHRONISATION_NOT_CREATED;
    }
    try {
        m_hThread = std::thread(&CUDPInstrumentInterface::SocketThread, this);
    } catch (const std::exception&) {
        throw SOCKET_THREAD_NOT_STARTED;
    }
    m_dwThreadId = static_cast<std::uint32_t>(std::hash<std::thread::id>{}(m_hThread.get_id()));
}

CUDPInstrumentInterface::~CUDPInstrumentInterface() {
    m_hStopEvent->Set();
    m_pSocketThreadWake->Wake();
    // The thread wakes for the stop event in its wait and in its binding retries, and every one
    // of its waits is bounded. It is joined rather than left behind: it works on this object.
    if (m_hThread.joinable()) {
        m_hThread.join();
    }
    m_hReceiveMutex.reset();
    m_hStopEvent.reset();
    m_hSendDoneEvent.reset();
    m_hSendRequestEvent.reset();
    m_hSendMutex.reset();
    m_pSocketThreadWake.reset();
}

int CUDPInstrumentInterface::Connect() {
    return STATUS_NO_ERROR;
}

void CUDPInstrumentInterface::Disconnect() {}

int CUDPInstrumentInterface::Transact(const std::uint8_t* pbRequest, std::uint32_t dwRequestLength,
                                      std::uint8_t* pbReply, std::uint32_t* pdwReplyLength,
                                      std::uint32_t dwReplyCapacity) {
    if (pbRequest == nullptr || pdwReplyLength == nullptr) {
        return STATUS_CANNOT_SEND_MESSAGE;
    }
    *pdwReplyLength = 0;
    // The reply is the one to this request: what waited before it goes out is stale here.
    std::uint32_t dwStale = 0;
    while (TakeDatagram(&dwStale, nullptr)) {
    }
    const int nStatus = Send(pbRequest, dwRequestLength);
    if (nStatus != STATUS_NO_ERROR) {
        return nStatus;
    }
    return Receive(pbReply, pdwReplyLength, dwReplyCapacity);
}

int CUDPInstrumentInterface::Receive(std::uint8_t* pbBuffer, std::uint32_t* pdwLength,
                                     std::uint32_t dwCapacity) {
    if (pdwLength == nullptr) {
        return STATUS_CANNOT_READ_RESPONSE;
    }
    *pdwLength = 0;
    const std::uint32_t dwStart = GetTickCount();
    std::uint8_t abDatagram[MAX_DATAGRAM_SIZE];
    for (;;) {
        std::uint32_t dwWhole = 0;
        if (TakeDatagram(&dwWhole, abDatagram)) {
            const DatagramHeader header = ReadDatagramHeader(abDatagram);
            if (header.dwDestination != m_dwBroadcastAddress) {
                m_dwLastSourceAddress = header.dwSource;
                const std::uint32_t dwPayload = dwWhole - DATAGRAM_HEADER_SIZE;
                *pdwLength = dwPayload;
                if (dwPayload > dwCapacity) {
                    return pbBuffer != nullptr ? STATUS_CANNOT_READ_RESPONSE : STATUS_NO_ERROR;
                }
                if (pbBuffer != nullptr) {
                    std::memcpy(pbBuffer, abDatagram + DATAGRAM_HEADER_SIZE, dwPayload);
                }
                return STATUS_NO_ERROR;
            }
        }
        // Checked after a dropped broadcast datagram too, so that a stream of them cannot hold
        // the caller past its bound.
        if (TickDistance(dwStart, GetTickCount()) > WAIT_TIMEOUT_MS) {
            return STATUS_CANNOT_READ_RESPONSE;
        }
        std::this_thread::yield();
    }
}

int CUDPInstrumentInterface::Send(const std::uint8_t* pbPayload, std::uint32_t dwLength) {
    if (pbPayload == nullptr) {
        return STATUS_CANNOT_SEND_MESSAGE;
    }
    if (dwLength > MAX_PAYLOAD_SIZE) {
        return STATUS_OUT_MESSAGE_SIZE;
    }
    // Address 0 is this computer itself on Linux: the datagram would come back to this socket
    // as if an instrument had answered. No instrument lives there.
    if (m_dwDestinationAddress == 0) {
        LinkLog(LINK_LOG_DEBUG, "A datagram to 0.0.0.0 was not sent");
        return STATUS_CANNOT_SEND_MESSAGE;
    }
    std::uint8_t abDatagram[MAX_DATAGRAM_SIZE];
    const std::size_t nCount =
        FrameDatagram(m_dwDestinationAddress, m_dwSourceAddress, {pbPayload, dwLength}, abDatagram);
    // 0 stands for no datagram, so the count skips it when it wraps.
    if (++m_dwSendSequence == 0) {
        ++m_dwSendSequence;
    }
    const std::uint32_t dwSequence = m_dwSendSequence;
    if (!PutSendDatagram(abDatagram, static_cast<std::uint32_t>(nCount), dwSequence)) {
        return STATUS_CANNOT_SEND_MESSAGE;
    }
    m_hSendRequestEvent->Set();
    m_pSocketThreadWake->Wake();
    // A confirmation of a datagram that an earlier Send gave up on is passed over.
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(WAIT_TIMEOUT_MS);
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 ||
            !m_hSendDoneEvent->Wait(static_cast<std::uint32_t>(left.count()))) {
            return STATUS_CANNOT_SEND_MESSAGE;
        }
        if (m_dwConfirmedSequence.load() == dwSequence) {
            return STATUS_NO_ERROR;
        }
        if (m_dwRefusedSequence.load() == dwSequence) {
            return STATUS_CANNOT_SEND_MESSAGE;
        }
    }
}

bool CUDPInstrumentInterface::TakeDatagram(std::uint32_t* pdwLength, std::uint8_t* pbBuffer) {
    if (pdwLength == nullptr) {
        return false;
    }
    *pdwLength = 0;
    std::unique_lock lock(*m_hReceiveMutex, std::chrono::milliseconds(WAIT_TIMEOUT_MS));
    if (!lock.owns_lock()) {
        return false;
    }
    if (m_dwReceivedBytes < DATAGRAM_HEADER_SIZE) {
        return false;
    }
    if (!HasDatagramMagic({m_abReceiveBuffer, m_dwReceivedBytes})) {
        m_dwReceivedBytes = 0;
        return false;
    }
    const std::uint32_t dwPayload = ReadDatagramHeader(m_abReceiveBuffer).wPayloadLength;
    // A header announcing more than the largest payload cannot start a datagram the callers have
    // room for; like bytes without the magic, it leaves nothing in the buffer worth keeping.
    if (dwPayload > MAX_PAYLOAD_SIZE) {
        m_dwReceivedBytes = 0;
        return false;
    }
    const std::uint32_t dwWhole = DATAGRAM_HEADER_SIZE + dwPayload;
    if (m_dwReceivedBytes < dwWhole) {
        return false; // the rest may still come
    }
    *pdwLength = dwWhole;
    if (pbBuffer != nullptr) {
        std::memcpy(pbBuffer, m_abReceiveBuffer, dwWhole);
    }
    std::memmove(m_abReceiveBuffer, m_abReceiveBuffer + dwWhole, m_dwReceivedBytes - dwWhole);
    m_dwReceivedBytes -= dwWhole;
    const std::uint32_t dwSpace = BUFFER_SIZE - m_dwReceivedBytes;
    lock.unlock();
    WakeForRoom(dwSpace);
    return true;
}

void CUDPInstrumentInterface::WakeForRoom(std::uint32_t dwSpace) {
    if (dwSpace >= MAX_DATAGRAM_SIZE && m_bWaitingForRoom.exchange(false)) {
        m_pSocketThreadWake->Wake();
    }
}

void CUDPInstrumentInterface::SetSetup(ELinkSetup nSetup) {
    std::function<void(ELinkSetup)> fnNotify;
    {
        std::lock_guard lock(m_setupMutex);
        m_nSetup = nSetup;
        fnNotify = m_fnSetupNotify;
    }
    m_setupChanged.notify_all();
    if (fnNotify) {
        fnNotify(nSetup);
    }
}

void CUDPInstrumentInterface::SetSetupNotification(std::function<void(ELinkSetup)> fnNotify) {
    ELinkSetup nSetup = ELinkSetup::Pending;
    {
        // Under the lock that SetSetup takes, so that the end is told exactly once: here when it
        // came before, by SetSetup when it comes after.
        std::lock_guard lock(m_setupMutex);
        m_fnSetupNotify = fnNotify;
        nSetup = m_nSetup;
    }
    if (nSetup != ELinkSetup::Pending && fnNotify) {
        fnNotify(nSetup);
    }
}

ELinkSetup CUDPInstrumentInterface::WaitForSetup(std::uint32_t dwTimeoutMs) {
    std::unique_lock lock(m_setupMutex);
    m_setupChanged.wait_for(lock, std::chrono::milliseconds(dwTimeoutMs),
                            [this] { return m_nSetup != ELinkSetup::Pending; });
    return m_nSetup;
}

void CUDPInstrumentInterface::SetNotifyTarget(CDatagramNotifyTarget* pTarget) {
    int nWaiting = 0;
    {
        // Under the receive lock, so that every datagram is announced exactly once: those held
        // now here, those appended later by AppendReceived.
        std::unique_lock lock(*m_hReceiveMutex, std::chrono::milliseconds(WAIT_TIMEOUT_MS));
        m_hNotifyWnd.store(pTarget);
        if (!lock.owns_lock() || pTarget == nullptr) {
            return;
        }
        std::uint32_t dwOffset = 0;
        while (m_dwReceivedBytes - dwOffset >= DATAGRAM_HEADER_SIZE &&
               HasDatagramMagic({m_abReceiveBuffer + dwOffset, m_dwReceivedBytes - dwOffset})) {
            const std::uint32_t dwWhole =
                DATAGRAM_HEADER_SIZE +
                ReadDatagramHeader(m_abReceiveBuffer + dwOffset).wPayloadLength;
            if (dwWhole > MAX_DATAGRAM_SIZE || m_dwReceivedBytes - dwOffset < dwWhole) {
                break;
            }
            ++nWaiting;
            dwOffset += dwWhole;
        }
    }
    for (int i = 0; i < nWaiting; ++i) {
        pTarget->PostDatagramNotification();
    }
}

bool CUDPInstrumentInterface::AppendReceived(const std::uint8_t* pbBytes, std::uint32_t dwCount) {
    // More than the whole buffer could never be stored.
    if (pbBytes == nullptr || dwCount > BUFFER_SIZE) {
        return false;
    }
    CDatagramNotifyTarget* pNotifyWnd = nullptr;
    {
        std::unique_lock lock(*m_hReceiveMutex, std::chrono::milliseconds(WAIT_TIMEOUT_MS));
        if (!lock.owns_lock()) {
            return false;
        }
        pNotifyWnd = StoreReceived(pbBytes, dwCount);
    }
    if (pNotifyWnd != nullptr) {
        pNotifyWnd->PostDatagramNotification();
    }
    return true;
}

CDatagramNotifyTarget* CUDPInstrumentInterface::StoreReceived(const std::uint8_t* pbBytes,
                                                              std::uint32_t dwCount) {
    if (m_dwReceivedBytes + dwCount > BUFFER_SIZE) {
        m_dwReceivedBytes = 0;
    }
    std::memcpy(m_abReceiveBuffer + m_dwReceivedBytes, pbBytes, dwCount);
    m_dwReceivedBytes += dwCount;
    // Read under the lock: SetNotifyTarget announces what it finds held under it.
    return m_hNotifyWnd.load();
}

std::uint32_t CUDPInstrumentInterface::ReceiveSpace() {
    std::unique_lock lock(*m_hReceiveMutex, std::chrono::milliseconds(WAIT_TIMEOUT_MS));
    if (!lock.owns_lock()) {
        return 0;
    }
    return BUFFER_SIZE - m_dwReceivedBytes;
}

bool CUDPInstrumentInterface::PutSendDatagram(const std::uint8_t* pbBytes, std::uint32_t dwCount,
                                              std::uint32_t dwSequence) {
    if (pbBytes == nullptr || dwCount > BUFFER_SIZE) {
        return false;
    }
    if (dwCount == 0) {
        return true;
    }
    std::unique_lock lock(*m_hSendMutex, std::chrono::milliseconds(WAIT_TIMEOUT_MS));
    if (!lock.owns_lock()) {
        return false;
    }
    std::memcpy(m_abSendBuffer, pbBytes, dwCount);
    m_dwSendCount = dwCount;
    m_dwSendDatagramSequence = dwSequence;
    return true;
}

bool CUDPInstrumentInterface::TakeSendDatagram(std::uint8_t* pbBuffer, std::uint32_t* pdwCount,
                                               std::uint32_t* pdwSequence) {
    if (pdwCount == nullptr) {
        return false;
    }
    std::unique_lock sendLock(*m_hSendMutex, std::chrono::milliseconds(WAIT_TIMEOUT_MS));
    if (!sendLock.owns_lock()) {
        return false;
    }
    *pdwCount = m_dwSendCount;
    if (pdwSequence != nullptr) {
        *pdwSequence = m_dwSendDatagramSequence;
    }
    if (pbBuffer != nullptr && m_dwSendCount > 0) {
        std::memcpy(pbBuffer, m_abSendBuffer, m_dwSendCount);
        m_dwSendCount = 0;
    }
    // What was received and not taken stays: a reply that arrived as this request went out is
    // still routed to the window that waits for it.
    return true;
}

void CUDPInstrumentInterface::ConfirmSent(std::uint32_t dwSequence) {
    m_dwConfirmedSequence.store(dwSequence);
    m_hSendDoneEvent->Set();
}

void CUDPInstrumentInterface::RefuseSent(std::uint32_t dwSequence) {
    m_dwRefusedSequence.store(dwSequence);
    m_hSendDoneEvent->Set();
}

void CUDPInstrumentInterface::SocketThread() {
    CUDPSocket socket;
    if (!socket.Open() || !socket.SetNonBlocking() || !socket.AllowBroadcast()) {
        LinkLog(LINK_LOG_WARNING, "The UDP socket could not be set up: %s",
                std::strerror(socket.GetLastError()));
        m_nLastSocketError.store(socket.GetLastError());
        SetSetup(ELinkSetup::Failed);
        return;
    }
    if (m_nRequestedSocketReceiveBufferBytes > 0) {
        if (!socket.RequestReceiveBuffer(m_nRequestedSocketReceiveBufferBytes)) {
            LinkLog(LINK_LOG_DEBUG, "The socket's receive buffer could not be enlarged: %s",
                    std::strerror(socket.GetLastError()));
        }
        // The kernel reports twice what it grants, its bookkeeping included.
        const int nGranted = socket.GetReceiveBufferSize();
        if (nGranted / 2 < m_nRequestedSocketReceiveBufferBytes) {
            LinkLog(LINK_LOG_WARNING,
                    "The socket's receive buffer is %d bytes, less than the %d asked for: "
                    "replies of many instruments at once may be lost. Raise the limit with "
                    "sysctl net.core.rmem_max=%d",
                    nGranted / 2, m_nRequestedSocketReceiveBufferBytes,
                    m_nRequestedSocketReceiveBufferBytes);
        }
    }
    m_nSocketReceiveBufferBytes.store(socket.GetReceiveBufferSize());
    for (int nAttempt = 1;; ++nAttempt) {
        if (socket.Bind(m_nLocalPort)) {
            break;
        }
        LinkLog(LINK_LOG_DEBUG, "Binding UDP port %u failed, attempt %d of %d: %s",
                static_cast<unsigned>(m_nLocalPort), nAttempt, BIND_ATTEMPTS,
                std::strerror(socket.GetLastError()));
        if (nAttempt == BIND_ATTEMPTS) {
            LinkLog(LINK_LOG_WARNING, "UDP port %u could not be bound after %d attempts: %s",
                    static_cast<unsigned>(m_nLocalPort), BIND_ATTEMPTS,
                    std::strerror(socket.GetLastError()));
            m_nLastSocketError.store(socket.GetLastError());
            SetSetup(ELinkSetup::Failed);
            return;
        }
        if (m_hStopEvent->Wait(BIND_RETRY_MS)) {
            SetSetup(ELinkSetup::Failed);
            return;
        }
    }
    SetSetup(ELinkSetup::Bound);

    std::uint8_t abSend[BUFFER_SIZE];
    std::vector<std::uint8_t> abReceive(RECEIVE_BATCH * BUFFER_SIZE);
    for (;;) {
        // Asleep until a datagram arrives, or a send request, the stop event or room freed for
        // the staged datagrams raises the wake signal; bounded all the same. A datagram always
        // has somewhere to go (the staging area, or away once that is full), so the socket is
        // always watched and a burst never waits in the kernel's buffer for the windows.
        socket.WaitReadableOrWoken(m_pSocketThreadWake->Handle(), true, WAIT_TIMEOUT_MS);
        // Cleared before the events are read: whatever is raised after this is seen next time.
        m_pSocketThreadWake->Clear();
        const CAutoResetEvent::EWaitResult nEvent =
            CAutoResetEvent::WaitForEither(*m_hStopEvent, *m_hSendRequestEvent, 0);
        if (nEvent == CAutoResetEvent::WAIT_FIRST) {
            return;
        }
        if (nEvent == CAutoResetEvent::WAIT_SECOND) {
            SendPass(socket, abSend);
        }
        ReceivePass(socket, abReceive.data());
        if (!PassStagedOn()) {
            // Looked at again once the flag is up, so that room freed just before is not missed.
            m_bWaitingForRoom.store(true);
            if (PassStagedOn()) {
                m_bWaitingForRoom.store(false);
            }
        }
    }
}

void CUDPInstrumentInterface::SendPass(CUDPSocket& socket, std::uint8_t* pbBuffer) {
    std::uint32_t dwSendCount = 0;
    std::uint32_t dwSequence = 0;
    if (!TakeSendDatagram(pbBuffer, &dwSendCount, &dwSequence) || dwSendCount == 0) {
        return;
    }
    if (dwSendCount < DATAGRAM_HEADER_SIZE) {
        // Not a datagram of the protocol: there is no destination to read.
        m_nLastSocketError.store(EINVAL);
        LinkLog(LINK_LOG_WARNING, "A datagram of %u bytes has no header to send by",
                static_cast<unsigned>(dwSendCount));
        return;
    }
    const DatagramHeader header = ReadDatagramHeader(pbBuffer);
    if (header.dwDestination == 0) {
        // Sent, it would come back to this very socket (Send refuses it already).
        m_nLastSocketError.store(EDESTADDRREQ);
        LinkLog(LINK_LOG_WARNING, "A datagram to 0.0.0.0 was not sent");
        return;
    }
    if (!socket.SendTo(header.dwDestination, m_nPeerPort, pbBuffer, dwSendCount)) {
        m_nLastSocketError.store(socket.GetLastError());
        LinkLog(LINK_LOG_WARNING, "A datagram to %s:%u could not be sent: %s",
                DottedAddress(header.dwDestination).c_str(), static_cast<unsigned>(m_nPeerPort),
                std::strerror(socket.GetLastError()));
        RefuseSent(dwSequence);
        return;
    }
    // Logged before the confirmation, so the line is there when Send returns.
    LinkLog(LINK_LOG_DEBUG, "Sent code %u from %s to %s:%u, %u bytes",
            dwSendCount > DATAGRAM_HEADER_SIZE ? pbBuffer[DATAGRAM_HEADER_SIZE] : 0u,
            DottedAddress(header.dwSource).c_str(), DottedAddress(header.dwDestination).c_str(),
            static_cast<unsigned>(m_nPeerPort), static_cast<unsigned>(dwSendCount));
    ConfirmSent(dwSequence);
}

void CUDPInstrumentInterface::ReceivePass(CUDPSocket& socket, std::uint8_t* pbBuffers) {
    for (std::size_t nRead = 0; nRead < MAX_DATAGRAMS_PER_PASS;) {
        std::size_t anLengths[RECEIVE_BATCH];
        const int nReceived = socket.ReceiveMany(pbBuffers, BUFFER_SIZE, RECEIVE_BATCH, anLengths);
        if (nReceived < 0) {
            m_nLastSocketError.store(socket.GetLastError());
            LinkLog(LINK_LOG_WARNING, "Receiving failed: %s", std::strerror(socket.GetLastError()));
            return;
        }
        for (int i = 0; i < nReceived; ++i) {
            const std::uint8_t* pbDatagram = pbBuffers + static_cast<std::size_t>(i) * BUFFER_SIZE;
            StageReceived(pbDatagram, anLengths[i]);
        }
        nRead += static_cast<std::size_t>(nReceived);
        if (static_cast<std::size_t>(nReceived) < RECEIVE_BATCH) {
            return; // none left waiting
        }
    }
}

void CUDPInstrumentInterface::StageReceived(const std::uint8_t* pbDatagram, std::size_t nLength) {
    if (nLength > BUFFER_SIZE) {
        m_nLastSocketError.store(EMSGSIZE);
        LinkLog(LINK_LOG_DEBUG, "Dropped a datagram longer than %u bytes",
                static_cast<unsigned>(BUFFER_SIZE));
        return;
    }
    const std::uint32_t dwKept = KeptDatagramLength(pbDatagram, nLength);
    if (dwKept == 0) {
        LinkLog(LINK_LOG_DEBUG, "Dropped %zu bytes that are no instrument datagram", nLength);
        return;
    }
    if (!m_stagedDatagrams.Push({pbDatagram, dwKept}) && m_nDroppedDatagrams.fetch_add(1) == 0) {
        LinkLog(LINK_LOG_WARNING,
                "%u received datagrams wait to be taken: further datagrams are dropped until "
                "there is room (a flood?)",
                static_cast<unsigned>(STAGED_DATAGRAMS));
    }
}

bool CUDPInstrumentInterface::PassStagedOn() {
    if (m_stagedDatagrams.IsEmpty()) {
        return true;
    }
    CDatagramNotifyTarget* pNotifyWnd = nullptr;
    int nAppended = 0;
    {
        std::unique_lock lock(*m_hReceiveMutex, std::chrono::milliseconds(WAIT_TIMEOUT_MS));
        if (!lock.owns_lock()) {
            return false;
        }
        // Whole datagrams only: one that does not fit behind what is held waits for room.
        for (std::span<const std::uint8_t> datagram = m_stagedDatagrams.Front();
             !datagram.empty() && m_dwReceivedBytes + datagram.size() <= BUFFER_SIZE;
             datagram = m_stagedDatagrams.Front()) {
            pNotifyWnd =
                StoreReceived(datagram.data(), static_cast<std::uint32_t>(datagram.size()));
            m_stagedDatagrams.Pop();
            ++nAppended;
        }
    }
    // The datagrams appended at once are one chunk, announced once the lock is free: the one
    // announcement takes them all, since a chunk is never more than the receive buffer holds.
    if (pNotifyWnd != nullptr && nAppended > 0) {
        pNotifyWnd->PostDatagramNotification();
    }
    return m_stagedDatagrams.IsEmpty();
}

CUDPInstrumentInterface* GetInstrumentInterface(std::uint32_t dwLocalAddress,
                                                std::uint32_t dwBroadcastAddress,
                                                std::uint16_t nLocalPort, std::uint16_t nPeerPort) {
    std::lock_guard lock(g_instrumentInterfaceMutex);
    if (g_pInstrumentInterface == nullptr) {
        // An InterfaceException from the constructor passes through; the memory is given back.
        g_pInstrumentInterface = new (std::nothrow)
            CUDPInstrumentInterface(dwLocalAddress, dwBroadcastAddress, nLocalPort, nPeerPort);
    }
    return g_pInstrumentInterface;
}

void ReleaseInstrumentInterface() {
    std::lock_guard lock(g_instrumentInterfaceMutex);
    delete g_pInstrumentInterface;
    g_pInstrumentInterface = nullptr;
}
