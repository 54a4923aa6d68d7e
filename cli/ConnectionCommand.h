// What the status, release and repair commands share: the main connection window's
// verification, release and repair of the configured instrument, on the session's timers and
// router and addressed to the configuration the session read. Each outcome (any step but a send
// or nothing) goes to the command.
#pragma once

#include "cli/CliCommand.h"
#include "cli/ReplyCallback.h"
#include "model/MolvarInstrument.h"
#include "protocol/ConnectionExchange.h"

#include <optional>
#include <string>

class CConnectionCommand : public CCliCommand {
public:
    void OnTimer(unsigned nTimerId) override;

protected:
    CConnectionCommand();

    // Each from a count of zero.
    void StartVerification();
    void StartRelease();
    void StartRepair();
    // The instrument as the last VerifyReply described itself.
    const std::optional<CMolvarInstrument>& Verified() const { return m_verified; }
    virtual void OnOutcome(const SConnectionStep& step) = 0;

private:
    using StartStep = SConnectionStep (CConnectionExchange::*)(const SConnectionTarget&,
                                                               EAttemptCount);
    // Registers for the replies at the first start.
    void Begin(StartStep pfnStart);
    SConnectionTarget Target();
    void OnReply(const SDatagramView& datagram);
    void Apply(const SConnectionStep& step);

    CConnectionExchange m_exchange;
    std::optional<CMolvarInstrument> m_verified;
    std::u16string m_strTargetName; // what the last Target() points into
    CReplyCallback m_receiver;
    bool m_bRegistered = false;
};
