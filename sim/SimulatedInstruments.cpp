#include "sim/SimulatedInstruments.h"

#include <algorithm>

namespace {

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

// A granted claim or rename: the instrument takes the requested name and the requester becomes
// its owner.
void TakeNameAndClaim(SSimulatedInstrument& instrument, const SSimulatorRequest& request) {
    instrument.strName = FieldText(request.strInstrumentName);
    instrument.bClaimed = 1;
    instrument.strOwnerHostName = FieldText(request.strClientHostName);
    instrument.dwOwnerAddress = request.dwHeaderSource;
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

CSimulatedInstruments::CSimulatedInstruments(std::vector<SSimulatedInstrument> instruments,
                                             SSimulatorOptions options)
    : m_listInstruments(std::move(instruments)), m_options(std::move(options)) {}

std::vector<SSimulatedInstrument> CSimulatedInstruments::Instruments() const {
    std::lock_guard lock(m_mutex);
    return m_listInstruments;
}

void CSimulatedInstruments::SetInstrument(std::size_t nIndex,
                                          const SSimulatedInstrument& instrument) {
    std::lock_guard lock(m_mutex);
    if (nIndex < m_listInstruments.size()) {
        m_listInstruments[nIndex] = instrument;
    }
}

void CSimulatedInstruments::AddInstrument(const SSimulatedInstrument& instrument) {
    std::lock_guard lock(m_mutex);
    m_listInstruments.push_back(instrument);
}

void CSimulatedInstruments::RemoveInstrument(std::size_t nIndex) {
    std::lock_guard lock(m_mutex);
    auto& list = m_listInstruments;
    if (nIndex < list.size()) {
        list.erase(list.begin() + static_cast<std::ptrdiff_t>(nIndex));
    }
}

void CSimulatedInstruments::SetMute(bool bMute) {
    std::lock_guard lock(m_mutex);
    m_options.bMute = bMute;
}

void CSimulatedInstruments::SetMuteCodes(std::set<std::uint8_t> setCodes) {
    std::lock_guard lock(m_mutex);
    m_options.setMuteCodes = std::move(setCodes);
}

void CSimulatedInstruments::SetDelay(std::chrono::milliseconds delay) {
    std::lock_guard lock(m_mutex);
    m_options.delay = delay;
}

void CSimulatedInstruments::SetAnswerTwice(bool bAnswerTwice) {
    std::lock_guard lock(m_mutex);
    m_options.bAnswerTwice = bAnswerTwice;
}

void CSimulatedInstruments::SetMalformed(bool bMalformed) {
    std::lock_guard lock(m_mutex);
    m_options.bMalformed = bMalformed;
}

std::vector<SSimulatorRequest> CSimulatedInstruments::Requests() const {
    std::lock_guard lock(m_mutex);
    return m_listRequests;
}

std::size_t CSimulatedInstruments::CountRequests(std::uint8_t nCode) const {
    std::lock_guard lock(m_mutex);
    return static_cast<std::size_t>(
        std::count_if(m_listRequests.begin(), m_listRequests.end(),
                      [nCode](const SSimulatorRequest& r) { return r.nCode == nCode; }));
}

void CSimulatedInstruments::ClearRequests() {
    std::lock_guard lock(m_mutex);
    m_listRequests.clear();
}

bool CSimulatedInstruments::WaitForRequests(std::uint8_t nCode, std::size_t nCount,
                                            std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_requestArrived.wait_for(lock, timeout, [&] {
        return static_cast<std::size_t>(std::count_if(
                   m_listRequests.begin(), m_listRequests.end(),
                   [nCode](const SSimulatorRequest& r) { return r.nCode == nCode; })) >= nCount;
    });
}

SSimulatorDecision CSimulatedInstruments::Decide(std::span<const std::uint8_t> bytes,
                                                 bool bTruncated, std::uint32_t dwSender,
                                                 std::uint16_t nSenderPort,
                                                 std::optional<std::uint32_t> dwReceivedOn) {
    SSimulatorDecision decision;
    const std::string strFrom = DottedAddress(dwSender) + ":" + std::to_string(nSenderPort);
    const auto view = bTruncated ? std::nullopt : ParseDatagram(bytes);

    auto ignore = [&](const char* pszWhy, const std::string& strTo) {
        Log("in  ignored (" + std::string(pszWhy) + ") from " + strFrom + " to " + strTo +
            " length " + std::to_string(bytes.size()) + (bTruncated ? "+" : ""));
    };
    if (!view) {
        const char* pszWhy = bTruncated                 ? "too long"
                             : !HasDatagramMagic(bytes) ? "bad magic"
                                                        : "length does not match its header";
        ignore(pszWhy, dwReceivedOn ? DottedAddress(*dwReceivedOn) : "?");
        return decision;
    }
    // No packet information: trust the header.
    const std::uint32_t dwAddressedTo = dwReceivedOn.value_or(view->header.dwDestination);
    const std::string strTo = DottedAddress(dwAddressedTo);

    SSimulatorRequest request;
    request.dwHeaderDestination = view->header.dwDestination;
    request.dwHeaderSource = view->header.dwSource;
    request.dwReceivedOn = dwAddressedTo;
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
                          " length " + std::to_string(bytes.size());
    if (request.nCode != MSG_DISCOVERY_REQUEST) {
        strLine += " name \"" + request.strInstrumentName + "\" client \"" +
                   request.strClientHostName + "\"";
    }

    bool bMuted = false;
    {
        std::lock_guard lock(m_mutex);
        m_listRequests.push_back(request);
        m_requestArrived.notify_all();
        decision.delay = m_options.delay;
        decision.bAnswerTwice = m_options.bAnswerTwice;
        decision.bMalformed = m_options.bMalformed;
        bMuted = m_options.bMute || m_options.setMuteCodes.count(request.nCode) != 0;
        const bool bDirected = std::any_of(
            m_listInstruments.begin(), m_listInstruments.end(),
            [&](const SSimulatedInstrument& i) { return i.dwAddress == dwAddressedTo; });
        for (SSimulatedInstrument& instrument : m_listInstruments) {
            if (bDirected && instrument.dwAddress != dwAddressedTo) {
                continue;
            }
            if (bMuted || instrument.bMute) {
                continue;
            }
            if (auto payload = Answer(instrument, request)) {
                SSimulatorOutgoing outgoing;
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

std::vector<SSimulatorAnswer> CSimulatedInstruments::Respond(std::span<const std::uint8_t> datagram,
                                                             std::uint32_t dwSender,
                                                             std::uint32_t dwReceivedOn) {
    SSimulatorDecision decision = Decide(datagram, false, dwSender, 0, dwReceivedOn);
    std::vector<SSimulatorAnswer> listAnswers;
    for (SSimulatorOutgoing& answer : decision.listAnswers) {
        listAnswers.push_back(std::move(answer));
    }
    return listAnswers;
}

const char* CSimulatedInstruments::PolicyText() {
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

void CSimulatedInstruments::Log(const std::string& strLine) const {
    if (m_options.fnLog) {
        m_options.fnLog(strLine);
    }
}

std::optional<std::vector<std::uint8_t>>
CSimulatedInstruments::Answer(SSimulatedInstrument& instrument, const SSimulatorRequest& request) {
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
        TakeNameAndClaim(instrument, request);
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
        TakeNameAndClaim(instrument, request);
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
