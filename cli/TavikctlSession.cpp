#include "cli/TavikctlSession.h"

#include "app/Logging.h"
#include "app/TerminationSignals.h"
#include "cli/ExitStatus.h"
#include "link/UDPInstrumentInterface.h"
#include "platform/AnsiCodePage.h"
#include "platform/NetworkAdapters.h"
#include "protocol/InstrumentName.h"
#include "protocol/OutcomeTexts.h"
#include "protocol/ReleaseCheck.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QMetaObject>
#include <QStringList>
#include <cerrno>
#include <cstring>

namespace {

const QString RESULT_DONE = QStringLiteral("done");
const QString RESULT_REFUSED = QStringLiteral("refused");
const QString RESULT_NO_ANSWER = QStringLiteral("no_answer");

const QString TEXT_NOT_CONFIGURED = QStringLiteral("Not configured");
const QString TEXT_RELEASED = QStringLiteral("The instrument has been released.");
const QString TEXT_RELEASE_UNANSWERED =
    QStringLiteral("The instrument did not answer the release request; the configuration has "
                   "been cleared all the same.");
const QString TEXT_REPAIR_REFUSED =
    QStringLiteral("The instrument refused to repair the connection.");

// How often the wait for the link's binding looks for a termination signal.
constexpr std::uint32_t SETUP_LOOK_MS = 50;

QString FromWide(std::u16string_view strText) {
    return QString::fromUtf16(strText.data(), static_cast<qsizetype>(strText.size()));
}

QString AdapterList(const std::vector<SNetworkAdapter>& listAdapters, bool bQualifyingOnly) {
    QStringList listTexts;
    for (const SNetworkAdapter& adapter : listAdapters) {
        if (!bQualifyingOnly || CAdapterChoice::Qualifies(adapter)) {
            listTexts << QStringLiteral("%1 (%2)").arg(
                CAdapterChoice::InterfaceName(adapter),
                QString::fromStdString(adapter.strIpAddress));
        }
    }
    return listTexts.isEmpty() ? QStringLiteral("none") : listTexts.join(QStringLiteral(", "));
}

bool IsConnectionTimer(unsigned nTimerId) {
    return nTimerId == CConnectionExchange::ID_RELEASE_RESPONSE_TIMER_EVENT ||
           nTimerId == CConnectionExchange::ID_REPAIR_RESPONSE_TIMER_EVENT ||
           nTimerId == CConnectionExchange::ID_VERIFY_RESPONSE_TIMER_EVENT;
}

bool IsNamingTimer(unsigned nTimerId) {
    return nTimerId == CNamingExchange::ID_CLAIM_RESPONSE_TIMER_EVENT ||
           nTimerId == CNamingExchange::ID_RENAME_RESPONSE_TIMER_EVENT;
}

} // namespace

CTavikctlSession::CTavikctlSession(const SCliOptions& options, const CCliOutput& output)
    : m_options(options), m_output(output), m_notifyTarget([this] { RouteWaiting(); }),
      m_discoveryReceiver([this] { return m_pDiscovery != nullptr; },
                          [this](const DatagramView& datagram) { OnDiscoveryReply(datagram); }),
      m_connectionReceiver([this] { return m_connection.IsWaitingForReply(); },
                           [this](const DatagramView& datagram) { OnConnectionReply(datagram); }),
      m_namingReceiver([this] { return m_pNaming != nullptr && m_pNaming->IsWaitingForReply(); },
                       [this](const DatagramView& datagram) { OnNamingReply(datagram); }) {}

CTavikctlSession::~CTavikctlSession() {
    StopAllTimers();
    if (m_pLink) {
        m_pLink->SetNotifyTarget(nullptr);
        m_pLink.reset(); // joins the socket thread
    }
}

