#include "cli/NamingCommand.h"

#include "cli/CliOutput.h"
#include "cli/ExitStatus.h"
#include "cli/TavikctlSession.h"
#include "platform/window/WideText.h"
#include "protocol/DatagramRouter.h"

#include <QJsonObject>

CNamingCommand::CNamingCommand(const SNamingKind& kind, std::u16string_view strInUseText)
    : m_kind(kind), m_strInUseText(strInUseText),
      m_discovery([this](const CInstrumentList& list) { OnDiscoveryReply(list); },
                  [this](const CInstrumentList& list) { OnCollectionEnd(list); }),
      m_receiver([this] { return m_pExchange != nullptr && m_pExchange->IsWaitingForReply(); },
                 [this](const SDatagramView& datagram) {
                     Apply(m_pExchange->OnReply(datagram.payload));
                 }) {}

QString CNamingCommand::ReadArguments(const QCommandLineParser& parser,
                                      const QStringList& listArguments) {
    m_strInstrument = listArguments.value(0);
    if (m_strInstrument.isEmpty()) {
        return QStringLiteral("INSTRUMENT is empty");
    }
    return ReadNameArguments(parser, listArguments.mid(1));
}

void CNamingCommand::Start() {
    Session().Router().Register(m_kind.nCode, m_receiver,
                                m_kind.nCode == MSG_CLAIM ? "claim" : "rename");
    m_match.emplace(m_strInstrument);
    std::vector<std::uint32_t> listDirect;
    if (m_match->Address()) {
        listDirect.push_back(*m_match->Address());
    }
    m_discovery.Start(Session(), std::move(listDirect));
}

void CNamingCommand::OnTimer(unsigned nTimerId) {
    if (m_discovery.OnTimer(nTimerId) || nTimerId != m_kind.nTimerId || !m_pExchange) {
        return;
    }
    Session().Timers().Stop(nTimerId);
    Apply(m_pExchange->OnTimeout(m_strName));
}

void CNamingCommand::OnDiscoveryReply(const CInstrumentList& listCollected) {
    if (!m_match->Address() || m_bResolved) {
        return;
    }
    // An address is decided by its instrument's first reply: nothing else can match it. Looked
    // up, not searched for: a flood of replies must not make each one cost the whole list.
    if (const CMolvarInstrument* pInstrument = listCollected.Find(*m_match->Address())) {
        m_bResolved = true;
        const CMolvarInstrument chosen = *pInstrument;
        m_discovery.Stop();
        Session().Defer([this, chosen] { OnInstrumentChosen(chosen); });
    }
}

void CNamingCommand::OnCollectionEnd(const CInstrumentList& listDisplayed) {
    if (m_bResolved) {
        return;
    }
    m_bResolved = true;
    CInstrumentList list;
    list.CopyFrom(listDisplayed);
    m_discovery.Stop();
    ResolveFromList(list);
}

void CNamingCommand::ResolveFromList(const CInstrumentList& list) {
    const std::vector<const CMolvarInstrument*> listFound = m_match->Find(list);
    if (listFound.empty()) {
        Session().Output().Error(
            QStringLiteral("no instrument answers as '%1'").arg(m_strInstrument));
        Session().Finish(EXIT_NO_INSTRUMENT);
        return;
    }
    if (listFound.size() > 1) {
        Session().Output().Error(QStringLiteral("'%1' names %2 instruments: %3; give an address")
                                     .arg(m_strInstrument)
                                     .arg(listFound.size())
                                     .arg(CCliOutput::OneLine(listFound)));
        Session().Finish(EXIT_USAGE);
        return;
    }
    OnInstrumentChosen(*listFound.front());
}

void CNamingCommand::OnInstrumentChosen(const CMolvarInstrument& instrument) {
    m_chosen = instrument;
    if (instrument.IsBusy()) {
        Session().Report(EXIT_REFUSED, FromWide(m_strInUseText),
                         CCliOutput::InstrumentObject(instrument));
        return;
    }
    const std::optional<std::u16string> strName = ChooseName(instrument);
    if (!strName) {
        return;
    }
    m_strName = *strName;
    m_pExchange = std::make_unique<CNamingExchange>(m_kind, instrument.m_dwIPAddress,
                                                    Session().LocalHostName());
    Apply(m_pExchange->Send(m_strName));
}

void CNamingCommand::Apply(const SNamingStep& step) {
    if (step.bStopTimer) {
        Session().Timers().Stop(m_kind.nTimerId);
    }
    const QJsonObject object = CCliOutput::InstrumentObject(m_chosen);
    switch (step.nEvent) {
    case ENamingEvent::None:
        break;
    case ENamingEvent::Sent:
        Session().Send(step.request);
        Session().Timers().Start(m_kind.nTimerId, m_kind.nTimerPeriodMs);
        break;
    case ENamingEvent::NoName:
        Session().Report(EXIT_REFUSED, FromWide(m_kind.strNoNameText), object);
        break;
    case ENamingEvent::Granted:
        if (Session().SaveConfiguration(
                {FromWide(m_strName), FromWide(m_chosen.HostNameText()), m_chosen.m_dwIPAddress})) {
            Session().Report(EXIT_DONE, FromWide(m_kind.strGrantedText), object);
        }
        break;
    case ENamingEvent::Refused:
        Session().Report(EXIT_REFUSED, FromWide(m_kind.strRefusedText), object);
        break;
    case ENamingEvent::NoResponse:
        Session().Report(EXIT_NO_ANSWER, FromWide(m_kind.strNoResponseText), object);
        break;
    }
}
