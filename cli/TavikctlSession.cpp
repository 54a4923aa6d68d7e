#include "cli/TavikctlSession.h"

#include "app/InstrumentChannel.h"
#include "app/Logging.h"
#include "app/TerminationSignals.h"
#include "cli/CliCommand.h"
#include "cli/CommandTable.h"
#include "cli/ExitStatus.h"
#include "link/UDPInstrumentInterface.h"
#include "platform/NetworkAdapters.h"
#include "platform/window/WideText.h"
#include "protocol/InstrumentName.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QTimer>
#include <cerrno>
#include <cstring>

namespace {

// How often the wait for the link's binding looks for a termination signal.
constexpr std::uint32_t SETUP_LOOK_MS = 50;

QString ResultOf(int nExitStatus) {
    switch (nExitStatus) {
    case EXIT_DONE:
        return QStringLiteral("done");
    case EXIT_NO_ANSWER:
        return QStringLiteral("no_answer");
    default:
        return QStringLiteral("refused");
    }
}

} // namespace

SCliNetwork SCliNetwork::System() {
    SCliNetwork network;
    network.adapters = ListNetworkAdapters();
    return network;
}

CTavikctlSession::CTavikctlSession(const SCliOptions& options, const SCliCommandEntry& entry,
                                   CCliCommand& command, const CCliOutput& output,
                                   SCliNetwork network)
    : m_options(options), m_entry(entry), m_command(command), m_output(output),
      m_network(std::move(network)), m_timers([this](unsigned nTimerId) {
          if (!m_bFinished) {
              m_command.OnTimer(nTimerId);
          }
      }),
      m_notifyTarget([this] {
          if (m_pChannel) {
              m_pChannel->RouteWaiting();
          }
      }) {}

CTavikctlSession::~CTavikctlSession() {
    m_timers.StopAll();
    if (m_pLink) {
        m_pLink->SetNotifyTarget(nullptr);
        m_pChannel.reset();
        m_pLink.reset(); // joins the socket thread
    }
}

int CTavikctlSession::Run() {
    OnTerminationSignals([this] { OnTerminationSignal(); });
    m_command.Attach(*this);
    const bool bLinkIfPossible = m_entry.Needs(NEEDS_LINK_IF_POSSIBLE);
    if (!m_entry.Needs(NEEDS_LINK) && !bLinkIfPossible) {
        return m_command.RunWithoutLink();
    }
    if (m_entry.Needs(NEEDS_NAME_RULE)) {
        if (const std::optional<int> nExit = CheckName()) {
            return *nExit;
        }
    }
    if (bLinkIfPossible) {
        m_strWhyNoLink = m_command.BeforeLink();
    }
    if (m_strWhyNoLink.isEmpty()) {
        if (const std::optional<SLinkFailure> failure = OpenLink()) {
            if (!bLinkIfPossible || failure->nExitStatus == EXIT_INTERRUPTED) {
                m_output.Error(failure->strWhy);
                return failure->nExitStatus;
            }
            m_strWhyNoLink = failure->strWhy;
        }
    }
    if (m_entry.Needs(NEEDS_CONFIGURATION)) {
        // Only now that this program holds the port: a desktop program that closed and saved
        // meanwhile is read, not overwritten later with what it held before.
        CConfigurationStore::Load(m_configuration);
        if (m_configuration.strInstrumentName.isEmpty()) {
            m_command.ReportNotConfigured();
            return m_nExitStatus;
        }
    }
    QTimer::singleShot(0, &m_eventContext, [this] { m_command.Start(); });
    QCoreApplication::exec();
    return m_nExitStatus;
}