int CTavikctlSession::Run() {
    OnTerminationSignals([this] { OnTerminationSignal(); });
    if (m_options.nCommand == ECliCommand::Adapters) {
        return ListAdapters();
    }
    CConfigurationStore::Load(m_configuration);
    m_strConfiguredName = m_configuration.strInstrumentName.toStdU16String();
    if (const std::optional<int> nExit = CheckBeforeSending()) {
        return *nExit;
    }
    if (const std::optional<int> nExit = OpenLink()) {
        return *nExit;
    }
    QTimer::singleShot(0, &m_context, [this] { StartCommand(); });
    QCoreApplication::exec();
    return m_nExitStatus;
}

int CTavikctlSession::ListAdapters() {
    const std::optional<std::vector<SNetworkAdapter>> adapters = ListNetworkAdapters();
    const std::vector<SNetworkAdapter> listAdapters =
        adapters.value_or(std::vector<SNetworkAdapter>{});
    const SCliAdapterChoice choice = CAdapterChoice::Choose(adapters, m_options.strAdapter);
    if (choice.nResult == SCliAdapterChoice::NotFound) {
        m_output.Error(QStringLiteral("no adapter '%1'; the adapters are: %2")
                           .arg(m_options.strAdapter, AdapterList(listAdapters, false)));
        return EXIT_USAGE;
    }
    m_output.Json(CCliOutput::AdaptersObject(listAdapters, choice.nIndex));
    m_output.Text(CCliOutput::AdaptersTable(listAdapters, choice.nIndex));
    return EXIT_DONE;
}

std::optional<int> CTavikctlSession::CheckBeforeSending() {
    const ECliCommand nCommand = m_options.nCommand;
    if ((nCommand == ECliCommand::Status || nCommand == ECliCommand::Release ||
         nCommand == ECliCommand::Repair) &&
        m_configuration.strInstrumentName.isEmpty()) {
        if (nCommand == ECliCommand::Status) {
            ReportStatus(EXIT_REFUSED, QStringLiteral("not_configured"), TEXT_NOT_CONFIGURED);
        } else {
            Report(EXIT_REFUSED, RESULT_REFUSED, TEXT_NOT_CONFIGURED,
                   CCliOutput::ConfiguredObject(m_configuration));
        }
        return m_nExitStatus;
    }
    if ((nCommand == ECliCommand::Claim || nCommand == ECliCommand::Rename) &&
        m_options.bNameGiven) {
        const std::u16string strName = m_options.strName.toStdU16String();
        QString strRefusal;
        switch (CheckInstrumentName(strName)) {
        case ENameCheck::Empty:
            // A claim asks for a name only of an unnamed instrument: known after discovery.
            if (nCommand == ECliCommand::Rename) {
                strRefusal = FromWide(TEXT_RENAME_NO_NAME);
            }
            break;
        case ENameCheck::TooLong:
            strRefusal = FromWide(NameTooLongText());
            break;
        case ENameCheck::Reserved:
            strRefusal = FromWide(ReservedNameText(strName));
            break;
        case ENameCheck::Valid:
            break;
        }
        if (!strRefusal.isEmpty()) {
            Report(EXIT_REFUSED, RESULT_REFUSED, strRefusal, {});
            return m_nExitStatus;
        }
    }

    const std::optional<std::vector<SNetworkAdapter>> adapters = ListNetworkAdapters();
    const std::vector<SNetworkAdapter> listAdapters =
        adapters.value_or(std::vector<SNetworkAdapter>{});
    m_adapterChoice = CAdapterChoice::Choose(adapters, m_options.strAdapter);
    if (m_adapterChoice.nResult == SCliAdapterChoice::Several) {
        m_output.Error(QStringLiteral("several network adapters qualify: %1; choose one with "
                                      "--adapter")
                           .arg(AdapterList(listAdapters, true)));
        return EXIT_USAGE;
    }
    if (m_adapterChoice.nResult == SCliAdapterChoice::NotFound) {
        m_output.Error(QStringLiteral("no adapter '%1'; the adapters are: %2")
                           .arg(m_options.strAdapter, AdapterList(listAdapters, false)));
        return EXIT_USAGE;
    }
    return std::nullopt;
}

