#include "cli/commands/DoctorCommand.h"

#include "app/AdapterAddress.h"
#include "app/ConfigurationStore.h"
#include "cli/AdapterChoice.h"
#include "cli/CliOutput.h"
#include "cli/CommandLineOptions.h"
#include "cli/TavikctlSession.h"
#include "cli/doctor/AdaptersCheck.h"
#include "cli/doctor/DoctorReport.h"
#include "cli/doctor/FirewallCheck.h"
#include "cli/doctor/PortCheck.h"
#include "cli/doctor/ReceiveBufferCheck.h"
#include "protocol/ConnectionExchange.h"
#include "protocol/DatagramRouter.h"

#include <QCommandLineParser>
#include <algorithm>

CDoctorCommand::CDoctorCommand()
    : m_discovery([](const CInstrumentList&) {},
                  [this](const CInstrumentList& list) { OnCollectionEnd(list); },
                  [this](const QString& strWhy) { OnSendFailed(strWhy); }),
      m_receiver([this] { return m_bAsking; },
                 [this](const SDatagramView& datagram) { OnVerifyReply(datagram); }) {}

const char* CDoctorCommand::Summary() const {
    return "diagnose why instruments are not found or do not answer";
}

QList<QCommandLineOption> CDoctorCommand::Options() const {
    return {DirectAddressOption(QStringLiteral("Also ask the instrument at this address "
                                               "directly, and compare with the broadcast "
                                               "(repeatable)."))};
}

const char* CDoctorCommand::OptionsSyntax() const {
    return "[--to ADDRESS]...";
}

QString CDoctorCommand::ReadArguments(const QCommandLineParser& parser,
                                      const QStringList& /*listArguments*/) {
    return ReadDirectAddresses(parser, &m_listToAddresses);
}

QString CDoctorCommand::BeforeLink() {
    const SDoctorCheck port = CPortCheck::Run(Session().LocalPort());
    m_listChecks.push_back(port);
    const std::optional<std::vector<SNetworkAdapter>>& adapters = Session().Adapters();
    const std::vector<SNetworkAdapter> listAdapters =
        adapters.value_or(std::vector<SNetworkAdapter>{});
    const QString& strWanted = Session().Options().strAdapter;
    m_listChecks.push_back(
        CAdaptersCheck::Check(adapters, CAdaptersCheck::ReadLinkStates(listAdapters), strWanted));
    m_listChecks.push_back(CReceiveBufferCheck::Check(CReceiveBufferCheck::Measure()));
    // The reply through the adapter in use; where none is, through any interface.
    const SCliAdapterChoice choice = CAdapterChoice::Choose(adapters, strWanted);
    SInboundDatagram datagram{INSTRUMENT_PORT, QString(), 0, 0, 0};
    if (choice.nIndex) {
        datagram = CFirewallCheck::ReplyThrough(listAdapters[*choice.nIndex]);
        m_findings.strAdapter = CAdapterChoice::InterfaceName(listAdapters[*choice.nIndex]);
        m_findings.dwAdapterMask = DottedQuadValue(listAdapters[*choice.nIndex].strIpMask);
    } else {
        m_findings.strAdapter = QStringLiteral("any adapter");
    }
    m_listChecks.push_back(CFirewallCheck::Check(CFirewallCheck::Read(), datagram));

    // The link would wait seconds for a port that another program holds, and then fail.
    m_bPortHeld = port.nResult == EDoctorResult::Warning || port.nResult == EDoctorResult::Problem;
    return m_bPortHeld
               ? QStringLiteral("port %1 is in use (see the port check)").arg(Session().LocalPort())
               : QString();
}

void CDoctorCommand::Start() {
    if (!Session().HasLink()) {
        Report(NotRun());
        return;
    }
    // Read once the link holds the port, as the other commands read it.
    SConfiguration configuration;
    CConfigurationStore::Load(configuration);
    m_strConfiguredName = configuration.strInstrumentName.toStdU16String();
    m_findings.dwAdapterAddress = Session().LocalAddress();
    if (!configuration.strInstrumentName.isEmpty() && configuration.dwInstrumentIPAddress != 0) {
        m_findings.listDirect.push_back(
            {QStringLiteral("the configured instrument %1").arg(configuration.strInstrumentName),
             configuration.dwInstrumentIPAddress, std::nullopt});
    }
    for (const std::uint32_t dwAddress : m_listToAddresses) {
        const bool bAsked =
            std::any_of(m_findings.listDirect.begin(), m_findings.listDirect.end(),
                        [dwAddress](const SDirectAsk& ask) { return ask.dwAddress == dwAddress; });
        if (!bAsked) {
            m_findings.listDirect.push_back(
                {QStringLiteral("the instrument"), dwAddress, std::nullopt});
        }
    }
    Session().Router().Register(MSG_VERIFY, m_receiver, "doctor");
    m_discovery.Start(Session(), {});
}

void CDoctorCommand::OnTimer(unsigned nTimerId) {
    if (m_discovery.OnTimer(nTimerId) || nTimerId != ID_DOCTOR_ASK_TIMER_EVENT) {
        return;
    }
    // Asked twice 515 ms apart, as a verification asks; then what has not answered will not.
    if (++m_nAskRounds < ASK_ROUNDS) {
        AskDirectly();
    } else {
        ReportDiscovery();
    }
}

