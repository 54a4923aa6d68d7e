// tavikctl doctor [--to ADDRESS]...: why discovery finds nothing or the configured instrument does
// not answer. The checks of cli/doctor/ in the order they can be made: the port before this
// program's own link takes it, the adapters, the receive buffer and the firewall, then one
// discovery cycle, after which the configured instrument and each --to address are asked directly
// (a VerifyRequest, sent again 515 ms later when unanswered). Where the link cannot be had (the
// port held, several adapters and no --adapter), the discovery check says why instead.
#pragma once

#include "cli/CliCommand.h"
#include "cli/CliDiscovery.h"
#include "cli/ReplyCallback.h"
#include "cli/doctor/DiscoveryCheck.h"
#include "cli/doctor/DoctorCheck.h"

#include <QStringList>
#include <cstdint>
#include <set>
#include <vector>

class CDoctorCommand final : public CCliCommand {
public:
    // Not one of the exchanges' timers nor the discovery cycle's.
    static constexpr unsigned ID_DOCTOR_ASK_TIMER_EVENT = 20;
    static constexpr unsigned ASK_ROUNDS = 2;

    CDoctorCommand();

    const char* Summary() const override;
    QList<QCommandLineOption> Options() const override;
    const char* OptionsSyntax() const override;
    QString ReadArguments(const QCommandLineParser& parser,
                          const QStringList& listArguments) override;

    // The checks that need no link; the port held keeps the link from being tried.
    QString BeforeLink() override;
    void Start() override;
    void OnTimer(unsigned nTimerId) override;

private:
    // A VerifyRequest to each address asked directly that has not answered; the report once
    // each has answered or could not be sent to.
    void AskDirectly();
    bool IsEveryAskSettled() const;
    void OnVerifyReply(const SDatagramView& datagram);
    void OnSendFailed(const QString& strWhy);
    void OnCollectionEnd(const CInstrumentList& listDisplayed);
    void ReportDiscovery();
    // The discovery check where no link could be had.
    SDoctorCheck NotRun() const;
    // Every check printed, the discovery check last; the exit status by what they found.
    void Report(const SDoctorCheck& discovery);

    std::vector<std::uint32_t> m_listToAddresses; // --to
    std::vector<SDoctorCheck> m_listChecks;
    bool m_bPortHeld = false;
    SDiscoveryFindings m_findings;
    std::u16string m_strConfiguredName; // what the VerifyRequests carry
    QStringList m_listSendFailures;
    std::set<std::uint32_t> m_setUnsent; // asked directly, but the request did not go out
    CCliDiscovery m_discovery;
    CReplyCallback m_receiver;
    bool m_bAsking = false;
    unsigned m_nAskRounds = 0;
};