std::optional<int> CTavikctlSession::OpenLink() {
    // The link's own log lines only when logging is asked for: its warning about a small
    // socket buffer would otherwise stand before every answer of an ordinary user.
    if (!qEnvironmentVariableIsEmpty("QT_LOGGING_RULES")) {
        InstallLinkLog();
    }
    try {
        m_pLink = std::make_unique<CUDPInstrumentInterface>(
            m_adapterChoice.choice.dwLocalIPAddress, m_adapterChoice.choice.dwBroadcastIPAddress);
    } catch (const InterfaceException nException) {
        m_output.Error(QString::fromUtf8(DescribeInterfaceException(nException)));
        return EXIT_NO_LINK;
    } catch (const std::bad_alloc&) {
        m_output.Error(QStringLiteral("there is not enough memory for the link"));
        return EXIT_NO_LINK;
    }
    QElapsedTimer elapsed;
    elapsed.start();
    ELinkSetup nSetup = ELinkSetup::Pending;
    while (nSetup == ELinkSetup::Pending && !HasTerminationSignalArrived() &&
           elapsed.elapsed() < CUDPInstrumentInterface::SETUP_TIMEOUT_MS) {
        nSetup = m_pLink->WaitForSetup(SETUP_LOOK_MS);
    }
    if (HasTerminationSignalArrived()) {
        m_output.Error(QStringLiteral("interrupted"));
        return EXIT_INTERRUPTED;
    }
    if (nSetup != ELinkSetup::Bound) {
        const int nError = m_pLink->GetLastSocketError();
        if (nError == EADDRINUSE) {
            m_output.Error(QStringLiteral("port %1 is in use (is tavik-connection open?)")
                               .arg(INSTRUMENT_PORT));
        } else {
            m_output.Error(QStringLiteral("the link could not be set up on port %1: %2")
                               .arg(INSTRUMENT_PORT)
                               .arg(QString::fromLocal8Bit(nError != 0 ? std::strerror(nError)
                                                                       : "no answer")));
        }
        return EXIT_NO_LINK;
    }
    m_strLocalHostName = AnsiToWide(m_pLink->m_szLocalHostName);
    m_pRouter =
        std::make_unique<CDatagramRouter>(m_pLink->m_dwBroadcastAddress, m_pLink->m_dwLocalAddress);
    m_pRouter->Register(MSG_CLAIM, m_namingReceiver, "claim");
    m_pRouter->Register(MSG_DISCOVERY_REPLY, m_discoveryReceiver, "discovery");
    m_pRouter->Register(MSG_RELEASE, m_connectionReceiver, "connection");
    m_pRouter->Register(MSG_REPAIR, m_connectionReceiver, "connection");
    m_pRouter->Register(MSG_VERIFY, m_connectionReceiver, "connection");
    m_pRouter->Register(MSG_RENAME, m_namingReceiver, "rename");
    m_pLink->SetNotifyTarget(&m_notifyTarget);
    return std::nullopt;
}

void CTavikctlSession::StartCommand() {
    switch (m_options.nCommand) {
    case ECliCommand::Discover:
        m_listDirectAddresses = m_options.listDirectAddresses;
        StartDiscovery();
        break;
    case ECliCommand::Claim:
    case ECliCommand::Rename:
        m_match.emplace(m_options.strInstrument);
        if (m_match->Address()) {
            m_listDirectAddresses.push_back(*m_match->Address());
        }
        StartDiscovery();
        break;
    case ECliCommand::Status:
    case ECliCommand::Release:
        ApplyConnectionStep(m_connection.StartVerification(Target(), EAttemptCount::FromZero));
        break;
    case ECliCommand::Repair:
        ApplyConnectionStep(m_connection.StartRepair(Target(), EAttemptCount::FromZero));
        break;
    case ECliCommand::Adapters:
        Finish(EXIT_DONE);
        break;
    }
}

// ---- Driving --------------------------------------------------------------------------------

void CTavikctlSession::SendRequest(const SRequest& request) {
    // The link forgets what it holds untaken when a request goes out: take it first.
    RouteWaiting();
    if (m_bFinished) {
        return;
    }
    m_pLink->m_dwDestinationAddress = request.dwDestination;
    m_pLink->m_dwSourceAddress = m_pLink->m_dwLocalAddress;
    // As in the windows, a request that did not go out is one that gets no answer.
    m_pLink->Send(request.payload.data(), static_cast<std::uint32_t>(request.payload.size()));
}

