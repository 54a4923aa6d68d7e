// One run of tavikctl after its arguments were read: the adapter, the link, the configuration
// and the one command, driven on the event loop with the exchanges' own timers. It ends as soon
// as the outcome is known and answers the exit status.
#pragma once

#include "app/ConfigurationStore.h"
#include "cli/AdapterChoice.h"
#include "cli/CliOutput.h"
#include "cli/CommandLineOptions.h"
#include "cli/InstrumentMatch.h"
#include "cli/QueuedNotifyTarget.h"
#include "cli/ReplyCallback.h"
#include "model/InstrumentList.h"
#include "model/MolvarInstrument.h"
#include "protocol/ConnectionExchange.h"
#include "protocol/DatagramRouter.h"
#include "protocol/DiscoveryCycle.h"
#include "protocol/NamingExchange.h"

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CInstrumentChannel;
class CUDPInstrumentInterface;

class CTavikctlSession {
public:
    CTavikctlSession(const SCliOptions& options, const CCliOutput& output);
    ~CTavikctlSession();
    CTavikctlSession(const CTavikctlSession&) = delete;
    CTavikctlSession& operator=(const CTavikctlSession&) = delete;

    // After the QCoreApplication exists; runs its event loop while the command waits.
    int Run();

private:
    int ListAdapters();
    // Checks that need no network; an exit status when the command ends here.
    std::optional<int> CheckBeforeSending();
    std::optional<int> OpenLink();
    void StartCommand();

    void SendRequest(const SRequest& request);
    void RouteWaiting();
    void StartTimer(unsigned nTimerId, unsigned nPeriodMs);
    void StopTimer(unsigned nTimerId);
    void StopAllTimers();
    void OnTimer(unsigned nTimerId);
    void Defer(std::function<void()> fnStep);
    void Finish(int nExitStatus);
    void OnTerminationSignal();

    // Discovery: the cycle, its direct requests and what ends it.
    void StartDiscovery();
    void ApplyDiscoveryStep(const SDiscoveryStep& step);
    void OnDiscoveryReply(const DatagramView& datagram);
    void OnCollectionEnd();
    void StopDiscovery();
    void PrintList(const CInstrumentList& list, bool bOneLine);
    void ResolveFromList(const CInstrumentList& list);
    void OnInstrumentChosen(const CMolvarInstrument& instrument);

    // Verification, release and repair.
    SConnectionTarget Target() const;
    void OnConnectionReply(const DatagramView& datagram);
    void ApplyConnectionStep(const SConnectionStep& step);
    void OnVerified(const SConnectionStep& step);
    void OnReleaseAnswered(const SConnectionStep& step);
    void OnRepairAnswered(const SConnectionStep& step);
    void ReportStatus(int nExitStatus, const QString& strState, const QString& strText);

    // Claim and rename.
    void OnNamingReply(const DatagramView& datagram);
    void ApplyNamingStep(const SNamingStep& step);

    // The outcome of an action: its text (standard output when done, else standard error) or
    // its document, and the exit status.
    void Report(int nExitStatus, const QString& strResult, const QString& strMessage,
                const QJsonObject& instrument);
    // Written at once, under every key; false (and said) when a key could not be written.
    bool SaveConfiguration();
    void SetConfiguration(const QString& strName, const QString& strHostName,
                          std::uint32_t dwAddress);

    SCliOptions m_options;
    const CCliOutput& m_output;
    SConfiguration m_configuration;
    std::u16string m_strConfiguredName; // what the exchanges' targets view
    std::u16string m_strLocalHostName;
    SCliAdapterChoice m_adapterChoice;

    QObject m_context; // owns the timers; queued calls run on it
    std::map<unsigned, QTimer*> m_mapTimers;
    std::unique_ptr<CUDPInstrumentInterface> m_pLink;
    std::unique_ptr<CInstrumentChannel> m_pChannel;
    CQueuedNotifyTarget m_notifyTarget;

    std::unique_ptr<CDiscoveryCycle> m_pDiscovery;
    std::vector<std::uint32_t> m_listDirectAddresses;
    unsigned m_nCollections = 0;
    CInstrumentList m_listFound;
    std::optional<CInstrumentMatch> m_match; // claim and rename: the instrument asked for
    bool m_bResolved = false;

    CConnectionExchange m_connection;
    std::optional<CMolvarInstrument> m_verified; // the last VerifyReply's description

    std::unique_ptr<CNamingExchange> m_pNaming;
    CMolvarInstrument m_chosen;
    std::u16string m_strNamingName;

    CReplyCallback m_discoveryReceiver;
    CReplyCallback m_connectionReceiver;
    CReplyCallback m_namingReceiver;

    bool m_bFinished = false;
    int m_nExitStatus = 0;
};
