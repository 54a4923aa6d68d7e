#include "sim/InstrumentSimulator.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <map>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::size_t RECEIVE_ROOM = 2048;
// How long the worker sleeps at most when no answer is due, so a stop is never missed.
constexpr std::chrono::milliseconds IDLE_POLL{200};
// Datagrams handed to the kernel in one sendmmsg call, at most (its own limit).
constexpr std::size_t BURST_BATCH = 1024;

const char* CodeName(std::uint8_t nCode) {
    switch (nCode) {
    case MSG_CLAIM:
        return "claim";
    case MSG_DISCOVERY_REQUEST:
        return "discovery";
    case MSG_DISCOVERY_REPLY:
        return "discovery-reply";
    case MSG_RELEASE:
        return "release";
    case MSG_REPAIR:
        return "repair";
    case MSG_VERIFY:
        return "verify";
    case MSG_RENAME:
        return "rename";
    default:
        return "unknown";
    }
}

// The texts an instrument stores are what fits a text field.
std::string FieldText(const std::string& strText) {
    return strText.substr(0, std::min(strText.size(), TEXT_FIELD_MAX_UNITS));
}

bool IsOwner(const SSimulatedInstrument& instrument, const std::string& strClientHostName,
             std::uint32_t dwClientAddress) {
    return instrument.bClaimed != 0 && instrument.strOwnerHostName == strClientHostName &&
           instrument.dwOwnerAddress == dwClientAddress;
}

// A 20-byte datagram whose header announces 100 payload bytes.
std::vector<std::uint8_t> MalformedDatagram(std::uint32_t dwDestination, std::uint32_t dwSource) {
    std::vector<std::uint8_t> datagram(20, 0);
    WriteDatagramHeader(datagram.data(), DatagramHeader{dwDestination, dwSource, 100});
    return datagram;
}

} // namespace

SInstrumentDescriptionFields DescribeInstrument(const SSimulatedInstrument& instrument) {
    SInstrumentDescriptionFields f;
    f.strHostName = instrument.strHostName;
    f.dwAddress = instrument.dwAddress;
    f.bClaimed = instrument.bClaimed;
    f.bInUse = instrument.bInUse;
    f.strName = instrument.strName;
    f.strOwnerHostName = instrument.strOwnerHostName;
    f.dwOwnerAddress = instrument.dwOwnerAddress;
    return f;
}

struct CInstrumentSimulator::SState {
    struct SOutgoing : SSimulatorAnswer {
        std::string strWhat; // what the log calls it: the code's name and number
    };
    // What one datagram gets: its answers, and the switches in force when it came.
    struct SDecision {
        std::vector<SOutgoing> listAnswers;
        std::chrono::milliseconds delay{0};
        bool bAnswerTwice = false;
        bool bMalformed = false;
    };

    explicit SState(std::vector<SSimulatedInstrument> instruments, SSimulatorOptions options)
        : listInstruments(std::move(instruments)), options(std::move(options)) {}

    // Worker side.
    void Run();
    void ReceiveAll();
    void Handle(const std::uint8_t* pbBytes, std::size_t nLength, bool bTruncated,
                std::uint32_t dwSender, std::uint16_t nSenderPort, std::uint32_t dwReceivedOn,
                bool bHaveReceivedOn);
    // Records a well-formed request and acts upon it; no answers for what is no request.
    SDecision Decide(const std::uint8_t* pbBytes, std::size_t nLength, bool bTruncated,
                     std::uint32_t dwSender, std::uint16_t nSenderPort, std::uint32_t dwReceivedOn,
                     bool bHaveReceivedOn);
    // Under the lock: the instrument's answer to a request, if it answers.
    std::optional<std::vector<std::uint8_t>> Answer(SSimulatedInstrument& instrument,
                                                    const SSimulatorRequest& request);
    void SendDue();
    void Transmit(const SOutgoing& outgoing);
    // Every answer in batches of sendmmsg calls, waiting for room in the socket when the kernel
    // has none; one log line per datagram that could not be sent.
    void TransmitBurst(const std::vector<SOutgoing>& listOutgoing);
    struct SWireMessage;
    // What the log says of an answer that goes out.
    std::string OutLine(const SOutgoing& outgoing) const;
    void Log(const std::string& strLine) const {
        if (options.fnLog) {
            options.fnLog(strLine);
        }
    }