void CTavikctlSession::RouteWaiting() {
    if (m_bRouting || !m_pLink || !m_pRouter) {
        return;
    }
    m_bRouting = true;
    for (const SRouteDecision& decision : m_pRouter->RouteWaiting(*m_pLink)) {
        qCDebug(AppCategory).noquote()
            << "datagram of code" << decision.nCode << "from"
            << CCliOutput::Dotted(decision.header.dwSource) << ":"
            << QString::fromUtf8(
                   DescribeRouteResult(decision.nResult).data(),
                   static_cast<qsizetype>(DescribeRouteResult(decision.nResult).size()));
    }
    m_bRouting = false;
}

void CTavikctlSession::StartTimer(unsigned nTimerId, unsigned nPeriodMs) {
    QTimer*& pTimer = m_mapTimers[nTimerId];
    if (pTimer == nullptr) {
        pTimer = new QTimer(&m_context);
        // The design's periods do not allow the 5 % of a coarse timer.
        pTimer->setTimerType(Qt::PreciseTimer);
        QObject::connect(pTimer, &QTimer::timeout, &m_context,
                         [this, nTimerId] { OnTimer(nTimerId); });
    }
    pTimer->start(static_cast<int>(nPeriodMs)); // restarts a running one's period
}

void CTavikctlSession::StopTimer(unsigned nTimerId) {
    const auto it = m_mapTimers.find(nTimerId);
    if (it != m_mapTimers.end()) {
        it->second->stop();
    }
}

void CTavikctlSession::StopAllTimers() {
    for (const auto& [nTimerId, pTimer] : m_mapTimers) {
        pTimer->stop();
    }
}

void CTavikctlSession::OnTimer(unsigned nTimerId) {
    if (m_bFinished) {
        return;
    }
    if (IsConnectionTimer(nTimerId)) {
        StopTimer(nTimerId);
        ApplyConnectionStep(m_connection.OnTimeout(Target()));
    } else if (IsNamingTimer(nTimerId)) {
        StopTimer(nTimerId);
        if (m_pNaming) {
            ApplyNamingStep(m_pNaming->OnTimeout(m_strNamingName));
        }
    } else if (m_pDiscovery) {
        ApplyDiscoveryStep(m_pDiscovery->OnTimer(nTimerId));
    }
}

void CTavikctlSession::Defer(std::function<void()> fnStep) {
    QMetaObject::invokeMethod(
        &m_context,
        [this, fnStep = std::move(fnStep)] {
            if (!m_bFinished) {
                fnStep();
            }
        },
        Qt::QueuedConnection);
}

void CTavikctlSession::Finish(int nExitStatus) {
    if (m_bFinished) {
        return;
    }
    m_bFinished = true;
    m_nExitStatus = nExitStatus;
    StopAllTimers();
    QCoreApplication::exit(nExitStatus);
}

void CTavikctlSession::OnTerminationSignal() {
    if (m_bFinished) {
        return;
    }
    if (m_options.nCommand == ECliCommand::Discover && m_options.bWatch) {
        Finish(EXIT_DONE); // the way a watch ends
        return;
    }
    m_output.Error(QStringLiteral("interrupted"));
    Finish(EXIT_INTERRUPTED);
}

// ---- Discovery ------------------------------------------------------------------------------

void CTavikctlSession::StartDiscovery() {
    m_pDiscovery = std::make_unique<CDiscoveryCycle>(m_pLink->m_dwBroadcastAddress);
    ApplyDiscoveryStep(m_pDiscovery->Open());
}

