// One run of tavikctl once its command line is read: what the command's row of the table needs
// (an adapter and the link on the event loop, the configuration, the name rule), then the
// command itself. The session gives the command its way to the instruments (the channel and its
// router), timers by id, the configuration and the report of the outcome, and answers the exit
// status as soon as the command has ended.
#pragma once

#include "app/ConfigurationStore.h"
#include "cli/AdapterChoice.h"
#include "cli/CliOutput.h"
#include "cli/CommandLineOptions.h"
#include "cli/QueuedNotifyTarget.h"
#include "link/Messages.h"
#include "platform/window/TimerSet.h"
#include "protocol/ExchangeSteps.h"

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CCliCommand;
class CDatagramRouter;
class CInstrumentChannel;
class CUDPInstrumentInterface;
struct SCliCommandEntry;

// Where the session finds the network: the adapters the system lists and the protocol's port at
// both ends, or a test's own adapters and ports on loopback.
struct SCliNetwork {
    std::optional<std::vector<SNetworkAdapter>> adapters;
    std::uint16_t nLocalPort = INSTRUMENT_PORT;
    std::uint16_t nPeerPort = INSTRUMENT_PORT;

    static SCliNetwork System();
};

class CTavikctlSession {
public:
    // The command outlives the session.
    CTavikctlSession(const SCliOptions& options, const SCliCommandEntry& entry,
                     CCliCommand& command, const CCliOutput& output,
                     SCliNetwork network = SCliNetwork::System());
    ~CTavikctlSession();
    CTavikctlSession(const CTavikctlSession&) = delete;
    CTavikctlSession& operator=(const CTavikctlSession&) = delete;

    // After the QCoreApplication exists; runs its event loop while the command waits.
    int Run();

    // ---- For the command ----
    const SCliOptions& Options() const { return m_options; }
    const CCliOutput& Output() const { return m_output; }
    const std::optional<std::vector<SNetworkAdapter>>& Adapters() const {
        return m_network.adapters;
    }
    // The port this program's link takes (19798, or a test's own).
    std::uint16_t LocalPort() const { return m_network.nLocalPort; }
    // The link's addresses and this computer's host name, and where replies are registered.
    std::uint32_t LocalAddress() const;
    std::uint32_t BroadcastAddress() const;
    const std::u16string& LocalHostName() const { return m_strLocalHostName; }
    CDatagramRouter& Router();
    // A command that needs the link if possible: whether it has it, and if not why.
    bool HasLink() const { return m_pChannel != nullptr; }
    const QString& WhyNoLink() const { return m_strWhyNoLink; }
    // The request through the one send path, which routes what waits first; a reply among that
    // which ends the command keeps the request from going out. False when the link could not
    // send it (SendFailure says why).
    bool Send(const SRequest& request);
    // Why the last request that failed did not go out, as the link's socket error tells it.
    QString SendFailure() const;
    // Repeating timers by id; each event goes to the command's OnTimer until the command ends.
    CTimerSet& Timers() { return m_timers; }
    // fnStep on the event loop once the current call has returned, unless the command has ended.
    void Defer(std::function<void()> fnStep);
    // The command is over: the event loop ends with this exit status.
    void Finish(int nExitStatus);
    bool IsFinished() const { return m_bFinished; }

    // The configured instrument: what the store held once the link held the port, then what the
    // command saved.
    const SConfiguration& Configuration() const { return m_configuration; }
    // Written at once under every key; false (said, and the command ended with status 2) when a
    // key could not be written.
    bool SaveConfiguration(const SConfiguration& configuration);
    // The outcome of an action: its document with --json ("result" done, refused or no_answer by
    // the exit status, and "message"), else its text, on standard output when done and on
    // standard error otherwise. Ends the command.
    void Report(int nExitStatus, const QString& strMessage, const QJsonObject& instrument);

private:
    // The name rule's refusal, when the command's new name fails it.
    std::optional<int> CheckName();
    // Why the link could not be set up, and the exit status that ends a command needing it.
    struct SLinkFailure {
        int nExitStatus;
        QString strWhy;
    };
    // The adapter, the link bound to its port and the channel; why not, when it fails.
    std::optional<SLinkFailure> OpenLink();
    void OnTerminationSignal();

    SCliOptions m_options;
    const SCliCommandEntry& m_entry;
    CCliCommand& m_command;
    const CCliOutput& m_output;
    SCliNetwork m_network;
    SConfiguration m_configuration;
    std::u16string m_strLocalHostName;
    QString m_strWhyNoLink;

    QObject m_eventContext; // queued calls run on it
    CTimerSet m_timers;
    std::unique_ptr<CUDPInstrumentInterface> m_pLink;
    std::unique_ptr<CInstrumentChannel> m_pChannel;
    CQueuedNotifyTarget m_notifyTarget;

    bool m_bFinished = false;
    int m_nExitStatus = 0;
};
