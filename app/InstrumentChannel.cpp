#include "app/InstrumentChannel.h"

#include "app/Logging.h"
#include "link/UDPInstrumentInterface.h"
#include "platform/AnsiCodePage.h"

#include <cstring>
#include <vector>

static_assert(CDatagramRouter::RECEIVE_BATCH_BYTES == CUDPInstrumentInterface::BUFFER_SIZE,
              "one routing batch is what the link's receive buffer holds");

namespace {

QString Dotted(std::uint32_t dwAddress) {
    return QString::fromStdString(DottedAddress(dwAddress));
}

// One line per routing decision on "tavik.app", as QT_LOGGING_RULES turns it on.
void LogRouteDecision(const SRouteDecision& decision) {
    const std::string_view strReason = DescribeRouteResult(decision.nResult);
    const QString strWhy =
        QString::fromUtf8(strReason.data(), static_cast<qsizetype>(strReason.size()));
    const DatagramHeader& header = decision.header;
    switch (decision.nResult) {
    case ERouteResult::NotADatagram:
        qCDebug(AppCategory).noquote()
            << "datagram dropped:" << strWhy << "length" << decision.dwLength;
        break;
    case ERouteResult::ToBroadcast:
        qCDebug(AppCategory).noquote() << "datagram dropped:" << strWhy << "from"
                                       << Dotted(header.dwSource) << "length" << decision.dwLength;
        break;
    case ERouteResult::OwnDatagram:
        qCDebug(AppCategory).noquote()
            << "datagram dropped:" << strWhy << "to" << Dotted(header.dwDestination) << "length"
            << decision.dwLength;
        break;
    case ERouteResult::NoPayload:
        qCDebug(AppCategory).noquote()
            << "datagram dropped:" << strWhy << "from" << Dotted(header.dwSource);
        break;
    case ERouteResult::NoReceiver:
    case ERouteResult::Delivered:
        qCDebug(AppCategory).noquote()
            << "datagram code" << int(decision.nCode) << "from" << Dotted(header.dwSource) << "to"
            << Dotted(header.dwDestination) << "length" << decision.dwLength << "->"
            << (decision.nResult == ERouteResult::Delivered
                    ? QString::fromStdString(decision.strReceiver)
                    : strWhy);
        break;
    }
}

} // namespace

CInstrumentChannel::CInstrumentChannel(CUDPInstrumentInterface& link)
    : m_link(link), m_router(link.m_dwBroadcastAddress, link.m_dwLocalAddress) {}

std::uint32_t CInstrumentChannel::LocalAddress() const {
    return m_link.m_dwLocalAddress;
}

std::uint32_t CInstrumentChannel::BroadcastAddress() const {
    return m_link.m_dwBroadcastAddress;
}

std::u16string CInstrumentChannel::LocalHostName() const {
    const char* pszHostName = m_link.m_szLocalHostName;
    return AnsiToWide(
        std::string_view(pszHostName, strnlen(pszHostName, sizeof(m_link.m_szLocalHostName))));
}

void CInstrumentChannel::SetNotifyTarget(CDatagramNotifyTarget* pTarget) {
    m_link.SetNotifyTarget(pTarget);
}

int CInstrumentChannel::Send(const SRequest& request) {
    RouteWaiting();
    m_link.m_dwDestinationAddress = request.dwDestination;
    m_link.m_dwSourceAddress = m_link.m_dwLocalAddress;
    const int nStatus =
        m_link.Send(request.payload.data(), static_cast<std::uint32_t>(request.payload.size()));
    qCDebug(LinkCategory).noquote()
        << "request code" << (request.payload.empty() ? -1 : int(request.payload[0])) << "to"
        << Dotted(request.dwDestination) << "status" << nStatus;
    return nStatus;
}

bool CInstrumentChannel::RouteWaiting() {
    const std::vector<SRouteDecision> listDecisions =
        m_router.RouteWaiting([this](std::uint32_t* pdwLength, std::uint8_t* pbBuffer) {
            return m_link.TakeDatagram(pdwLength, pbBuffer);
        });
    for (const SRouteDecision& decision : listDecisions) {
        LogRouteDecision(decision);
    }
    return !listDecisions.empty();
}