void CTavikctlSession::ApplyDiscoveryStep(const SDiscoveryStep& step) {
    for (const STimerAction& timer : step.listTimers) {
        if (timer.bStart) {
            StartTimer(timer.nTimerId, timer.nPeriodMs);
        } else {
            StopTimer(timer.nTimerId);
        }
    }
    if (step.request) {
        SendRequest(*step.request);
        // The same request to each address that no broadcast reaches.
        for (const std::uint32_t dwAddress : m_listDirectAddresses) {
            if (m_bFinished || !m_pDiscovery) {
                return;
            }
            SendRequest({dwAddress, step.request->payload});
        }
    }
    if (step.bDisplayedChanged) {
        OnCollectionEnd();
    }
}

void CTavikctlSession::OnDiscoveryReply(const DatagramView& datagram) {
    if (!m_pDiscovery->OnReply(datagram.payload) || !m_match || !m_match->Address() ||
        m_bResolved) {
        return;
    }
    // An address is decided by its instrument's first reply: nothing else can match it. Looked
    // up, not searched for: a flood of replies must not make each one cost the whole list.
    if (const CMolvarInstrument* pInstrument =
            m_pDiscovery->GetCollected().Find(*m_match->Address())) {
        m_bResolved = true;
        const CMolvarInstrument chosen = *pInstrument;
        StopDiscovery();
        Defer([this, chosen] { OnInstrumentChosen(chosen); });
    }
}

void CTavikctlSession::OnCollectionEnd() {
    if (!m_pDiscovery) {
        return;
    }
    ++m_nCollections;
    const CInstrumentList& listDisplayed = m_pDiscovery->GetDisplayed();
    if (m_match) {
        if (!m_bResolved) {
            m_bResolved = true;
            const CInstrumentList list = [&] {
                CInstrumentList copy;
                copy.CopyFrom(listDisplayed);
                return copy;
            }();
            StopDiscovery();
            ResolveFromList(list);
        }
        return;
    }
    if (m_options.bWatch) {
        PrintList(listDisplayed, true);
        return;
    }
    for (const CMolvarInstrument& instrument : listDisplayed) {
        m_listFound.MergeDiscovered(instrument);
    }
    if (m_nCollections >= m_options.nCycles) {
        StopDiscovery();
        PrintList(m_listFound, false);
        Finish(EXIT_DONE);
    }
}

void CTavikctlSession::StopDiscovery() {
    if (m_pDiscovery) {
        ApplyDiscoveryStep(m_pDiscovery->Close());
        m_pDiscovery.reset();
    }
}

void CTavikctlSession::PrintList(const CInstrumentList& list, bool bOneLine) {
    m_output.Json(CCliOutput::ListObject(list), bOneLine);
    m_output.Text(CCliOutput::ListTable(list) + (bOneLine ? QStringLiteral("\n") : QString()));
}

void CTavikctlSession::ResolveFromList(const CInstrumentList& list) {
    const std::vector<const CMolvarInstrument*> listFound = m_match->Find(list);
    if (listFound.empty()) {
        m_output.Error(
            QStringLiteral("no instrument answers as '%1'").arg(m_options.strInstrument));
        Finish(EXIT_NO_INSTRUMENT);
        return;
    }
    if (listFound.size() > 1) {
        m_output.Error(QStringLiteral("'%1' names %2 instruments: %3; give an address")
                           .arg(m_options.strInstrument)
                           .arg(listFound.size())
                           .arg(CCliOutput::OneLine(listFound)));
        Finish(EXIT_USAGE);
        return;
    }
    OnInstrumentChosen(*listFound.front());
}