    // Set once before the worker starts, then only read.
    int nSocket = -1;
    int anWakePipe[2] = {-1, -1};
    std::atomic<std::uint16_t> nBoundPort{0};
    std::thread worker;
    std::atomic<bool> bStop{false};

    // Shared with the callers' threads.
    mutable std::mutex mutex;
    std::condition_variable requestArrived;
    std::vector<SSimulatedInstrument> listInstruments;
    SSimulatorOptions options; // switches change under the lock; ports and fnLog are fixed
    std::vector<SSimulatorRequest> listRequests;

    // Worker only: answers waiting for their time, in the order they were decided.
    std::multimap<std::chrono::steady_clock::time_point, SOutgoing> mapDue;
};

CInstrumentSimulator::CInstrumentSimulator(std::vector<SSimulatedInstrument> instruments,
                                           SSimulatorOptions options)
    : m_pState(std::make_unique<SState>(std::move(instruments), std::move(options))) {}

CInstrumentSimulator::~CInstrumentSimulator() {
    Stop();
}

bool CInstrumentSimulator::Start() {
    SState& s = *m_pState;
    if (s.nSocket >= 0) {
        errno = EALREADY;
        return false;
    }
    auto fail = [&s]() {
        const int nError = errno;
        for (int* pFd : {&s.nSocket, &s.anWakePipe[0], &s.anWakePipe[1]}) {
            if (*pFd >= 0) {
                ::close(*pFd);
                *pFd = -1;
            }
        }
        errno = nError;
        return false;
    };

    s.nSocket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s.nSocket < 0) {
        return fail();
    }
    const int nOn = 1;
    if (::setsockopt(s.nSocket, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof nOn) != 0 ||
        ::setsockopt(s.nSocket, SOL_SOCKET, SO_BROADCAST, &nOn, sizeof nOn) != 0 ||
        ::setsockopt(s.nSocket, IPPROTO_IP, IP_PKTINFO, &nOn, sizeof nOn) != 0) {
        return fail();
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(s.options.nPort);
    address.sin_addr.s_addr = htonl(s.options.dwBindAddress);
    if (::bind(s.nSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        return fail();
    }
    socklen_t nAddressLength = sizeof address;
    if (::getsockname(s.nSocket, reinterpret_cast<sockaddr*>(&address), &nAddressLength) != 0) {
        return fail();
    }
    s.nBoundPort = ntohs(address.sin_port);
    if (::pipe2(s.anWakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return fail();
    }
    s.bStop = false;
    try {
        s.worker = std::thread([&s] { s.Run(); });
    } catch (const std::system_error& error) {
        errno = error.code().value();
        return fail();
    }
    return true;
}

void CInstrumentSimulator::Stop() {
    SState& s = *m_pState;
    if (s.worker.joinable()) {
        s.bStop = true;
        const char c = 0;
        [[maybe_unused]] const auto nWritten = ::write(s.anWakePipe[1], &c, 1);
        s.worker.join();
    }
    for (int* pFd : {&s.nSocket, &s.anWakePipe[0], &s.anWakePipe[1]}) {
        if (*pFd >= 0) {
            ::close(*pFd);
            *pFd = -1;
        }
    }
    s.mapDue.clear();
}

std::uint16_t CInstrumentSimulator::Port() const {
    return m_pState->nBoundPort;
}

std::vector<SSimulatedInstrument> CInstrumentSimulator::Instruments() const {
    std::lock_guard lock(m_pState->mutex);
    return m_pState->listInstruments;
}

void CInstrumentSimulator::SetInstrument(std::size_t nIndex,
                                         const SSimulatedInstrument& instrument) {
    std::lock_guard lock(m_pState->mutex);
    if (nIndex < m_pState->listInstruments.size()) {
        m_pState->listInstruments[nIndex] = instrument;
    }
}

void CInstrumentSimulator::AddInstrument(const SSimulatedInstrument& instrument) {
    std::lock_guard lock(m_pState->mutex);
    m_pState->listInstruments.push_back(instrument);
}

void CInstrumentSimulator::RemoveInstrument(std::size_t nIndex) {
    std::lock_guard lock(m_pState->mutex);
    auto& list = m_pState->listInstruments;
    if (nIndex < list.size()) {
        list.erase(list.begin() + static_cast<std::ptrdiff_t>(nIndex));
    }
}

void CInstrumentSimulator::SetMute(bool bMute) {
    std::lock_guard lock(m_pState->mutex);
    m_pState->options.bMute = bMute;
}

void CInstrumentSimulator::SetMuteCodes(std::set<std::uint8_t> setCodes) {
    std::lock_guard lock(m_pState->mutex);
    m_pState->options.setMuteCodes = std::move(setCodes);
}

void CInstrumentSimulator::SetDelay(std::chrono::milliseconds delay) {
    std::lock_guard lock(m_pState->mutex);
    m_pState->options.delay = delay;
}

void CInstrumentSimulator::SetAnswerTwice(bool bAnswerTwice) {
    std::lock_guard lock(m_pState->mutex);
    m_pState->options.bAnswerTwice = bAnswerTwice;
}

void CInstrumentSimulator::SetMalformed(bool bMalformed) {
    std::lock_guard lock(m_pState->mutex);
    m_pState->options.bMalformed = bMalformed;
}

std::vector<SSimulatorRequest> CInstrumentSimulator::Requests() const {
    std::lock_guard lock(m_pState->mutex);
    return m_pState->listRequests;
}

std::size_t CInstrumentSimulator::CountRequests(std::uint8_t nCode) const {
    std::lock_guard lock(m_pState->mutex);
    return static_cast<std::size_t>(
        std::count_if(m_pState->listRequests.begin(), m_pState->listRequests.end(),
                      [nCode](const SSimulatorRequest& r) { return r.nCode == nCode; }));
}

void CInstrumentSimulator::ClearRequests() {
    std::lock_guard lock(m_pState->mutex);
    m_pState->listRequests.clear();
}

bool CInstrumentSimulator::WaitForRequests(std::uint8_t nCode, std::size_t nCount,
                                           std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_pState->mutex);
    return m_pState->requestArrived.wait_for(lock, timeout, [&] {
        return static_cast<std::size_t>(std::count_if(
                   m_pState->listRequests.begin(), m_pState->listRequests.end(),
                   [nCode](const SSimulatorRequest& r) { return r.nCode == nCode; })) >= nCount;
    });
}

std::vector<SSimulatorAnswer> CInstrumentSimulator::Respond(std::span<const std::uint8_t> datagram,
                                                            std::uint32_t dwSender,
                                                            std::uint32_t dwReceivedOn) {
    SState::SDecision decision =
        m_pState->Decide(datagram.data(), datagram.size(), false, dwSender, 0, dwReceivedOn, true);
    std::vector<SSimulatorAnswer> listAnswers;
    for (SState::SOutgoing& answer : decision.listAnswers) {
        listAnswers.push_back(std::move(answer));
    }
    return listAnswers;
}

const char* CInstrumentSimulator::PolicyText() {
    return "How the simulated instruments answer:\n"
           "  A request sent to an instrument's own address is answered by that instrument\n"
           "  alone; one sent to any other address (a broadcast) by every instrument.\n"
           "  Replies go from the instrument's address to the sender's address at the client\n"
           "  port; their header names the request's header source as destination and the\n"
           "  instrument as source. The owner is the client whose host name and header source\n"
           "  address match those the instrument holds while claimed.\n"
           "  discovery (1)  a discovery reply (code 2) describing the instrument.\n"
           "  claim (0)      status 0 when the instrument is not in use (in-use is not 1) and\n"
           "                 not claimed, or is claimed by the same client: it takes the\n"
           "                 requested name and the client becomes its owner; else status 1.\n"
           "  release (3)    by the owner: status 0 and the claim is dropped; anyone else:\n"
           "                 status 5 when in use (in-use 1), else 6; nothing changes.\n"
           "  rename (6)     not in use: status 0, the instrument takes the name and the\n"
           "                 client becomes its owner; in use: status 1.\n"
           "  verify (5)     a verify reply, status 0 for the owner, else 1, with the\n"
           "                 description.\n"
           "  repair (4)     only an instrument whose name equals the requested name answers:\n"
           "                 status 0 and its address; the others stay silent.\n"
           "  Malformed datagrams (bad magic, short, a length that does not fit the code) and\n"
           "  replies are logged and ignored. Muted instruments, or requests of muted codes,\n"
           "  are recorded but neither answered nor acted upon.\n";
}

// ---- Worker ---------------------------------------------------------------------------------

// One answer as sendmsg takes it: to the requester at the client port, from the instrument's
// own address.
struct CInstrumentSimulator::SState::SWireMessage {
    SWireMessage(const SOutgoing& outgoing, std::uint16_t nClientPort)
        : iov{const_cast<std::uint8_t*>(outgoing.datagram.data()), outgoing.datagram.size()} {
        destination.sin_family = AF_INET;
        destination.sin_port = htons(nClientPort);
        destination.sin_addr.s_addr = htonl(outgoing.dwTo);
        message.msg_name = &destination;
        message.msg_namelen = sizeof destination;
        message.msg_iov = &iov;
        message.msg_iovlen = 1;
        message.msg_control = abControl;
        message.msg_controllen = sizeof abControl;
        cmsghdr* pHeader = CMSG_FIRSTHDR(&message);
        pHeader->cmsg_level = IPPROTO_IP;
        pHeader->cmsg_type = IP_PKTINFO;
        pHeader->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_spec_dst.s_addr = htonl(outgoing.dwFrom);
        std::memcpy(CMSG_DATA(pHeader), &info, sizeof info);
    }
    // The message points into the object itself.
    SWireMessage(const SWireMessage&) = delete;
    SWireMessage& operator=(const SWireMessage&) = delete;

    sockaddr_in destination{};
    iovec iov;
    alignas(cmsghdr) char abControl[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr message{};
};

std::string CInstrumentSimulator::SState::OutLine(const SOutgoing& outgoing) const {
    return outgoing.strWhat + " from " + DottedAddress(outgoing.dwFrom) + " to " +
           DottedAddress(outgoing.dwTo) + ":" + std::to_string(options.nClientPort) + " length " +
           std::to_string(outgoing.datagram.size());
}

void CInstrumentSimulator::SState::Run() {
    while (!bStop) {
        auto wait = IDLE_POLL;
        if (!mapDue.empty()) {
            const auto untilDue = std::chrono::ceil<std::chrono::milliseconds>(
                mapDue.begin()->first - std::chrono::steady_clock::now());
            wait = std::clamp(untilDue, std::chrono::milliseconds(0), IDLE_POLL);
        }
        pollfd afd[2] = {{nSocket, POLLIN, 0}, {anWakePipe[0], POLLIN, 0}};
        const int nReady = ::poll(afd, 2, static_cast<int>(wait.count()));
        if (bStop) {
            break;
        }
        if (nReady > 0 && (afd[0].revents & POLLIN) != 0) {
            ReceiveAll();
        }
        SendDue();
    }
}

void CInstrumentSimulator::SState::ReceiveAll() {
    for (;;) {
        std::uint8_t abBuffer[RECEIVE_ROOM];
        sockaddr_in sender{};
        iovec iov{abBuffer, sizeof abBuffer};
        alignas(cmsghdr) char abControl[CMSG_SPACE(sizeof(in_pktinfo))];
        msghdr message{};
        message.msg_name = &sender;
        message.msg_namelen = sizeof sender;
        message.msg_iov = &iov;
        message.msg_iovlen = 1;
        message.msg_control = abControl;
        message.msg_controllen = sizeof abControl;
        const ssize_t nReceived = ::recvmsg(nSocket, &message, MSG_DONTWAIT | MSG_TRUNC);
        if (nReceived < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                Log(std::string("error receiving: ") + std::strerror(errno));
            }
            return;
        }
        std::uint32_t dwReceivedOn = 0;
        bool bHaveReceivedOn = false;
        for (cmsghdr* pHeader = CMSG_FIRSTHDR(&message); pHeader != nullptr;
             pHeader = CMSG_NXTHDR(&message, pHeader)) {
            if (pHeader->cmsg_level == IPPROTO_IP && pHeader->cmsg_type == IP_PKTINFO) {
                in_pktinfo info;
                std::memcpy(&info, CMSG_DATA(pHeader), sizeof info);
                dwReceivedOn = ntohl(info.ipi_addr.s_addr);
                bHaveReceivedOn = true;
            }
        }
        const bool bTruncated = static_cast<std::size_t>(nReceived) > sizeof abBuffer;
        Handle(abBuffer, std::min(static_cast<std::size_t>(nReceived), sizeof abBuffer), bTruncated,
               ntohl(sender.sin_addr.s_addr), ntohs(sender.sin_port), dwReceivedOn,
               bHaveReceivedOn);
    }
}

void CInstrumentSimulator::SState::Handle(const std::uint8_t* pbBytes, std::size_t nLength,
                                          bool bTruncated, std::uint32_t dwSender,
                                          std::uint16_t nSenderPort, std::uint32_t dwReceivedOn,
                                          bool bHaveReceivedOn) {
    SDecision decision =
        Decide(pbBytes, nLength, bTruncated, dwSender, nSenderPort, dwReceivedOn, bHaveReceivedOn);
    const auto due = std::chrono::steady_clock::now() + decision.delay;
    for (SOutgoing& answer : decision.listAnswers) {
        if (decision.bMalformed) {
            SOutgoing malformed = answer;
            malformed.datagram = MalformedDatagram(
                ReadDatagramHeader(answer.datagram.data()).dwDestination, answer.dwFrom);
            malformed.strWhat = "malformed";
            mapDue.emplace(due, std::move(malformed));
        }
        if (decision.bAnswerTwice) {
            mapDue.emplace(due, answer);
        }
        mapDue.emplace(due, std::move(answer));
    }
    if (decision.delay.count() <= 0) {
        SendDue();
    }
}

CInstrumentSimulator::SState::SDecision CInstrumentSimulator::SState::Decide(
    const std::uint8_t* pbBytes, std::size_t nLength, bool bTruncated, std::uint32_t dwSender,
    std::uint16_t nSenderPort, std::uint32_t dwReceivedOn, bool bHaveReceivedOn) {
    SDecision decision;
    const std::string strFrom = DottedAddress(dwSender) + ":" + std::to_string(nSenderPort);
    const std::span<const std::uint8_t> bytes(pbBytes, nLength);
    const auto view = bTruncated ? std::nullopt : ParseDatagram(bytes);

    auto ignore = [&](const char* pszWhy, const std::string& strTo) {
        Log("in  ignored (" + std::string(pszWhy) + ") from " + strFrom + " to " + strTo +
            " length " + std::to_string(nLength) + (bTruncated ? "+" : ""));
    };
    if (!view) {
        const char* pszWhy = bTruncated                 ? "too long"
                             : !HasDatagramMagic(bytes) ? "bad magic"
                                                        : "length does not match its header";
        ignore(pszWhy, bHaveReceivedOn ? DottedAddress(dwReceivedOn) : "?");
        return decision;
    }
    if (!bHaveReceivedOn) {
        dwReceivedOn = view->header.dwDestination; // no packet information: trust the header
    }
    const std::string strTo = DottedAddress(dwReceivedOn);

    SSimulatorRequest request;
    request.dwHeaderDestination = view->header.dwDestination;
    request.dwHeaderSource = view->header.dwSource;
    request.dwReceivedOn = dwReceivedOn;
    request.dwSenderAddress = dwSender;
    request.received = std::chrono::steady_clock::now();
    if (view->payload.size() == DISCOVERY_REQUEST_SIZE &&
        view->payload[0] == MSG_DISCOVERY_REQUEST) {
        request.nCode = MSG_DISCOVERY_REQUEST;
    } else if (const auto named = ParseNamedRequest(view->payload)) {
        request.nCode = named->nCode;
        request.strInstrumentName = named->strInstrumentName;
        request.strClientHostName = named->strClientHostName;
    } else {
        ignore(view->payload.empty() ? "no code" : "not a request of this length", strTo);
        return decision;
    }

    std::string strLine = "in  " + std::string(CodeName(request.nCode)) + " (" +
                          std::to_string(request.nCode) + ") from " + strFrom + " to " + strTo +
                          " length " + std::to_string(nLength);
    if (request.nCode != MSG_DISCOVERY_REQUEST) {
        strLine += " name \"" + request.strInstrumentName + "\" client \"" +
                   request.strClientHostName + "\"";
    }

    bool bMuted = false;
    {
        std::lock_guard lock(mutex);
        listRequests.push_back(request);
        requestArrived.notify_all();
        decision.delay = options.delay;
        decision.bAnswerTwice = options.bAnswerTwice;
        decision.bMalformed = options.bMalformed;
        bMuted = options.bMute || options.setMuteCodes.count(request.nCode) != 0;
        const bool bDirected =
            std::any_of(listInstruments.begin(), listInstruments.end(),
                        [&](const SSimulatedInstrument& i) { return i.dwAddress == dwReceivedOn; });
        for (SSimulatedInstrument& instrument : listInstruments) {
            if (bDirected && instrument.dwAddress != dwReceivedOn) {
                continue;
            }
            if (bMuted || instrument.bMute) {
                continue;
            }
            if (auto payload = Answer(instrument, request)) {
                SOutgoing outgoing;
                outgoing.datagram.resize(MAX_DATAGRAM_SIZE);
                outgoing.datagram.resize(FrameDatagram(request.dwHeaderSource, instrument.dwAddress,
                                                       *payload, outgoing.datagram.data()));
                outgoing.dwFrom = instrument.dwAddress;
                outgoing.dwTo = dwSender;
                outgoing.strWhat = std::string(CodeName((*payload)[0])) + " (" +
                                   std::to_string((*payload)[0]) + ")";
                decision.listAnswers.push_back(std::move(outgoing));
            }
        }
    }
    // Logged once decided, so that whoever reads the log sees the switches this request met.
    if (bMuted) {
        strLine += " (muted)";
    }
    Log(strLine);

    return decision;
}

std::optional<std::vector<std::uint8_t>>
CInstrumentSimulator::SState::Answer(SSimulatedInstrument& instrument,
                                     const SSimulatorRequest& request) {
    auto bytes = [](const auto& payload) {
        return std::vector<std::uint8_t>(payload.begin(), payload.end());
    };
    const bool bOwner = IsOwner(instrument, request.strClientHostName, request.dwHeaderSource);
    switch (request.nCode) {
    case MSG_DISCOVERY_REQUEST:
        return bytes(BuildDiscoveryReply(DescribeInstrument(instrument)));
    case MSG_CLAIM: {
        const bool bFree = instrument.bInUse != 1 && instrument.bClaimed == 0;
        if (!bFree && !bOwner) {
            return bytes(BuildStatusReply(MSG_CLAIM, 1));
        }
        instrument.strName = FieldText(request.strInstrumentName);
        instrument.bClaimed = 1;
        instrument.strOwnerHostName = FieldText(request.strClientHostName);
        instrument.dwOwnerAddress = request.dwHeaderSource;
        return bytes(BuildStatusReply(MSG_CLAIM, STATUS_OK));
    }
    case MSG_RELEASE:
        if (bOwner) {
            instrument.bClaimed = 0;
            instrument.strOwnerHostName.clear();
            instrument.dwOwnerAddress = 0;
            return bytes(BuildStatusReply(MSG_RELEASE, STATUS_OK));
        }
        return bytes(BuildStatusReply(MSG_RELEASE, instrument.bInUse == 1
                                                       ? RELEASE_STATUS_IN_USE
                                                       : RELEASE_STATUS_OVERRIDABLE));
    case MSG_RENAME:
        if (instrument.bInUse == 1) {
            return bytes(BuildStatusReply(MSG_RENAME, 1));
        }
        instrument.strName = FieldText(request.strInstrumentName);
        instrument.bClaimed = 1;
        instrument.strOwnerHostName = FieldText(request.strClientHostName);
        instrument.dwOwnerAddress = request.dwHeaderSource;
        return bytes(BuildStatusReply(MSG_RENAME, STATUS_OK));
    case MSG_VERIFY:
        return bytes(BuildVerifyReply(bOwner ? STATUS_OK : 1, DescribeInstrument(instrument)));
    case MSG_REPAIR:
        if (instrument.strName != request.strInstrumentName) {
            return std::nullopt;
        }
        return bytes(BuildRepairReply(STATUS_OK, instrument.dwAddress));
    default:
        return std::nullopt;
    }
}

void CInstrumentSimulator::SState::SendDue() {
    const auto now = std::chrono::steady_clock::now();
    std::vector<SOutgoing> listDue;
    while (!mapDue.empty() && mapDue.begin()->first <= now) {
        listDue.push_back(std::move(mapDue.begin()->second));
        mapDue.erase(mapDue.begin());
    }
    const auto start = std::chrono::steady_clock::now();
    if (options.bBurst) {
        TransmitBurst(listDue);
    } else {
        for (const SOutgoing& outgoing : listDue) {
            Transmit(outgoing);
        }
    }
    if (listDue.size() > 1) {
        // The rate a client meets: the answers of one request, first to last.
        const double dMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        char szLine[160];
        std::snprintf(szLine, sizeof szLine, "burst of %zu answers, %s, in %.1f ms (%.0f/s)",
                      listDue.size(), options.bBurst ? "sendmmsg" : "one sendmsg each", dMs,
                      dMs > 0 ? listDue.size() * 1000.0 / dMs : 0.0);
        Log(szLine);
    }
}

void CInstrumentSimulator::SState::Transmit(const SOutgoing& outgoing) {
    SWireMessage wire(outgoing, options.nClientPort);
    if (::sendmsg(nSocket, &wire.message, MSG_NOSIGNAL) < 0) {
        Log("out failed (" + std::string(std::strerror(errno)) + "): " + OutLine(outgoing));
        return;
    }
    Log("out " + OutLine(outgoing));
}

void CInstrumentSimulator::SState::TransmitBurst(const std::vector<SOutgoing>& listOutgoing) {
    std::deque<SWireMessage> listWire; // never moved: each message points into itself
    for (const SOutgoing& outgoing : listOutgoing) {
        listWire.emplace_back(outgoing, options.nClientPort);
    }
    std::vector<mmsghdr> listMessages(listWire.size());
    for (std::size_t i = 0; i < listWire.size(); ++i) {
        listMessages[i].msg_hdr = listWire[i].message;
    }
    std::size_t nNext = 0;
    while (nNext < listMessages.size() && !bStop) {
        const auto nCount =
            static_cast<unsigned>(std::min<std::size_t>(listMessages.size() - nNext, BURST_BATCH));
        const int nSent = ::sendmmsg(nSocket, &listMessages[nNext], nCount, MSG_NOSIGNAL);
        if (nSent > 0) {
            nNext += static_cast<std::size_t>(nSent);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS) {
            pollfd room{nSocket, POLLOUT, 0};
            ::poll(&room, 1, static_cast<int>(IDLE_POLL.count()));
        } else if (errno != EINTR) {
            Log("out failed (" + std::string(std::strerror(errno)) +
                "): " + OutLine(listOutgoing[nNext]));
            ++nNext;
        }
    }
}
