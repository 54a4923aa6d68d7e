// tavikctl release: the configured instrument verified, checked as the claim selection window
// checks a release (claimed, by this computer under the configured name and address, not in use)
// and released as the main connection window releases it; whatever the instrument answers, and
// when it answers nothing, the configuration is then forgotten.
#pragma once

#include "cli/CliCommand.h"
#include "cli/CliConnectionExchange.h"

#include <QJsonObject>

class CReleaseCommand final : public CCliCommand {
public:
    CReleaseCommand();

    const char* Summary() const override;
    void Start() override;
    void OnTimer(unsigned nTimerId) override;

private:
    void OnOutcome(const SConnectionStep& step);
    void OnVerified(const SConnectionStep& step);
    void OnReleaseEnded(const SConnectionStep& step);
    // The instrument as its verification described it, else as configured.
    QJsonObject InstrumentObject() const;

    CCliConnectionExchange m_exchange;
};