void CTavikctlSession::OnInstrumentChosen(const CMolvarInstrument& instrument) {
    m_chosen = instrument;
    const QJsonObject object = CCliOutput::InstrumentObject(instrument);
    const bool bClaim = m_options.nCommand == ECliCommand::Claim;
    if (instrument.IsBusy()) {
        Report(EXIT_REFUSED, RESULT_REFUSED,
               FromWide(bClaim ? TEXT_CLAIM_SELECTED_IN_USE : TEXT_RENAME_SELECTED_IN_USE), object);
        return;
    }
    if (bClaim) {
        // A named instrument is claimed under its own name; an unnamed one needs --name.
        const std::u16string strOwnName = instrument.NameText();
        if (!strOwnName.empty()) {
            if (m_options.bNameGiven && m_options.strName.toStdU16String() != strOwnName) {
                m_output.Error(QStringLiteral("the instrument is named '%1' and is claimed under "
                                              "that name; --name is for an unnamed instrument")
                                   .arg(FromWide(strOwnName)));
                Finish(EXIT_USAGE);
                return;
            }
            m_strNamingName = strOwnName;
        } else if (!m_options.bNameGiven || m_options.strName.isEmpty()) {
            Report(EXIT_REFUSED, RESULT_REFUSED, FromWide(TEXT_CLAIM_NO_NAME), object);
            return;
        } else {
            m_strNamingName = m_options.strName.toStdU16String();
        }
    } else {
        m_strNamingName = m_options.strName.toStdU16String();
    }
    m_pNaming =
        std::make_unique<CNamingExchange>(bClaim ? CLAIM_NAMING_EXCHANGE : RENAME_NAMING_EXCHANGE,
                                          instrument.m_dwIPAddress, m_strLocalHostName);
    ApplyNamingStep(m_pNaming->Send(m_strNamingName));
}

// ---- Claim and rename -----------------------------------------------------------------------

void CTavikctlSession::OnNamingReply(const DatagramView& datagram) {
    ApplyNamingStep(m_pNaming->OnReply(datagram.payload));
}

void CTavikctlSession::ApplyNamingStep(const SNamingStep& step) {
    const SNamingKind& kind = m_pNaming->GetKind();
    if (step.bStopTimer) {
        StopTimer(kind.nTimerId);
    }
    const QJsonObject object = CCliOutput::InstrumentObject(m_chosen);
    switch (step.nEvent) {
    case ENamingEvent::None:
        break;
    case ENamingEvent::Sent:
        SendRequest(step.request);
        StartTimer(kind.nTimerId, kind.nTimerPeriodMs);
        break;
    case ENamingEvent::NoName:
        Report(EXIT_REFUSED, RESULT_REFUSED, FromWide(kind.strNoNameText), object);
        break;
    case ENamingEvent::Granted:
        SetConfiguration(FromWide(m_strNamingName), FromWide(m_chosen.HostNameText()),
                         m_chosen.m_dwIPAddress);
        if (SaveConfiguration()) {
            Report(EXIT_DONE, RESULT_DONE, FromWide(kind.strGrantedText), object);
        }
        break;
    case ENamingEvent::Refused:
        Report(EXIT_REFUSED, RESULT_REFUSED, FromWide(kind.strRefusedText), object);
        break;
    case ENamingEvent::NoResponse:
        Report(EXIT_NO_ANSWER, RESULT_NO_ANSWER, FromWide(kind.strNoResponseText), object);
        break;
    }
}

// ---- Verification, release and repair -------------------------------------------------------

SConnectionTarget CTavikctlSession::Target() const {
    SConnectionTarget target;
    target.strInstrumentName = m_strConfiguredName;
    target.strLocalHostName = m_strLocalHostName;
    target.dwInstrumentAddress = m_configuration.dwInstrumentIPAddress;
    target.dwBroadcastAddress = m_pLink ? m_pLink->m_dwBroadcastAddress : 0xFFFFFFFF;
    target.bConfigured = !m_strConfiguredName.empty();
    return target;
}

void CTavikctlSession::OnConnectionReply(const DatagramView& datagram) {
    if (const std::optional<VerifyReply> reply = ReadVerifyReply(datagram.payload)) {
        m_verified = CMolvarInstrument::FromDescription(reply->description);
    }
    ApplyConnectionStep(m_connection.OnReply(datagram.payload));
}