std::optional<int> CTavikctlSession::CheckName() {
    const std::optional<SNameToCheck> name = m_command.NameToCheck();
    if (!name) {
        return std::nullopt;
    }
    const std::u16string strName = name->strName.toStdU16String();
    QString strRefusal;
    switch (CheckInstrumentName(strName)) {
    case ENameCheck::Empty:
        strRefusal = FromWide(name->strEmptyText);
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
    if (strRefusal.isEmpty()) {
        return std::nullopt;
    }
    Report(EXIT_REFUSED, strRefusal, {});
    return m_nExitStatus;
}

std::optional<CTavikctlSession::SLinkFailure> CTavikctlSession::OpenLink() {
    const std::vector<SNetworkAdapter> listAdapters =
        m_network.adapters.value_or(std::vector<SNetworkAdapter>{});
    const SCliAdapterChoice adapter =
        CAdapterChoice::Choose(m_network.adapters, m_options.strAdapter);
    if (adapter.nResult == SCliAdapterChoice::Several) {
        return SLinkFailure{EXIT_USAGE,
                            QStringLiteral("several network adapters qualify: %1; choose one with "
                                           "--adapter")
                                .arg(CAdapterChoice::ListText(listAdapters, true))};
    }
    if (adapter.nResult == SCliAdapterChoice::NotFound) {
        return SLinkFailure{EXIT_USAGE,
                            CAdapterChoice::NotFoundText(m_options.strAdapter, listAdapters)};
    }
    // The link's own log lines only when logging is asked for: its warning about a small
    // socket buffer would otherwise stand before every answer of an ordinary user.
    if (!qEnvironmentVariableIsEmpty("QT_LOGGING_RULES")) {
        InstallLinkLog();
    }
    try {
        m_pLink = std::make_unique<CUDPInstrumentInterface>(
            adapter.choice.dwLocalIPAddress, adapter.choice.dwBroadcastIPAddress,
            m_network.nLocalPort, m_network.nPeerPort);
    } catch (const InterfaceException nException) {
        return SLinkFailure{EXIT_NO_LINK,
                            QString::fromUtf8(DescribeInterfaceException(nException))};
    } catch (const std::bad_alloc&) {
        return SLinkFailure{EXIT_NO_LINK,
                            QStringLiteral("there is not enough memory for the link")};
    }
    QElapsedTimer elapsed;
    elapsed.start();
    ELinkSetup nSetup = ELinkSetup::Pending;
    while (nSetup == ELinkSetup::Pending && !HasTerminationSignalArrived() &&
           elapsed.elapsed() < CUDPInstrumentInterface::SETUP_TIMEOUT_MS) {
        nSetup = m_pLink->WaitForSetup(SETUP_LOOK_MS);
    }
    if (HasTerminationSignalArrived()) {
        return SLinkFailure{EXIT_INTERRUPTED, QStringLiteral("interrupted")};
    }
    if (nSetup != ELinkSetup::Bound) {
        const int nError = m_pLink->GetLastSocketError();
        m_pLink.reset();
        if (nError == EADDRINUSE) {
            return SLinkFailure{EXIT_NO_LINK,
                                QStringLiteral("port %1 is in use (is tavik-connection open?)")
                                    .arg(m_network.nLocalPort)};
        }
        return SLinkFailure{
            EXIT_NO_LINK,
            QStringLiteral("the link could not be set up on port %1: %2")
                .arg(m_network.nLocalPort)
                .arg(QString::fromLocal8Bit(nError != 0 ? std::strerror(nError) : "no answer"))};
    }
    m_pChannel = std::make_unique<CInstrumentChannel>(*m_pLink);
    m_strLocalHostName = m_pChannel->LocalHostName();
    m_pChannel->SetNotifyTarget(&m_notifyTarget);
    return std::nullopt;
}

std::uint32_t CTavikctlSession::LocalAddress() const {
    return m_pChannel ? m_pChannel->LocalAddress() : 0;
}

std::uint32_t CTavikctlSession::BroadcastAddress() const {
    return m_pChannel ? m_pChannel->BroadcastAddress() : 0xFFFFFFFF;
}

CDatagramRouter& CTavikctlSession::Router() {
    return m_pChannel->Router();
}

bool CTavikctlSession::Send(const SRequest& request) {
    m_pChannel->RouteWaiting();
    // The exchanges treat a request that did not go out as one that gets no answer, as the
    // windows do; discovery tells it.
    return m_bFinished || m_pChannel->Send(request) == STATUS_NO_ERROR;
}

QString CTavikctlSession::SendFailure() const {
    const int nError = m_pLink ? m_pLink->GetLastSocketError() : 0;
    return nError != 0 ? QString::fromLocal8Bit(std::strerror(nError))
                       : QStringLiteral("the link did not send it");
}

void CTavikctlSession::Defer(std::function<void()> fnStep) {
    QMetaObject::invokeMethod(
        &m_eventContext,
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
    m_timers.StopAll();
    QCoreApplication::exit(nExitStatus);
}

void CTavikctlSession::OnTerminationSignal() {
    if (!m_bFinished) {
        m_command.OnInterrupted();
    }
}

bool CTavikctlSession::SaveConfiguration(const SConfiguration& configuration) {
    m_configuration = configuration;
    if (CConfigurationStore::Save(m_configuration)) {
        return true;
    }
    m_output.Error(QStringLiteral("the configuration could not be written under every key (%1 "
                                  "and the others)")
                       .arg(CConfigurationStore::FileName(CConfigurationStore::KEY_TAVIK)));
    Finish(EXIT_USAGE);
    return false;
}

void CTavikctlSession::Report(int nExitStatus, const QString& strMessage,
                              const QJsonObject& instrument) {
    QJsonObject object = instrument;
    object[QStringLiteral("result")] = ResultOf(nExitStatus);
    object[QStringLiteral("message")] = strMessage;
    m_output.Json(object);
    if (nExitStatus == EXIT_DONE) {
        m_output.Text(strMessage);
    } else if (!m_output.IsJson()) {
        m_output.Error(strMessage);
    }
    Finish(nExitStatus);
}
