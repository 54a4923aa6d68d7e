// Verification, release and repair of the configured instrument as tavikctl's commands run
// them: the main connection window's exchanges on the session's timers and router, addressed
// to the configuration the session read. Each outcome (any step but a send or nothing) goes to
// the command.
#pragma once

#include "cli/ReplyCallback.h"
#include "model/MolvarInstrument.h"
#include "protocol/ConnectionExchange.h"

#include <functional>
#include <optional>
#include <string>

class CTavikctlSession;

class CCliConnectionExchange {
public:
    explicit CCliConnectionExchange(std::function<void(const SConnectionStep&)> fnOnOutcome);

    // Registers for the replies of codes 3, 4 and 5; before the first start.
    void Attach(CTavikctlSession& session);
    // Each from a count of zero.
    void StartVerification();
    void StartRelease();
    void StartRepair();
    // The session's timer event, if it is one of the exchanges': true when it was.
    bool OnTimer(unsigned nTimerId);
    // The instrument as the last VerifyReply described itself.
    const std::optional<CMolvarInstrument>& Verified() const { return m_verified; }

private:
    SConnectionTarget Target();
    void OnReply(const DatagramView& datagram);
    void Apply(const SConnectionStep& step);

    std::function<void(const SConnectionStep&)> m_fnOnOutcome;
    CTavikctlSession* m_pSession = nullptr;
    CConnectionExchange m_exchange;
    std::optional<CMolvarInstrument> m_verified;
    std::u16string m_strTargetName; // what the last Target() points into
    CReplyCallback m_receiver;
};