void CTavikctlSession::ApplyConnectionStep(const SConnectionStep& step) {
    if (step.bStopTimer) {
        StopTimer(CConnectionExchange::ID_RELEASE_RESPONSE_TIMER_EVENT);
        StopTimer(CConnectionExchange::ID_REPAIR_RESPONSE_TIMER_EVENT);
        StopTimer(CConnectionExchange::ID_VERIFY_RESPONSE_TIMER_EVENT);
    }
    switch (step.nEvent) {
    case EConnectionEvent::None:
        break;
    case EConnectionEvent::Sent:
        SendRequest(step.request);
        StartTimer(step.nTimerId, CConnectionExchange::RESPONSE_TIMER_PERIOD_MS);
        break;
    case EConnectionEvent::Ready:
    case EConnectionEvent::NotClaimed:
    case EConnectionEvent::VerificationFailed:
        OnVerified(step);
        break;
    case EConnectionEvent::Released:
    case EConnectionEvent::ReleaseUnanswered:
        OnReleaseAnswered(step);
        break;
    case EConnectionEvent::Repaired:
    case EConnectionEvent::RepairRefused:
    case EConnectionEvent::RepairFailed:
        OnRepairAnswered(step);
        break;
    }
}

void CTavikctlSession::OnVerified(const SConnectionStep& step) {
    const bool bRelease = m_options.nCommand == ECliCommand::Release;
    if (step.nEvent == EConnectionEvent::VerificationFailed) {
        if (bRelease) {
            // "Not ready": the main window offers the release all the same.
            ApplyConnectionStep(m_connection.StartRelease(Target(), EAttemptCount::FromZero));
            return;
        }
        m_output.Error(FromWide(TEXT_VERIFICATION_FAILED));
        ReportStatus(EXIT_NO_ANSWER, QStringLiteral("not_ready"), FromWide(TEXT_NOT_READY));
        return;
    }
    if (bRelease) {
        // What the claim selection window checks of the record before it asks for a release,
        // here of the description the instrument has just given.
        EReleaseCheck nCheck = EReleaseCheck::OwnedElsewhere;
        if (m_verified) {
            nCheck = CheckRelease(*m_verified,
                                  {m_pLink->m_dwLocalAddress, m_strLocalHostName,
                                   m_strConfiguredName, m_configuration.dwInstrumentIPAddress});
        }
        if (nCheck == EReleaseCheck::Allowed && step.nEvent != EConnectionEvent::Ready) {
            nCheck = EReleaseCheck::OwnedElsewhere; // the instrument says this is not the owner
        }
        const QJsonObject object = m_verified ? CCliOutput::InstrumentObject(*m_verified)
                                              : CCliOutput::ConfiguredObject(m_configuration);
        switch (nCheck) {
        case EReleaseCheck::NotClaimed:
            Report(EXIT_REFUSED, RESULT_REFUSED, FromWide(TEXT_RELEASE_NOT_CLAIMED), object);
            return;
        case EReleaseCheck::OwnedElsewhere:
            Report(EXIT_REFUSED, RESULT_REFUSED, FromWide(TEXT_RELEASE_OWNED_ELSEWHERE), object);
            return;
        case EReleaseCheck::InUse:
            Report(EXIT_REFUSED, RESULT_REFUSED, FromWide(TEXT_RELEASE_SELECTED_IN_USE), object);
            return;
        case EReleaseCheck::Allowed:
            // Not from inside the routing: the request's send would drop replies yet untaken.
            Defer([this] {
                ApplyConnectionStep(m_connection.StartRelease(Target(), EAttemptCount::FromZero));
            });
            return;
        }
        return;
    }
    if (step.nEvent == EConnectionEvent::Ready) {
        ReportStatus(EXIT_DONE, QStringLiteral("ready"), FromWide(TEXT_READY));
        return;
    }
    const std::u16string strOwner =
        step.bOwnerReported ? AnsiToWide(step.strOwnerHostName) : std::u16string();
    ReportStatus(EXIT_REFUSED,
                 step.dwAddress != 0 ? QStringLiteral("claimed_by_other")
                                     : QStringLiteral("not_claimed"),
                 FromWide(ClaimOwnerText(strOwner, step.dwAddress)));
}