void CDoctorCommand::AskDirectly() {
    const auto abPayload =
        BuildNamedRequest(MSG_VERIFY, m_strConfiguredName, Session().LocalHostName());
    for (SDirectAsk& ask : m_findings.listDirect) {
        if (ask.answer || Session().IsFinished()) {
            continue;
        }
        // An address that could not be sent to is not tried again: each try waits for the link.
        if (m_setUnsent.count(ask.dwAddress) == 0 &&
            !Session().Send({ask.dwAddress, {abPayload.begin(), abPayload.end()}})) {
            m_setUnsent.insert(ask.dwAddress);
            m_listSendFailures << QStringLiteral("the request to %1 could not be sent: %2")
                                      .arg(CCliOutput::Dotted(ask.dwAddress),
                                           Session().SendFailure());
        }
    }
    if (!Session().IsFinished() && IsEveryAskSettled()) {
        ReportDiscovery();
    }
}

bool CDoctorCommand::IsEveryAskSettled() const {
    return std::all_of(m_findings.listDirect.begin(), m_findings.listDirect.end(),
                       [this](const SDirectAsk& ask) {
                           return ask.answer || m_setUnsent.count(ask.dwAddress) != 0;
                       });
}

void CDoctorCommand::OnVerifyReply(const SDatagramView& datagram) {
    const std::optional<VerifyReply> reply = ReadVerifyReply(datagram.payload);
    if (!reply) {
        return;
    }
    const CMolvarInstrument instrument = CMolvarInstrument::FromDescription(reply->description);
    for (SDirectAsk& ask : m_findings.listDirect) {
        // By the address it was asked at, which an instrument answers from.
        if (!ask.answer && (datagram.header.dwSource == ask.dwAddress ||
                            instrument.m_dwIPAddress == ask.dwAddress)) {
            ask.answer = instrument;
        }
    }
    if (IsEveryAskSettled()) {
        ReportDiscovery();
    }
}

void CDoctorCommand::OnSendFailed(const QString& strWhy) {
    m_bAsking = false;
    Report({QStringLiteral("discovery"), EDoctorResult::Problem, strWhy,
            QStringLiteral("check this computer's address and routes on %1 (ip address, ip route)")
                .arg(m_findings.strAdapter)});
}

void CDoctorCommand::OnCollectionEnd(const CInstrumentList& listDisplayed) {
    for (const CMolvarInstrument& instrument : listDisplayed) {
        m_findings.listBroadcast.push_back(instrument);
    }
    m_discovery.Stop();
    // Only now: a stateful firewall lets in whatever comes from an address this computer has
    // just sent to, and would let the broadcast's replies from the instruments asked through.
    m_bAsking = true;
    AskDirectly();
    if (!Session().IsFinished()) {
        Session().Timers().Start(ID_DOCTOR_ASK_TIMER_EVENT,
                                 CConnectionExchange::RESPONSE_TIMER_PERIOD_MS);
    }
}

void CDoctorCommand::ReportDiscovery() {
    m_bAsking = false;
    SDoctorCheck discovery = CDiscoveryCheck::Check(m_findings);
    if (!m_listSendFailures.isEmpty()) {
        discovery.nResult = EDoctorResult::Problem;
        discovery.strDetail += QStringLiteral("; ") + m_listSendFailures.join(QStringLiteral("; "));
        const QString strRoute = QStringLiteral("add a route to it (ip route), or ask it "
                                                "through the adapter of its subnet");
        discovery.strHint = discovery.strHint.isEmpty()
                                ? strRoute
                                : discovery.strHint + QStringLiteral("; ") + strRoute;
    }
    Report(discovery);
}

SDoctorCheck CDoctorCommand::NotRun() const {
    const SCliAdapterChoice choice =
        CAdapterChoice::Choose(Session().Adapters(), Session().Options().strAdapter);
    QString strHint;
    if (choice.nResult == SCliAdapterChoice::Several) {
        strHint = QStringLiteral("choose the adapter on the instruments' segment: tavikctl "
                                 "--adapter IFACE doctor");
    } else if (choice.nResult == SCliAdapterChoice::NotFound) {
        strHint = QStringLiteral("name one of the adapters that tavikctl adapters lists");
    } else if (m_bPortHeld) {
        strHint = QStringLiteral("close tavik-connection (or the program that holds the port), "
                                 "then run tavikctl doctor again");
    }
    return {QStringLiteral("discovery"), EDoctorResult::Unknown,
            QStringLiteral("not run: ") + Session().WhyNoLink(), strHint};
}

void CDoctorCommand::Report(const SDoctorCheck& discovery) {
    m_discovery.Stop();
    Session().Timers().Stop(ID_DOCTOR_ASK_TIMER_EVENT);
    m_listChecks.push_back(discovery);
    Session().Output().Json(CDoctorReport::Json(m_listChecks));
    Session().Output().Text(CDoctorReport::Text(m_listChecks));
    Session().Finish(CDoctorReport::ExitStatus(m_listChecks));
}