void CTavikctlSession::OnReleaseAnswered(const SConnectionStep& step) {
    const QJsonObject object = m_verified ? CCliOutput::InstrumentObject(*m_verified)
                                          : CCliOutput::ConfiguredObject(m_configuration);
    // Whatever the answer, and without one, the configuration is forgotten.
    SetConfiguration(QString(), QString(), 0);
    if (!SaveConfiguration()) {
        return;
    }
    if (step.nEvent == EConnectionEvent::ReleaseUnanswered) {
        Report(EXIT_NO_ANSWER, RESULT_NO_ANSWER, TEXT_RELEASE_UNANSWERED, object);
        return;
    }
    if (step.bStatus == STATUS_OK) {
        Report(EXIT_DONE, RESULT_DONE, TEXT_RELEASED, object);
        return;
    }
    const std::optional<std::u16string_view> strText = ReleaseStatusText(step.bStatus);
    Report(EXIT_REFUSED, RESULT_REFUSED,
           strText ? FromWide(*strText)
                   : QStringLiteral("The instrument refused the release (status %1); the "
                                    "configuration has been cleared.")
                         .arg(step.bStatus),
           object);
}

void CTavikctlSession::OnRepairAnswered(const SConnectionStep& step) {
    if (step.nEvent == EConnectionEvent::Repaired) {
        SetConfiguration(m_configuration.strInstrumentName, m_configuration.strInstrumentHostName,
                         step.dwAddress);
        if (SaveConfiguration()) {
            Report(EXIT_DONE, RESULT_DONE, FromWide(TEXT_REPAIRED),
                   CCliOutput::ConfiguredObject(m_configuration));
        }
        return;
    }
    if (step.nEvent == EConnectionEvent::RepairRefused) {
        Report(EXIT_REFUSED, RESULT_REFUSED, TEXT_REPAIR_REFUSED,
               CCliOutput::ConfiguredObject(m_configuration));
        return;
    }
    Report(EXIT_NO_ANSWER, RESULT_NO_ANSWER, FromWide(TEXT_REPAIR_FAILED),
           CCliOutput::ConfiguredObject(m_configuration));
}

void CTavikctlSession::ReportStatus(int nExitStatus, const QString& strState,
                                    const QString& strText) {
    QJsonObject object = m_verified && nExitStatus != EXIT_NO_ANSWER
                             ? CCliOutput::InstrumentObject(*m_verified)
                             : CCliOutput::ConfiguredObject(m_configuration);
    object[QStringLiteral("state")] = strState;
    object[QStringLiteral("message")] = strText;
    m_output.Json(object);
    QString strLines = strText;
    if (!m_configuration.strInstrumentName.isEmpty()) {
        strLines += QStringLiteral("\nInstrument name: %1\nInstrument address: %2")
                        .arg(m_configuration.strInstrumentName,
                             CCliOutput::HostAndAddress(m_configuration.strInstrumentHostName,
                                                        m_configuration.dwInstrumentIPAddress));
    }
    m_output.Text(strLines);
    Finish(nExitStatus);
}

// ---- Outcomes -------------------------------------------------------------------------------

void CTavikctlSession::Report(int nExitStatus, const QString& strResult, const QString& strMessage,
                              const QJsonObject& instrument) {
    QJsonObject object = instrument;
    object[QStringLiteral("result")] = strResult;
    object[QStringLiteral("message")] = strMessage;
    m_output.Json(object);
    if (nExitStatus == EXIT_DONE) {
        m_output.Text(strMessage);
    } else if (!m_output.IsJson()) {
        m_output.Error(strMessage);
    }
    Finish(nExitStatus);
}

void CTavikctlSession::SetConfiguration(const QString& strName, const QString& strHostName,
                                        std::uint32_t dwAddress) {
    m_configuration.strInstrumentName = strName;
    m_configuration.strInstrumentHostName = strHostName;
    m_configuration.dwInstrumentIPAddress = dwAddress;
    m_strConfiguredName = strName.toStdU16String();
}

bool CTavikctlSession::SaveConfiguration() {
    if (CConfigurationStore::Save(m_configuration)) {
        return true;
    }
    m_output.Error(QStringLiteral("the configuration could not be written under every key (%1 "
                                  "and the others)")
                       .arg(CConfigurationStore::FileName(CConfigurationStore::KEY_TAVIK)));
    Finish(EXIT_USAGE);
    return false;
}
